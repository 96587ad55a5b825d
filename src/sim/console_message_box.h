// Message boxes on a terminal: the caption and text are printed, OK is pressed.
#pragma once

#include <ostream>

#include "foundation/message_box.h"

namespace CV::Sim {

class ConsoleMessageBox final : public IMessageBox {
 public:
  explicit ConsoleMessageBox(std::ostream& out) : m_out(out) {}
  int ShowMessage(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                  std::uint32_t style) override;

 private:
  std::ostream& m_out;
};

}  // namespace CV::Sim
