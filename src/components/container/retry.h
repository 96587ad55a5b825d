// Other programs open our files for a moment (a virus scanner, the search
// indexer, the preview pane, a sync client): a rename or delete then fails
// with a sharing violation or "access denied" until they let go.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace CV::Components {

// Calls action again while it fails with SharingViolation or AccessDenied,
// pausing longer each time, until bound has passed; returns its last result.
std::int32_t RetryWhileHeld(const std::function<std::int32_t()>& action,
                            std::chrono::milliseconds bound = std::chrono::milliseconds(2000));

}  // namespace CV::Components
