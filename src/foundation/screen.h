// Port: the screen.
#pragma once

#include <optional>

namespace CV {

class IScreen {
 public:
  virtual ~IScreen() = default;
  // LOGPIXELSX of the screen's device context; nullopt without one.
  virtual std::optional<int> LogPixelsX() = 0;
};

}  // namespace CV
