// WinDialogHost: the add-in's dialogs on Windows. A dialog comes from the
// DLL's resources; its vendor control stands in the system's control
// container window (atl.dll's "AtlAxWin", loaded at the first dialog). The
// dialog keeps its controls' distances to the right and bottom edges when
// resized, has a size grip, and cannot be made smaller than it opened.
#pragma once

#include <windows.h>

#include "foundation/dialog_host.h"

namespace CV::Win {

class WinDialogHost final : public IDialogHost {
 public:
  // NoControl when the container or the control cannot be made: the
  // dialog is not shown.
  int DoModal(IDialogLogic& dialog, WindowHandle owner) override;
};

}  // namespace CV::Win
