#include "foundation/message_box.h"

#include "foundation/string_table.h"

namespace CV {

int ShowMessage(IMessageBox& box, WindowHandle owner, int textId, int captionId, std::uint32_t style) {
  return box.ShowMessage(owner, StringTableText(textId), StringTableText(captionId), style);
}

int ShowMessage(IMessageBox& box, WindowHandle owner, std::u16string_view text, int captionId, std::uint32_t style) {
  return box.ShowMessage(owner, text, StringTableText(captionId), style);
}

}  // namespace CV
