// The screen port: LOGPIXELSX of the desktop's device context.
#pragma once

#include "foundation/screen.h"

namespace CV::Win {

class WinScreen final : public IScreen {
 public:
  std::optional<int> LogPixelsX() override;
};

}  // namespace CV::Win
