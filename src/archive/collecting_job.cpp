#include "archive/collecting_job.h"

#include "foundation/abandon.h"
#include "foundation/com_error.h"
#include "foundation/format.h"
#include "foundation/string_table.h"
#include "outlook/wrappers.h"

namespace CV {

CCollectingJob::CCollectingJob(JobPorts ports, const Guid& sourceIid, std::u16string title)
    : m_ports(std::move(ports)), m_sourceIid(sourceIid), m_title(std::move(title)),
      m_dialog(m_ports.ui->NewProgressDialog()) {}

CCollectingJob::~CCollectingJob() {
  // The window belongs to the UI thread; Close destroys it there and waits.
  // An abandoned job does not wait: the dialog's own destructor disposes of
  // a window that is still there.
  if (m_dialog && !IsAbandoned() && m_dialog->Exists()) m_dialog->Close();
  Revoke(m_ribbon);
  Revoke(m_source);
}

void CCollectingJob::Revoke(std::uint32_t& cookie) noexcept {
  if (cookie != 0) m_ports.table->Revoke(cookie);  // a stale cookie is of no further use
  cookie = 0;
}

IProgressDialog& CCollectingJob::Dialog() {
  ThrowIfAbandoned();
  return *m_dialog;
}

ObjectPtr CCollectingJob::Fetch(std::uint32_t cookie, const Guid& iid) {
  ThrowIfAbandoned();
  ObjectPtr object;
  if (cookie == 0) return nullptr;
  CheckCom(m_ports.table->Fetch(cookie, iid, object), iid);
  return object;
}

bool CCollectingJob::Init(const ObjectPtr& source, std::shared_ptr<CArchiveList> list, const ObjectPtr& ribbon) {
  Revoke(m_source);
  if (source && Failed(m_ports.table->Register(source, m_sourceIid, m_source))) return false;
  Revoke(m_ribbon);
  if (ribbon && Failed(m_ports.table->Register(ribbon, Outlook::Iid::RibbonUI, m_ribbon))) return false;
  if (!list) return false;
  m_list = std::move(list);
  if (!m_dialog->Exists()) {
    m_dialog->SetTitle(m_title);
    m_dialog->Create(m_ports.ui->ActiveWindow());
  }
  return true;
}

HRESULT CCollectingJob::Run() {
  try {
    const ObjectPtr source = Fetch(m_source, m_sourceIid);
    const Outlook::RibbonUI ribbon(Fetch(m_ribbon, Outlook::Iid::RibbonUI));
    PrepareSource(source);
    if (!ribbon) ThrowComError(E_POINTER, Outlook::Iid::RibbonUI);
    ribbon.Invalidate();
    Dialog().Show();
    int inaccessible = 0;
    const bool goOn = Collect(source, inaccessible, &Dialog());
    ThrowIfAbandoned();
    if (inaccessible != 0 && goOn) {
      ShowMessage(m_ports.ui->Messages(), m_ports.ui->ActiveWindow(),
                  Format(StringTableText(StringId::MailsInaccessible), inaccessible), StringId::ProductTitle,
                  MessageStyle::IconInformation | MessageStyle::Ok);
    }
    Dialog().Close();
  } catch (...) {
    // The job ends here; Finish still refreshes the ribbon and closes the dialog.
  }
  return S_OK;
}

bool CCollectingJob::Cancel() {
  m_dialog->PressCancel();
  return true;
}

void CCollectingJob::Finish() {
  try {
    const Outlook::RibbonUI ribbon(Fetch(m_ribbon, Outlook::Iid::RibbonUI));
    if (!ribbon) ThrowComError(E_POINTER, Outlook::Iid::RibbonUI);
    ribbon.Invalidate();
  } catch (...) {
    // A ribbon that cannot be refreshed is refreshed by the next selection change.
  }
  delete this;
}

}  // namespace CV
