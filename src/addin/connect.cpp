#include "addin/connect.h"

#include "foundation/path.h"

#include "addin/addin_ids.h"
#include "addin/callback_table.h"
#include "archive/collecting_jobs.h"
#include "archive/fill_mail_archive_job.h"
#include "foundation/ascii.h"
#include "outlook/excluded_folders.h"
#include "dialogs/excluded_folders_dialog.h"
#include "dialogs/refine_selection_dialog.h"
#include "foundation/string_table.h"
#include "foundation/format.h"
#include "foundation/com_error.h"

namespace CV {

int ParseLeadingInt(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsAsciiSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long value = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && value < 100000000) value = value * 10 + (text[i++] - u'0');
  return static_cast<int>(negative ? -value : value);
}

CConnect::CConnect(AddinPorts ports)
    : m_ports(ports), m_archiveList(std::make_shared<CArchiveList>(ports.table)),
      m_jobRunner(ports.threads, ports.apartment) {
  Util::CVersionInfo info(0, 0, 0, 0);
  m_ports.version.ReadModuleVersion(info);
  m_versionText = u"Version: " + info.FormatVersion();
  m_copyrightText = info.copyright;
}

CConnect::~CConnect() = default;

HRESULT CConnect::OnConnection(const ObjectPtr& application, std::int32_t, const ObjectPtr& addInInst) {
  try {
    m_spApplication = Outlook::Application();
    if (application) {
      try {
        m_spApplication = Outlook::Query<Outlook::Application>(application);
      } catch (const ComError& e) {
        return e.Error();
      }
    }
    if (!m_spApplication) return E_POINTER;
    if (ParseLeadingInt(m_spApplication.Version()) < 14) return E_FAIL;
    try {
      m_spAddInInstance = addInInst ? QueryObject(addInInst, Outlook::Iid::Dispatch) : nullptr;
    } catch (...) {
      m_spAddInInstance = nullptr;  // only kept, never called: its outcome does not matter
    }
    m_explorers.Attach(m_spApplication.Explorers());
    // A list without application only shows up as a job that finds nothing;
    // the connection stands either way.
    m_archiveList->SetApplication(m_spApplication.Object());
    return S_OK;
  } catch (const ComError& e) {
    return e.Error();
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CConnect::OnDisconnection(std::int32_t) {
  m_explorers.Attach(Outlook::Explorers());
  m_explorers.SetRibbonUI(Outlook::RibbonUI());
  m_spApplication = Outlook::Application();
  m_spAddInInstance = nullptr;
  return S_OK;
}

HRESULT CConnect::GetCustomUI(std::u16string_view ribbonId, Bstr* ribbonXml) {
  if (!ribbonXml) return E_POINTER;
  *ribbonXml = Bstr();
  if (ribbonId != AddinIds::kExplorerRibbonId) return S_OK;
  const CRibbonResources resources(m_ports.screen, m_ports.resources, m_ports.pictures);
  if (const auto xml = resources.RibbonXml()) *ribbonXml = Bstr::FromBytes(xml->data(), xml->size() / 2 * 2);
  return S_OK;
}

HRESULT CConnect::OnLoad(const ObjectPtr& ribbonUI) {
  try {
    m_spRibbonUI = Outlook::Query<Outlook::RibbonUI>(ribbonUI);
    m_explorers.SetRibbonUI(m_spRibbonUI);
  } catch (...) {
    // onLoad never fails.
  }
  return S_OK;
}

HRESULT CConnect::PictureFor(std::u16string_view pictureName, ObjectPtr* picture) {
  const CRibbonResources resources(m_ports.screen, m_ports.resources, m_ports.pictures);
  ObjectPtr loaded = resources.LoadPicture(pictureName);
  *picture = loaded ? QueryObject(loaded, Outlook::Iid::Dispatch) : nullptr;
  return *picture ? S_OK : E_FAIL;
}

HRESULT CConnect::LoadPicture(const Bstr& pictureName, ObjectPtr* picture) {
  if (!picture) return E_POINTER;
  *picture = nullptr;
  try {
    return PictureFor(pictureName.Text(), picture);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CConnect::GetCustomImage(const ObjectPtr& control, ObjectPtr* image) {
  if (!image) return E_POINTER;
  *image = nullptr;
  try {
    const Outlook::RibbonControl typed = control ? Outlook::Query<Outlook::RibbonControl>(control)
                                                 : Outlook::RibbonControl();
    if (!typed) return E_POINTER;
    return PictureFor(typed.Id(), image);  // a name without slash: type "PNG"
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CConnect::GetVersionString(const ObjectPtr&, Bstr* version) {
  if (!version) return E_POINTER;
  *version = Bstr(m_versionText);
  return S_OK;
}

HRESULT CConnect::GetCopyrightString(const ObjectPtr&, Bstr* copyright) {
  if (!copyright) return E_POINTER;
  *copyright = Bstr(m_copyrightText);
  return S_OK;
}

// ---- counters and enablement

bool CConnect::IsBusy() const { return m_jobRunner.GetStatus() == kStillActive; }

HRESULT CConnect::CountLabel(int count, Bstr* label) {
  if (!label) return E_POINTER;
  try {
    *label = Bstr(Format(u"%5i", count));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CConnect::GetMailCount(const ObjectPtr&, Bstr* label) {
  return CountLabel(m_archiveList->GetSelectedMailCount(), label);
}

HRESULT CConnect::GetFolderCount(const ObjectPtr&, Bstr* label) {
  return CountLabel(m_archiveList->GetFolderCount(), label);
}

HRESULT CConnect::Enablement(const ObjectPtr& control, VariantBool* enabled, bool needsControl, EnabledRule rule) {
  if (!enabled || (needsControl && !control)) return E_POINTER;
  *enabled = kVariantFalse;
  if (IsBusy()) return S_OK;
  try {
    if ((this->*rule)(control)) *enabled = kVariantTrue;
  } catch (...) {
    // Whatever Outlook could not answer leaves the command disabled.
  }
  return S_OK;
}

bool CConnect::SelectionHoldsMail(const ObjectPtr& control) {
  const ObjectPtr context = Outlook::RibbonControl(control).Context();
  Outlook::Selection selection;
  if (const Outlook::Explorer explorer = Outlook::Query<Outlook::Explorer>(context)) selection = explorer.Selection();
  else selection = Outlook::Query<Outlook::Selection>(context);
  if (!selection) return false;
  for (std::int32_t i = 1; i <= selection.Count(); ++i)
    if (Outlook::Query<Outlook::MailItem>(selection.Item(i))) return true;
  bool found = false;
  const Outlook::Selection headers = selection.GetSelection(Outlook::olConversationHeaders);
  for (std::int32_t i = 1; i <= headers.Count(); ++i) {
    const Outlook::ConversationHeader header = Outlook::Query<Outlook::ConversationHeader>(headers.Item(i));
    if (!header) return false;  // an entry that is no conversation header fails the rule
    const Outlook::SimpleItems items = header.GetItems();
    for (std::int32_t j = 1; j <= items.Count(); ++j) {
      if (Outlook::Query<Outlook::MailItem>(items.Item(j))) {
        found = true;
        break;
      }
    }
  }
  return found;
}

bool CConnect::TargetIsMailFolder(const ObjectPtr& control) {
  return GetTargetFolder(control).DefaultItemType() == Outlook::olMailItem;
}

bool CConnect::TargetIsMailFolderWithSubfolders(const ObjectPtr& control) {
  const Outlook::Folder folder = GetTargetFolder(control);
  return folder.DefaultItemType() == Outlook::olMailItem && folder.Folders().Count() > 0;
}

bool CConnect::ListHoldsMails(const ObjectPtr&) { return m_archiveList->GetTotalMailCount() != 0; }

HRESULT CConnect::GetAddMailsEnabled(const ObjectPtr& control, VariantBool* enabled) {
  return Enablement(control, enabled, true, &CConnect::SelectionHoldsMail);
}
HRESULT CConnect::GetAddFolderEnabled(const ObjectPtr& control, VariantBool* enabled) {
  return Enablement(control, enabled, true, &CConnect::TargetIsMailFolder);
}
HRESULT CConnect::GetAddFoldersEnabled(const ObjectPtr& control, VariantBool* enabled) {
  return Enablement(control, enabled, true, &CConnect::TargetIsMailFolderWithSubfolders);
}
HRESULT CConnect::GetResetSelectionEnabled(const ObjectPtr& control, VariantBool* enabled) {
  return Enablement(control, enabled, false, &CConnect::ListHoldsMails);
}
HRESULT CConnect::GetStartARCCreationEnabled(const ObjectPtr& control, VariantBool* enabled) {
  return Enablement(control, enabled, false, &CConnect::ListHoldsMails);
}
HRESULT CConnect::GetRefineSelectionEnabled(const ObjectPtr& control, VariantBool* enabled) {
  return Enablement(control, enabled, false, &CConnect::ListHoldsMails);
}

Outlook::Folder CConnect::GetTargetFolder(const ObjectPtr& control) {
  if (!control) ThrowComError(E_POINTER, Outlook::Iid::RibbonControl);
  // A control without context is treated like a ribbon button.
  if (const ObjectPtr context = Outlook::RibbonControl(control).Context()) {
    if (const Outlook::Store store = Outlook::Query<Outlook::Store>(context)) return store.GetRootFolder();
    if (const Outlook::Folder folder = Outlook::Query<Outlook::Folder>(context)) return folder;
  }
  if (!m_spApplication) ThrowComError(E_POINTER, Outlook::Iid::Application);
  const Outlook::Explorer explorer = m_spApplication.ActiveExplorer();
  if (!explorer) ThrowComError(E_POINTER, Outlook::Iid::Explorer);
  return explorer.CurrentFolder();
}

// ---- commands: they return S_OK whatever happens
//
// A job holds the archive list's map lock across Outlook calls that only
// this thread can serve, so a command pressed while a job runs (the ribbon
// may not have refreshed yet) does nothing at all rather than wait for it.

template <class Job>
bool CConnect::StartCollecting(const ObjectPtr& source) {
  auto* job = new Job(JobPorts{m_ports.table, m_ports.ui});
  if (!job->Init(source, m_archiveList, m_spRibbonUI.Object())) {
    job->Destroy();
    return false;
  }
  if (m_jobRunner.Start(job, -1) != S_OK) {  // another job's thread still lives
    job->Destroy();
    return false;
  }
  return true;
}

HRESULT CConnect::AddMails(const ObjectPtr&) {
  try {
    if (IsBusy() || !m_spApplication) return S_OK;
    StartCollecting<CAddSelectedMailsJob>(m_spApplication.ActiveExplorer().Selection().Object());
  } catch (...) {
    // Nothing happens; the ribbon shows no error.
  }
  return S_OK;
}

HRESULT CConnect::AddFolder(const ObjectPtr& control) {
  try {
    if (IsBusy()) return S_OK;
    StartCollecting<CAddFolderJob>(GetTargetFolder(control).Object());
  } catch (...) {
    // Nothing happens; the ribbon shows no error.
  }
  return S_OK;
}

HRESULT CConnect::AddFolders(const ObjectPtr& control) {
  if (IsBusy()) return S_OK;
  bool started = false;
  try {
    std::vector<std::u16string> excluded;
    LoadExcludedFolders(excluded, m_spApplication, m_ports.settings);
    m_archiveList->SetExcludedFolders(excluded);
    started = StartCollecting<CAddFoldersRecursiveJob>(GetTargetFolder(control).Object());
  } catch (...) {
    // Nothing happens; the ribbon shows no error.
  }
  // The set is for the recursive job alone: one that never started must not
  // leave it to a later "Ordner hinzufügen".
  if (!started) m_archiveList->SetExcludedFolders({});
  return S_OK;
}

HRESULT CConnect::ResetSelection(const ObjectPtr&) {
  try {
    if (IsBusy()) return S_OK;
    m_archiveList->Clear();
    if (m_spRibbonUI) m_spRibbonUI.Invalidate();
  } catch (...) {
    // The list is empty; a ribbon that cannot refresh catches up on the next change.
  }
  return S_OK;
}

HRESULT CConnect::StartARCCreation(const ObjectPtr&) {
  try {
    // While a job runs, or its worker still unwinds, the writer would ask
    // the user for a target only for the runner to refuse the job.
    if (IsBusy() || m_jobRunner.WorkerAlive()) return S_OK;
    auto* job = new CFillMailArchiveJob(ArchiveJobPorts{m_ports.table, m_ports.ui, m_ports.user, m_ports.mailExport, m_ports.archiveReport});
    if (!job->Init(m_archiveList) || m_jobRunner.Start(job, -1) != S_OK) job->Destroy();
  } catch (...) {
    // Nothing happens; the ribbon shows no error.
  }
  return S_OK;
}

// A dialog whose control cannot be made would stand there empty: the user
// learns that the installation is damaged instead.
void CConnect::ShowDialog(IDialogLogic& dialog) {
  const WindowHandle owner = m_ports.ui->ActiveWindow();
  if (m_ports.dialogs->DoModal(dialog, owner) == DialogResult::NoControl)
    ShowMessage(m_ports.ui->Messages(), owner, StringId::InstallationDamaged, StringId::ProductTitle,
                MessageStyle::IconError | MessageStyle::Ok);
}

HRESULT CConnect::RefineSelection(const ObjectPtr&) {
  try {
    // The dialog reads and writes the list under its map lock.
    if (IsBusy() || !m_ports.dialogs) return S_OK;
    CDlgEMailSelect dialog(m_archiveList, m_ports.mailExport);
    ShowDialog(dialog);
  } catch (...) {
    // Nothing is shown; the ribbon shows no error.
  }
  return S_OK;
}

HRESULT CConnect::SelectIgnoredFolder(const ObjectPtr&) {
  try {
    if (!m_ports.dialogs) return S_OK;
    CDlgProperties dialog(m_spApplication);
    ShowDialog(dialog);
  } catch (...) {
    // Nothing is shown; the ribbon shows no error.
  }
  return S_OK;
}

// The topic in the control's tag, in the folder of the main application;
// where that application or its help file is missing, beside the add-in.
// Whatever fails, the user sees nothing and Office gets S_OK.
HRESULT CConnect::OnHelp(const ObjectPtr& control) {
  try {
    if (!m_ports.help) return S_OK;
    const std::optional<std::u16string> application = m_ports.help->MainApplicationPath();
    const auto typed = control ? Outlook::Query<Outlook::RibbonControl>(control) : Outlook::RibbonControl();
    if (!typed) return S_OK;
    const std::u16string tag = typed.Tag();
    std::optional<std::u16string> topic;
    if (application && !application->empty()) topic = HelpTopicBeside(*application, tag);
    if (!topic) topic = HelpTopicBeside(m_ports.help->AddinModulePath(), tag);
    if (topic) m_ports.help->DisplayTopic(*topic);
  } catch (...) {
    // help that cannot be shown is not shown
  }
  return S_OK;
}

// "file.chm::/topic.htm" in the folder of a module, or nullopt when the
// file is not there.
std::optional<std::u16string> CConnect::HelpTopicBeside(const std::u16string& module, const std::u16string& tag) {
  FS::IFileSystem& fs = *m_ports.mailExport.fs;
  FS::CPath folder(module, fs);
  if (!folder.RemoveFileName()) return std::nullopt;
  FS::CPath topic = folder;
  topic.Append(tag);
  // The help viewer parses "file::topic" itself and takes no long-path prefix.
  const std::u16string shown = topic.StringWithoutPrefix();
  const std::u16string file = shown.substr(0, shown.find(u"::"));
  std::uint32_t attributes = 0;
  if (fs.ReadAttributes(file, attributes) != 0 || (attributes & FS::Attribute::Directory)) return std::nullopt;
  return shown;
}

// ---- IObject

ObjectPtr CConnect::QueryInterface(const Guid& iid) {
  if (iid == Outlook::Iid::Dispatch || iid == AddinIds::ICVMailArchiveOlCb ||
      iid == AddinIds::IRibbonExtensibility || iid == AddinIds::IDTExtensibility2 || iid == AddinIds::IPersist)
    return shared_from_this();
  return nullptr;
}

Variant CConnect::Invoke(std::u16string_view name, InvokeKind, std::vector<Variant> args) {
  const CallbackEntry* entry = FindCallback(name);
  if (!entry) ThrowComError(DISP_E_UNKNOWNNAME, AddinIds::ICVMailArchiveOlCb);
  return entry->invoke(*this, args);
}

std::uint32_t CConnect::Advise(const Guid&, std::shared_ptr<IEventSink>) {
  ThrowComError(CONNECT_E_NOCONNECTION, AddinIds::ICVMailArchiveOlCb);
}

void CConnect::Unadvise(std::uint32_t) { ThrowComError(CONNECT_E_NOCONNECTION, AddinIds::ICVMailArchiveOlCb); }

std::optional<std::int32_t> CConnect::DispatchIdOf(std::u16string_view name) {
  const CallbackEntry* entry = FindCallback(name);
  if (!entry) return std::nullopt;
  return entry->dispid;
}

std::optional<std::u16string> CConnect::NameOfDispatchId(std::int32_t dispid) {
  const CallbackEntry* entry = FindCallback(dispid);
  if (!entry) return std::nullopt;
  return std::u16string(entry->name);
}

}  // namespace CV
