// The user-interface port on Windows: MessageBoxW, the active window, and
// the progress dialog.
#pragma once

#include "foundation/ui.h"
#include "win/win_message_box.h"

namespace CV::Win {

class WinUserInterface final : public IUserInterface {
 public:
  IMessageBox& Messages() override { return m_messages; }
  std::unique_ptr<IProgressDialog> NewProgressDialog() override;
  WindowHandle ActiveWindow() override;

 private:
  WinMessageBox m_messages;
};

}  // namespace CV::Win
