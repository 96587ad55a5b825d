// CDlgProperties: "Ausschlußordner festlegen". The vendor's folder-tree
// control shows Outlook's folders and stores the marked ones itself when
// the user confirms a change.
#pragma once

#include "foundation/dialog_host.h"
#include "outlook/wrappers.h"

namespace CV {

class CDlgProperties final : public IDialogLogic {
 public:
  static constexpr int kResourceId = 110;
  static constexpr int kControlId = 203;

  explicit CDlgProperties(Outlook::Application application) : m_spApplication(std::move(application)) {}

  int DoModal(IDialogHost& host, WindowHandle owner) { return host.DoModal(*this, owner); }

  int ResourceId() const override { return kResourceId; }
  int ControlId() const override { return kControlId; }
  // Hands the control the application, mode -1 and the settings key name.
  void OnInitDialog(const ObjectPtr& control) override;
  // Applies the marks when the control reports a change.
  void OnOK(const ObjectPtr& control) override;
  void OnDestroy() override {}

 private:
  Outlook::Application m_spApplication;
};

}  // namespace CV
