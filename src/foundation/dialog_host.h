// Port: shows a dialog of the add-in modally. On Windows it creates the
// dialog from its resource, hosts the vendor's control in it and runs the
// dialog's message loop; elsewhere the user's actions are scripted.
#pragma once

#include "foundation/message_box.h"
#include "foundation/object.h"

namespace CV {

namespace DialogResult {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
// The dialog's control could not be made (the components are not
// registered): the dialog was not shown.
inline constexpr int NoControl = -1;
}  // namespace DialogResult

// What a dialog does; the host calls it on the UI thread.
class IDialogLogic {
 public:
  virtual ~IDialogLogic() = default;
  // The dialog's resource id (206 refine selection, 110 excluded folders).
  virtual int ResourceId() const = 0;
  // The id of the vendor's control in that resource (202, 203).
  virtual int ControlId() const = 0;
  // The window exists; control is the vendor's control of the dialog (a
  // dialog whose control cannot be made is not shown).
  virtual void OnInitDialog(const ObjectPtr& control) = 0;
  // The user pressed OK; the host ends the dialog with OK afterwards.
  virtual void OnOK(const ObjectPtr& control) = 0;
  // The window goes (after OK, "Abbrechen" or its close box).
  virtual void OnDestroy() = 0;
};

class IDialogHost {
 public:
  virtual ~IDialogHost() = default;
  // Runs the dialog modally, owned by owner (0: none), and returns how it
  // ended (DialogResult); NoControl without a window when the vendor's
  // control cannot be made. UI thread only.
  virtual int DoModal(IDialogLogic& dialog, WindowHandle owner) = 0;
};

}  // namespace CV
