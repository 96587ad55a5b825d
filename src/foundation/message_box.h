// Port: the modal message box, and the convention for user messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace CV {

// An opaque window handle; 0 is "no window".
using WindowHandle = std::uintptr_t;

namespace MessageStyle {
inline constexpr std::uint32_t Ok = 0x0;
inline constexpr std::uint32_t IconError = 0x10;
inline constexpr std::uint32_t IconInformation = 0x40;
}  // namespace MessageStyle

namespace MessageResult {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
}  // namespace MessageResult

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Shows the text and returns the button pressed. Blocks the calling thread
  // until the user answers (Windows); other adapters answer at once.
  virtual int ShowMessage(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                          std::uint32_t style) = 0;
};

// User messages: text and caption from the string table.
int ShowMessage(IMessageBox& box, WindowHandle owner, int textId, int captionId, std::uint32_t style);
int ShowMessage(IMessageBox& box, WindowHandle owner, std::u16string_view text, int captionId, std::uint32_t style);

}  // namespace CV
