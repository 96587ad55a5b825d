#include "win/platform/win_user_interface.h"

#include "win/platform/wait_dialog.h"

namespace CV::Win {

std::unique_ptr<IProgressDialog> WinUserInterface::NewProgressDialog() {
  return std::make_unique<CWaitDialog>(m_module);
}

WindowHandle WinUserInterface::ActiveWindow() { return reinterpret_cast<WindowHandle>(::GetActiveWindow()); }

}  // namespace CV::Win
