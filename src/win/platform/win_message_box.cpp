#include "win/platform/win_message_box.h"

#include <windows.h>

#include <string>

namespace CV::Win {

int WinMessageBox::ShowMessage(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                               std::uint32_t style) {
  const std::wstring wtext(text.begin(), text.end());
  const std::wstring wcaption(caption.begin(), caption.end());
  return ::MessageBoxW(reinterpret_cast<HWND>(owner), wtext.c_str(), wcaption.c_str(), style);
}

}  // namespace CV::Win
