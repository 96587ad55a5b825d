#include "archive/progress_throttle.h"

#include <cmath>

#include "foundation/abandon.h"

namespace CV {

float CProgressThrottle::Percentage(std::uint64_t position, std::uint64_t total) noexcept {
  float percent = total != 0 ? static_cast<float>(static_cast<double>(position) * 100.0 / static_cast<double>(total))
                             : 0.0f;
  if (position >= total) percent = 100.0f;
  if (position == 0) percent = 0.0f;
  return percent;
}

bool CProgressThrottle::Step(std::uint64_t position, std::uint64_t total) {
  ThrowIfAbandoned();
  if (!m_sink) return true;
  const float percent = Percentage(position, total);
  if (std::fabs(percent - m_last) >= m_minimumChange) {
    m_last = percent;
    return m_sink->Progress(position, total, static_cast<int>(percent));
  }
  return true;
}

void CProgressThrottle::SetText(const std::u16string& text) noexcept {
  if (!m_sink || IsAbandoned()) return;
  try {
    m_sink->SetText(text);
  } catch (...) {
    // A text line that cannot be shown does not stop the work.
  }
}

}  // namespace CV
