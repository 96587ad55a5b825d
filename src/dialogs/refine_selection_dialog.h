// CDlgEMailSelect: "Auswahl korrigieren". The user reviews the archive list
// folder by folder in the vendor's mail-selection control and switches mails
// on and off; the dialog gives the control the folders and each folder's
// table, writes a changed table back when the user picks another folder or
// confirms, and opens a mail on request. The archive list's flags are the
// only state that outlives it.
#pragma once

#include <memory>

#include "archive/archive_list.h"
#include "foundation/dialog_host.h"
#include "export/mail_export.h"
#include "contracts/selection_controls.h"

namespace CV {

class CDlgEMailSelect final : public IDialogLogic {
 public:
  static constexpr int kResourceId = 206;
  static constexpr int kControlId = 202;

  CDlgEMailSelect(std::shared_ptr<CArchiveList> list, Office::MailExportPorts ports);
  ~CDlgEMailSelect() override;

  int DoModal(IDialogHost& host, WindowHandle owner) { return host.DoModal(*this, owner); }

  int ResourceId() const override { return kResourceId; }
  int ControlId() const override { return kControlId; }
  void OnInitDialog(const ObjectPtr& control) override;
  void OnOK(const ObjectPtr& control) override;
  void OnDestroy() override;

  // The control's events.
  HRESULT OnFolderSelected(const std::u16string& path);
  HRESULT OnMailOpen(const std::u16string& path, const std::u16string& entryId);

 private:
  class Events;
  // Writes the shown table back when the control reports it changed.
  void ApplyIfModified();

  ObjectPtr m_control;
  Vendor::MailSelect m_spSelect;
  std::shared_ptr<CArchiveList> m_pList;
  Office::MailExportPorts m_ports;
  std::shared_ptr<Events> m_events;
  std::uint32_t m_cookie = 0;
};

}  // namespace CV
