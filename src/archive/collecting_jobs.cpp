#include "archive/collecting_jobs.h"

#include "foundation/com_error.h"

namespace CV {

using namespace CV::Outlook;

CAddSelectedMailsJob::CAddSelectedMailsJob(JobPorts ports) : CCollectingJob(ports, Iid::Selection, u"Erfasse Mails") {}

void CAddSelectedMailsJob::PrepareSource(const ObjectPtr& source) {
  const Outlook::Application application = Selection(source).Application();
  if (!application) ThrowComError(E_POINTER, Iid::Application);
  const Explorer explorer = application.ActiveExplorer();
  if (!explorer) ThrowComError(E_POINTER, Iid::Explorer);
  m_folder = explorer.CurrentFolder();
}

bool CAddSelectedMailsJob::Collect(const ObjectPtr& source, int& inaccessible, Progress::IAbsProgress* progress) {
  const Selection selection(source);
  std::vector<MailItem> mails;
  const Selection headers = selection.GetSelection(olConversationHeaders);
  for (std::int32_t i = 1; i <= headers.Count(); ++i) {
    const SimpleItems items = Query<ConversationHeader>(headers.Item(i)).GetItems();
    for (std::int32_t j = 1; j <= items.Count(); ++j)
      if (const MailItem mail = Query<MailItem>(items.Item(j))) mails.push_back(mail);
  }
  if (mails.empty()) {
    for (std::int32_t i = 1; i <= selection.Count(); ++i)
      if (const MailItem mail = Query<MailItem>(selection.Item(i))) mails.push_back(mail);
  }
  return List().AddMails(m_folder, mails, inaccessible, progress);
}

CAddFolderJob::CAddFolderJob(JobPorts ports) : CCollectingJob(ports, Iid::MapiFolder, u"Erfasse Ordner") {}

bool CAddFolderJob::Collect(const ObjectPtr& source, int& inaccessible, Progress::IAbsProgress* progress) {
  return List().AddFolder(Folder(source), inaccessible, progress);
}

CAddFoldersRecursiveJob::CAddFoldersRecursiveJob(JobPorts ports)
    : CCollectingJob(ports, Iid::MapiFolder, u"Erfasse Ordner") {}

HRESULT CAddFoldersRecursiveJob::Run() {
  const HRESULT hr = CCollectingJob::Run();
  List().SetExcludedFolders({});
  return hr;
}

bool CAddFoldersRecursiveJob::Collect(const ObjectPtr& source, int& inaccessible, Progress::IAbsProgress* progress) {
  return List().AddFoldersRecursive(Folder(source), inaccessible, progress);
}

}  // namespace CV
