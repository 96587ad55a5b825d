#include "components/container/retry.h"

#include <algorithm>
#include <thread>

#include "foundation/hresult.h"

namespace CV::Components {

std::int32_t RetryWhileHeld(const std::function<std::int32_t()>& action, std::chrono::milliseconds bound) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + bound;
  std::chrono::milliseconds pause(25);
  for (;;) {
    const std::int32_t error = action();
    if (error != Win32Error::SharingViolation && error != Win32Error::AccessDenied) return error;
    const Clock::time_point now = Clock::now();
    if (now >= end) return error;
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, end - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(500));
  }
}

}  // namespace CV::Components
