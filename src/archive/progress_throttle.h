// CProgressThrottle: reports progress to a sink only when the percentage
// moved by at least the minimum change; the first report always goes out.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/progress.h"

namespace CV {

class CProgressThrottle {
 public:
  explicit CProgressThrottle(Progress::IAbsProgress* sink, float last = 200.0f, float minimumChange = 0.0f)
      : m_sink(sink), m_last(last), m_minimumChange(minimumChange) {}

  // The percentage is position * 100 / total; 100 at or past the end, 0 at
  // position 0 and for a total of 0. Returns the sink's answer (false =
  // cancelled), or true when nothing was reported. Throws ComError E_ABORT
  // when the calling thread's work was abandoned.
  bool Step(std::uint64_t position, std::uint64_t total);
  // Forwards the text; failures of the sink are swallowed.
  void SetText(const std::u16string& text) noexcept;

  static float Percentage(std::uint64_t position, std::uint64_t total) noexcept;

 private:
  Progress::IAbsProgress* m_sink;
  float m_last;
  float m_minimumChange;
};

}  // namespace CV
