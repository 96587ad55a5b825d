// CConnect: the add-in object Outlook creates. It owns the explorer tracker,
// the archive list and the job runner for its whole life, keeps Outlook's
// application and the ribbon, and serves every ribbon callback.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "addin/explorer_tracking.h"
#include "foundation/help_system.h"
#include "addin/ribbon_resources.h"
#include "foundation/version_info.h"
#include "archive/archive_list.h"
#include "archive/fill_mail_archive_job.h"
#include "archive/job_runner.h"
#include "foundation/dialog_host.h"
#include "export/mail_export.h"
#include "foundation/apartment.h"
#include "foundation/interface_table.h"
#include "foundation/object.h"
#include "foundation/resources.h"
#include "foundation/settings.h"
#include "foundation/thread_hooks.h"
#include "foundation/ui.h"
#include "foundation/user_environment.h"
#include "outlook/wrappers.h"

namespace CV {

// The platform services the add-in works with. Those a worker thread uses
// are owned jointly, so a worker left to unwind after teardown never
// reaches a port its host has already destroyed.
struct AddinPorts {
  std::shared_ptr<IInterfaceTable> table;
  std::shared_ptr<IUserInterface> ui;
  const IResources& resources;
  IScreen& screen;
  IPictureFactory& pictures;
  Util::IVersionSource& version;
  std::shared_ptr<IThreadHooks> threads;
  std::shared_ptr<IApartment> apartment;
  ISettings& settings;
  std::shared_ptr<IUserEnvironment> user;
  Office::MailExportPorts mailExport;  // the vendor components, files, GUIDs, internet cache
  std::shared_ptr<IDialogHost> dialogs;
  std::shared_ptr<IHelpSystem> help;  // none: the help button does nothing
  std::shared_ptr<IArchiveRunReport> archiveReport;  // none: skipped mails go unnamed, as in Outlook
};

using VariantBool = std::int16_t;  // VARIANT_TRUE -1, VARIANT_FALSE 0

class CConnect final : public IObject, public std::enable_shared_from_this<CConnect> {
 public:
  explicit CConnect(AddinPorts ports);
  ~CConnect() override;

  // _IDTExtensibility2
  HRESULT OnConnection(const ObjectPtr& application, std::int32_t connectMode, const ObjectPtr& addInInst);
  HRESULT OnDisconnection(std::int32_t removeMode);
  HRESULT OnAddInsUpdate() { return S_OK; }
  HRESULT OnStartupComplete() { return S_OK; }
  HRESULT OnBeginShutdown() { return S_OK; }

  // IRibbonExtensibility
  HRESULT GetCustomUI(std::u16string_view ribbonId, Bstr* ribbonXml);

  // ICVMailArchiveOlCb, in interface order
  HRESULT GetCustomImage(const ObjectPtr& control, ObjectPtr* image);
  HRESULT LoadPicture(const Bstr& pictureName, ObjectPtr* picture);
  HRESULT GetMailCount(const ObjectPtr& control, Bstr* label);
  HRESULT GetFolderCount(const ObjectPtr& control, Bstr* label);
  HRESULT OnLoad(const ObjectPtr& ribbonUI);
  HRESULT GetAddMailsEnabled(const ObjectPtr& control, VariantBool* enabled);
  HRESULT AddMails(const ObjectPtr& control);
  HRESULT GetAddFolderEnabled(const ObjectPtr& control, VariantBool* enabled);
  HRESULT AddFolder(const ObjectPtr& control);
  HRESULT GetAddFoldersEnabled(const ObjectPtr& control, VariantBool* enabled);
  HRESULT AddFolders(const ObjectPtr& control);
  HRESULT GetResetSelectionEnabled(const ObjectPtr& control, VariantBool* enabled);
  HRESULT ResetSelection(const ObjectPtr& control);
  HRESULT GetStartARCCreationEnabled(const ObjectPtr& control, VariantBool* enabled);
  HRESULT StartARCCreation(const ObjectPtr& control);
  HRESULT GetRefineSelectionEnabled(const ObjectPtr& control, VariantBool* enabled);
  HRESULT RefineSelection(const ObjectPtr& control);
  HRESULT SelectIgnoredFolder(const ObjectPtr& control);
  HRESULT GetVersionString(const ObjectPtr& control, Bstr* version);
  HRESULT OnHelp(const ObjectPtr& control);
  HRESULT GetCopyrightString(const ObjectPtr& control, Bstr* copyright);

  // IObject: the callbacks by name, as Office calls them through IDispatch.
  ObjectPtr QueryInterface(const Guid& iid) override;
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override;
  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override;
  void Unadvise(std::uint32_t cookie) override;
  std::optional<std::int32_t> DispatchIdOf(std::u16string_view name) override;
  std::optional<std::u16string> NameOfDispatchId(std::int32_t dispid) override;

  // What tests and the cvmail command look at.
  CArchiveList& ArchiveList() noexcept { return *m_archiveList; }
  const std::shared_ptr<CArchiveList>& SharedArchiveList() const noexcept { return m_archiveList; }
  CJobRunner& JobRunner() noexcept { return m_jobRunner; }
  COLExplorerWrapColl& Explorers() noexcept { return m_explorers; }
  const Outlook::Application& Application() const noexcept { return m_spApplication; }
  const Outlook::RibbonUI& RibbonUI() const noexcept { return m_spRibbonUI; }

  // A job runs (the runner reports 259): every command with a rule is disabled.
  bool IsBusy() const;
  void ShowDialog(IDialogLogic& dialog);
  // The folder a command works on: the store's root folder or the folder of
  // a context menu, else the active explorer's current folder. Throws
  // ComError (E_POINTER without control, application or active explorer).
  Outlook::Folder GetTargetFolder(const ObjectPtr& control);

 private:
  using EnabledRule = bool (CConnect::*)(const ObjectPtr& control);
  HRESULT Enablement(const ObjectPtr& control, VariantBool* enabled, bool needsControl, EnabledRule rule);
  bool SelectionHoldsMail(const ObjectPtr& control);
  bool TargetIsMailFolder(const ObjectPtr& control);
  bool TargetIsMailFolderWithSubfolders(const ObjectPtr& control);
  bool ListHoldsMails(const ObjectPtr& control);
  HRESULT CountLabel(int count, Bstr* label);
  std::optional<std::u16string> HelpTopicBeside(const std::u16string& module, const std::u16string& tag);
  // The picture a name points to in the size of the screen; E_FAIL without one.
  HRESULT PictureFor(std::u16string_view pictureName, ObjectPtr* picture);
  // Creates, initialises and starts a job; false when it did not start.
  template <class Job>
  bool StartCollecting(const ObjectPtr& source);

  AddinPorts m_ports;
  // Members in construction order; destruction runs in reverse.
  COLExplorerWrapColl m_explorers;
  std::shared_ptr<CArchiveList> m_archiveList;
  Outlook::Application m_spApplication;
  ObjectPtr m_spAddInInstance;
  Outlook::RibbonUI m_spRibbonUI;
  CJobRunner m_jobRunner;
  std::u16string m_versionText;
  std::u16string m_copyrightText;
};

// The leading decimal integer of text, as atoi reads it (0 without digits).
int ParseLeadingInt(std::u16string_view text);

}  // namespace CV
