// The add-in hosted as Outlook and Office host it, on a mail store loaded
// into the simulated Outlook: cvmail presses the ribbon's buttons by their
// callback names, and waits for the jobs they start.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "addin/connect.h"
#include "cli/console_ui.h"
#include "cli/file_settings.h"
#include "mailstore/mail_store.h"
#include "sim/host/sim_host.h"
#include "sim/sim_dialog_host.h"
#include "sim/sim_internet_cache.h"
#include "sim/sim_picture.h"
#include "components/container/container_writer.h"
#include "components/component_registry.h"

namespace CV::Cli {

struct SessionOptions {
  std::filesystem::path store;
  std::optional<std::filesystem::path> cache;
  std::filesystem::path settings = DefaultSettingsFile();
  // The container the writer makes, when one is asked for.
  std::optional<Components::ExportTarget> target;
  // False acts as an installation whose container writer is missing.
  bool writerInstalled = true;
  // Each mail's temporary files in memory (the default) or on disk.
  bool tempOnDisk = false;
};

class Session {
 public:
  // Loads the store and connects the add-in; throws Failure(Usage) for a
  // store that cannot be read.
  Session(SessionOptions options, std::ostream& out);
  ~Session();

  CConnect& Addin() { return *m_connect; }
  ConsoleUserInterface& Ui() { return *m_ui; }
  Sim::SimOutlook& Outlook() { return m_outlook; }
  const std::shared_ptr<Sim::SimStore>& Store() const { return m_store; }
  const std::shared_ptr<Sim::SimExplorer>& Explorer() const { return m_explorer; }
  FileSettings& Settings() { return *m_settings; }
  const MailStore::LoadStatistics& Statistics() const { return m_statistics; }

  // A folder by its path as the archive list shows it, relative to the
  // store's root ("Posteingang\Büro" or with "/"); Failure(Usage) when the
  // store has none.
  std::shared_ptr<Sim::SimFolder> FolderAt(const std::string& path);
  // The archive-list path of a folder.
  std::u16string ListPath(const Sim::SimFolder& folder) const;
  // A mail as the user finds it on disk: "<folder path>\<file>" (an mbox
  // mail "file#n"), or the EntryID where the store names no file.
  std::string MailName(std::u16string_view folderPath, std::u16string_view entryId);
  // The mail's file relative to the store ("Posteingang/a.eml", an mbox
  // message "Archiv.mbox#3"), as the manifest keeps it; empty when unknown.
  std::string SourceOf(std::u16string_view folderPath, std::u16string_view entryId);
  // How to check the archived message of a mail against its source file;
  // null when the source cannot be read. The outcome goes to Export().
  Components::ContentCheck CheckOf(std::u16string_view folderPath, std::u16string_view entryId);

  // Calls a callback by name with a control whose context is given, as
  // Office does, and waits until the job it may have started has ended.
  Variant Press(std::u16string_view callback, const ObjectPtr& context);
  // The two counters as the ribbon shows them.
  std::string Counters();
  // What the user does in the next dialog.
  void ScriptDialog(Sim::SimDialogHost::Script script) { m_dialogScript = std::move(script); }
  // What the writer reported; read once the export has ended.
  struct ExportRecord {
    std::uint64_t archived = 0;  // mails in the container
    std::int64_t size = 0;
    bool complete = false;  // the container is at its place
    std::string container;  // that place, a POSIX path: the target's, or a numbered name beside it
    std::map<std::u16string, std::string> skipped;  // folder path, '\n', EntryID: why
    std::string failure;  // why the writer gave up, or why the run ended early
    // The content check: mails found whole, and those that lack something
    // (folder path, EntryID, what they lack).
    std::uint64_t whole = 0;
    struct Incomplete {
      std::u16string folder, entryId;
      std::vector<std::string> missing;
    };
    std::vector<Incomplete> incomplete;
  };
  const ExportRecord& Export() const { return m_export; }

 private:
  class Progress;
  class Report;

  std::mutex m_checked;  // guards m_export's check fields: checks run on the writer's threads
  SessionOptions m_options;
  std::filesystem::path m_storeRoot;  // the store's directory, links resolved
  std::ostream& m_out;
  Sim::SimOutlook m_outlook;
  std::shared_ptr<Sim::SimStore> m_store;
  MailStore::LoadStatistics m_statistics;
  std::shared_ptr<Sim::SimExplorer> m_explorer;
  std::shared_ptr<ConsoleUserInterface> m_ui;
  std::shared_ptr<FileSettings> m_settings;
  std::shared_ptr<Components::CComponentRegistry> m_factory;
  // The file system of the add-in, the writer and the simulated Outlook:
  // the disk, with the temporary tree in memory unless asked otherwise.
  std::shared_ptr<FS::IFileSystem> m_files;
  std::shared_ptr<IInternetCache> m_cache;
  Sim::SimDialogHost::Script m_dialogScript;
  std::shared_ptr<Sim::SimDialogHost> m_dialogs;
  ExportRecord m_export;
  std::unique_ptr<Sim::SimHost> m_host;  // outlives the add-in, which keeps references to its ports
  std::shared_ptr<CConnect> m_connect;
};

}  // namespace CV::Cli
