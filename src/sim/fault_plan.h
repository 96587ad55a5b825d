// FaultPlan: when a simulated call fails, and with what.
#pragma once

#include <cstdint>

namespace CV::Sim {

struct FaultPlan {
  std::int32_t error = 0;       // the error code or HRESULT to answer with; 0 = never fail
  std::uint64_t failFrom = 1;   // the first call (1-based) that fails
  bool persistent = false;      // every call from failFrom on, or that one call only
  std::uint64_t calls = 0;      // calls seen
  std::uint64_t hits = 0;       // calls failed

  // Counts the call and tells whether it fails.
  bool NextCallFails() {
    ++calls;
    if (error == 0 || calls < failFrom) return false;
    if (!persistent && hits > 0) return false;
    ++hits;
    return true;
  }
};

}  // namespace CV::Sim
