#include "dialogs/refine_selection_dialog.h"

#include "foundation/com_error.h"

namespace CV {

// Forwards the control's events to the dialog while it lives.
class CDlgEMailSelect::Events final : public IEventSink {
 public:
  explicit Events(CDlgEMailSelect* dialog) : m_dialog(dialog) {}
  void Detach() { m_dialog = nullptr; }
  void OnEvent(std::int32_t dispid, const std::vector<Variant>& args) override {
    if (!m_dialog) return;
    const auto text = [&](std::size_t i) { return i < args.size() ? args[i].ChangeType(VarType::Bstr).AsText() : u""; };
    if (dispid == Vendor::MailSelectEvent::FolderSelected) m_dialog->OnFolderSelected(text(0));
    else if (dispid == Vendor::MailSelectEvent::MailOpen) m_dialog->OnMailOpen(text(0), text(1));
  }

 private:
  CDlgEMailSelect* m_dialog;
};

CDlgEMailSelect::CDlgEMailSelect(std::shared_ptr<CArchiveList> list, Office::MailExportPorts ports)
    : m_pList(std::move(list)), m_ports(std::move(ports)) {}

CDlgEMailSelect::~CDlgEMailSelect() { OnDestroy(); }

void CDlgEMailSelect::OnInitDialog(const ObjectPtr& control) {
  try {
    m_control = control;
    m_events = std::make_shared<Events>(this);
    if (control) m_cookie = control->Advise(Vendor::Iid::CVMailSelectEvents, m_events);
  } catch (...) {
    // Without events the dialog still shows the folders.
  }
  try {
    m_spSelect = Vendor::MailSelect(QueryObject(control, Vendor::MailSelect::kIid));
    // Never waited for: a job holding the list shows the dialog empty.
    std::vector<std::u16string> paths;
    m_pList->TryGetFolderPaths(paths, true);
    std::u16string lines;
    for (const std::u16string& path : paths) lines += path + u"\r\n";
    m_spSelect.Folders(lines);
  } catch (const ComError&) {
    // The dialog opens all the same.
  }
}

// The handlers run on Outlook's UI thread, which must never wait for the
// list's map lock: a job in another explorer may hold it across Outlook
// calls that only this thread can serve. A change is written when the lock
// is free, else by the job as it lets go; a folder picked meanwhile shows
// no mails, and picking it again once the job is done shows them.
void CDlgEMailSelect::ApplyIfModified() {
  // Type and value both: a VT_BOOL of 1 is not VARIANT_TRUE.
  if (m_spSelect.Modified() == Variant::FromBool(true))
    m_pList->ApplySelectionSoon(m_spSelect.CurrentFolder(), m_spSelect.Mails());
}

HRESULT CDlgEMailSelect::OnFolderSelected(const std::u16string& path) {
  try {
    ApplyIfModified();
    m_spSelect.Mails(m_pList->TryGetFolderMailTable(path, m_ports).value_or(Variant()));
  } catch (const ComError&) {
    // The folder is not shown; nothing is reported.
  }
  return S_OK;
}

HRESULT CDlgEMailSelect::OnMailOpen(const std::u16string& path, const std::u16string& entryId) {
  m_pList->ShowMail(path, entryId);
  return S_OK;
}

void CDlgEMailSelect::OnOK(const ObjectPtr&) {
  try {
    ApplyIfModified();
  } catch (const ComError&) {
    // The dialog closes with OK all the same.
  }
}

void CDlgEMailSelect::OnDestroy() {
  if (m_events) m_events->Detach();
  if (m_cookie != 0 && m_control) {
    try {
      m_control->Unadvise(m_cookie);
    } catch (...) {
      // A control that is gone has no connection left to end.
    }
  }
  m_cookie = 0;
}

}  // namespace CV
