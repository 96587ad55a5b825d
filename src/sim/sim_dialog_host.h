// The dialogs of the add-in without windows: the host makes the dialog's
// control (our own), hands it to the dialog, lets a script act as the
// user on it, and ends the dialog as the script says.
#pragma once

#include <functional>
#include <vector>

#include "foundation/dialog_host.h"

namespace CV::Sim {

class SimDialogHost final : public IDialogHost {
 public:
  // Makes the control of a dialog resource (206: mail selection, 110:
  // folder tree); null when it cannot.
  using ControlMaker = std::function<ObjectPtr(int resourceId)>;
  // Acts as the user and returns how the dialog ends (DialogResult).
  using Script = std::function<int(int resourceId, const ObjectPtr& control)>;

  SimDialogHost(ControlMaker makeControl, Script script)
      : m_makeControl(std::move(makeControl)), m_script(std::move(script)) {}

  int DoModal(IDialogLogic& dialog, WindowHandle owner) override {
    owners.push_back(owner);
    const ObjectPtr control = m_makeControl ? m_makeControl(dialog.ResourceId()) : nullptr;
    if (!control) return DialogResult::NoControl;
    dialog.OnInitDialog(control);
    const int result = m_script ? m_script(dialog.ResourceId(), control) : DialogResult::Cancel;
    if (result == DialogResult::Ok) dialog.OnOK(control);
    dialog.OnDestroy();
    return result;
  }

  std::vector<WindowHandle> owners;  // one per dialog shown

 private:
  ControlMaker m_makeControl;
  Script m_script;
};

}  // namespace CV::Sim
