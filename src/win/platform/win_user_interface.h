// The user-interface port on Windows: MessageBoxW, the active window, and
// the progress dialog from the given module's dialog resource.
#pragma once

#include <windows.h>

#include "foundation/ui.h"
#include "win/platform/win_message_box.h"

namespace CV::Win {

class WinUserInterface final : public IUserInterface {
 public:
  explicit WinUserInterface(HINSTANCE module) : m_module(module) {}
  IMessageBox& Messages() override { return m_messages; }
  std::unique_ptr<IProgressDialog> NewProgressDialog() override;
  WindowHandle ActiveWindow() override;

 private:
  HINSTANCE m_module;
  WinMessageBox m_messages;
};

}  // namespace CV::Win
