#include "sim/console_message_box.h"

#include "foundation/utf.h"

namespace CV::Sim {

int ConsoleMessageBox::ShowMessage(WindowHandle, std::u16string_view text, std::u16string_view caption,
                                   std::uint32_t style) {
  const char* kind = (style & MessageStyle::IconError) ? "Fehler" : "Information";
  m_out << "[" << ToUtf8(caption) << " | " << kind << "]\n" << ToUtf8(text) << "\n";
  m_out.flush();
  return MessageResult::Ok;
}

}  // namespace CV::Sim
