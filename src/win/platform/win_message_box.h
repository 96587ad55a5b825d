// Message boxes through MessageBoxW; blocks the calling thread until answered.
#pragma once

#include "foundation/message_box.h"

namespace CV::Win {

class WinMessageBox final : public IMessageBox {
 public:
  int ShowMessage(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                  std::uint32_t style) override;
};

}  // namespace CV::Win
