#include "cli/session.h"

#include <locale.h>
#include <pwd.h>
#include <unistd.h>

#include <ctime>
#include <stdexcept>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/mail_inventory.h"
#include "foundation/format.h"
#include "foundation/lifetime.h"
#include "foundation/utf.h"
#include "sim/memory_file_system.h"
#include "sim/sim_interface_table.h"
#include "components/folder_select_control.h"
#include "components/mail_select_control.h"

namespace CV::Cli {
namespace {

class Target final : public Components::IExportTargetChooser {
 public:
  explicit Target(std::optional<Components::ExportTarget> target) : m_target(std::move(target)) {}
  std::optional<Components::ExportTarget> Choose() override { return m_target; }

 private:
  std::optional<Components::ExportTarget> m_target;
};

// The user on this machine, and the local time as the user's locale writes it.
class PosixUser final : public IUserEnvironment {
 public:
  bool UserName(NameFormat format, std::u16string& name) override;
  bool LocalDateText(std::u16string& text) override;
};

bool PosixUser::UserName(NameFormat format, std::u16string& name) {
  const passwd* user = getpwuid(getuid());
  if (!user) return false;
  if (format == NameFormat::Display) {
    std::string gecos = user->pw_gecos ? user->pw_gecos : "";
    gecos = gecos.substr(0, gecos.find(','));
    if (gecos.empty()) return false;
    name = FromUtf8(gecos);
    return true;
  }
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  name = FromUtf8(std::string(host) + "\\" + user->pw_name);
  return true;
}

bool PosixUser::LocalDateText(std::u16string& text) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return false;
  locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (!locale) locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  char buffer[128];
  const std::size_t length = locale ? strftime_l(buffer, sizeof buffer, "%x %X", &local, locale) : 0;
  if (locale) freelocale(locale);
  if (length == 0) return false;
  text = FromUtf8(std::string(buffer, length));
  return true;
}

}  // namespace

// The writer's progress on the terminal; Ctrl-C stops the export.
class Session::Progress final : public Components::IExportProgress {
 public:
  Progress(std::ostream& out, ExportRecord& record) : m_out(out), m_record(record) {}
  bool MailWritten(std::int32_t received, std::int32_t announced, std::uint64_t) override {
    if (Interrupted()) return false;
    const int percent = announced > 0 ? static_cast<int>(100LL * received / announced) : 100;
    if (percent / 10 != m_lastTenth || received == announced) {
      m_lastTenth = percent / 10;
      m_out << "Archiv erstellen: " << received << " von " << announced << " E-Mails " << percent << " %\n"
            << std::flush;
    }
    return true;
  }
  void MailAdded(std::u16string_view, std::u16string_view, std::int64_t size) override {
    ++m_record.archived;
    m_record.size += size;
  }
  void ContainerWritten(std::u16string_view file) override {
    m_record.complete = true;
    m_record.container = ToUtf8(file);
  }
  void Failed(std::string_view cause) override { m_record.failure = cause; }

 private:
  std::ostream& m_out;
  ExportRecord& m_record;
  int m_lastTenth = -1;
};

// Every mail the run skipped, and why a run ended early, with the mail's
// file named.
class Session::Report final : public IArchiveRunReport {
 public:
  Report(Session& session, ExportRecord& record) : m_session(session), m_record(record) {}
  void MailSkipped(std::u16string_view folderPath, std::u16string_view entryId, std::u16string_view cause) override {
    m_record.skipped[std::u16string(folderPath) + u'\n' + std::u16string(entryId)] = OneLine(cause);
  }
  void RunEnded(std::u16string_view folderPath, std::u16string_view entryId, std::u16string_view cause) override {
    if (!m_record.failure.empty()) return;  // the writer's own reason comes first
    m_record.failure = folderPath.empty() ? OneLine(cause)
                                          : m_session.MailName(folderPath, entryId) + ": " + OneLine(cause);
  }

 private:
  static std::string OneLine(std::u16string_view text) {
    std::string line;
    for (char c : ToUtf8(text)) {
      if (c == '\r') continue;
      if (c == '\n') {
        if (!line.empty()) line += "; ";
      } else {
        line += c;
      }
    }
    return line;
  }
  Session& m_session;
  ExportRecord& m_record;
};

std::string Session::MailName(std::u16string_view folderPath, std::u16string_view entryId) {
  std::string name;
  try {
    name = MailStore::MessageName(*FolderAt(ToUtf8(folderPath)), entryId);
  } catch (const Failure&) {
    // a folder the store no longer has: the EntryID names the mail
  }
  return ToUtf8(folderPath) + "\\" + (name.empty() ? ToUtf8(entryId) : name);
}

std::string Session::SourceOf(std::u16string_view folderPath, std::u16string_view entryId) {
  try {
    const std::filesystem::path file = MailStore::MessagePath(*FolderAt(ToUtf8(folderPath)), entryId);
    if (file.empty()) return {};
    const std::filesystem::path relative = file.lexically_relative(m_storeRoot);
    return (relative.empty() ? file : relative).generic_string();
  } catch (const std::exception&) {
    return {};  // a folder or store gone: the source is not known
  }
}

Components::ContentCheck Session::CheckOf(std::u16string_view folderPath, std::u16string_view entryId) {
  std::string bytes;
  try {
    bytes = MailStore::MessageBytes(*FolderAt(ToUtf8(folderPath)), entryId);
  } catch (const std::exception&) {
    return nullptr;  // a folder or store gone: nothing to check with
  }
  if (bytes.empty()) return nullptr;
  // The source's inventory is taken now, on the export's thread: the check
  // then holds a few hashes and words instead of the whole message until
  // the writer gets to it.
  std::shared_ptr<const Inventory> source;
  try {
    source = std::make_shared<const Inventory>(InventoryOf(bytes));
  } catch (const std::exception&) {
    // no message in the source: the check below says so
  }
  bytes = {};
  return [this, source, folder = std::u16string(folderPath), id = std::u16string(entryId)](std::string_view message) {
    std::vector<std::string> missing;
    try {
      if (!source) throw std::runtime_error("no message");
      missing = MissingFrom(*source, message);
    } catch (const std::exception&) {
      missing = {"Inhalt nicht prüfbar: die archivierte Nachricht ist nicht lesbar"};
    }
    const std::lock_guard lock(m_checked);
    if (missing.empty()) ++m_export.whole;
    else m_export.incomplete.push_back({folder, id, missing});
    return missing;
  };
}

Session::Session(SessionOptions options, std::ostream& out) : m_options(std::move(options)), m_out(out) {
  try {
    m_store = MailStore::LoadStore(m_outlook, m_options.store, &m_statistics, [] { return Interrupted().load(); });
  } catch (const MailStore::LoadCancelled&) {
    throw;
  } catch (const MailStore::StoreError& e) {
    throw Failure(Exit::Usage, e.what());
  }
  std::error_code unresolved;
  m_storeRoot = std::filesystem::canonical(m_options.store, unresolved);  // once: it costs a call per directory
  m_explorer = m_outlook.OpenExplorer(m_store->DefaultFolder(Outlook::olFolderInbox));
  m_ui = std::make_shared<ConsoleUserInterface>(out);
  try {
    m_settings = std::make_shared<FileSettings>(m_options.settings);
  } catch (const std::exception& e) {
    throw Failure(Exit::Usage, e.what());
  }
  m_factory = std::make_shared<Components::CComponentRegistry>();
  FS::IFileSystem& disk = FS::DefaultFileSystem();
  m_files = ProcessLifetime(disk);
  if (!m_options.tempOnDisk) {
    std::u16string temporary;
    if (const std::int32_t error = disk.TempPath(temporary); error != 0)
      throw Failure(Exit::Usage, "no temporary directory (error " + std::to_string(error) + ")");
    m_files = std::make_shared<FS::MemoryFileSystem>(disk, temporary + u"cvmail-speicher");
  }
  m_outlook.World()->SetFileSystem(m_files);
  FS::IFileSystem& fs = *m_files;
  if (m_options.writerInstalled)
    Components::RegisterContainerWriter(
        *m_factory,
        Components::WriterPorts{std::make_shared<Target>(m_options.target), std::make_shared<Progress>(out, m_export),
                             m_files, 6,
                             [this](std::u16string_view folder, std::u16string_view id) { return SourceOf(folder, id); },
                             [this](std::u16string_view folder, std::u16string_view id) { return CheckOf(folder, id); }});
  if (m_options.cache) m_cache = std::make_shared<Sim::SimInternetCache>(fs, WindowsPath(m_options.cache->string()));
  auto settings = m_settings;
  m_dialogs = std::make_shared<Sim::SimDialogHost>(
      [settings](int resourceId) -> ObjectPtr {
        if (resourceId == 206) return std::make_shared<Components::CMailSelectControl>();
        if (resourceId == 110) return std::make_shared<Components::CFolderSelectControl>(*settings);
        return nullptr;
      },
      [this](int resourceId, const ObjectPtr& control) {
        return m_dialogScript ? std::exchange(m_dialogScript, nullptr)(resourceId, control) : DialogResult::Cancel;
      });
  m_host = std::make_unique<Sim::SimHost>();
  m_host->ui = m_ui, m_host->settings = m_settings.get(), m_host->user = std::make_shared<PosixUser>();
  m_host->mailExport = Office::MailExportPorts{m_factory, m_files, ProcessLifetime(DefaultGuidSource()), m_cache,
                                               ProcessLifetime(DefaultSystemMessages())};
  m_host->dialogs = m_dialogs, m_host->report = std::make_shared<Report>(*this, m_export);
  m_connect = std::make_shared<CConnect>(m_host->Ports());
  if (m_connect->OnConnection(m_outlook.Application(), 0, nullptr) != S_OK)
    throw Failure(Exit::Usage, "the add-in refused the simulated Outlook");
  m_connect->OnLoad(m_outlook.NewRibbonUI());
}

Session::~Session() {
  m_connect->OnDisconnection(0);
  m_connect.reset();
}

std::shared_ptr<Sim::SimFolder> Session::FolderAt(const std::string& path) {
  std::shared_ptr<Sim::SimFolder> folder = m_store->Root();
  std::string rest = path;
  for (auto& c : rest)
    if (c == '/') c = '\\';
  // The store's own name may lead the path, as the archive list writes it.
  const std::string storeName = ToUtf8(m_store->DisplayName());
  if (rest == storeName)
    rest.clear();
  else if (rest.starts_with(storeName + "\\"))
    rest.erase(0, storeName.size() + 1);
  std::size_t start = 0;
  while (start < rest.size()) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    const std::u16string name = FromUtf8(rest.substr(start, end - start));
    std::shared_ptr<Sim::SimFolder> next;
    for (const auto& child : folder->SubFolders())
      if (child->Name() == name) next = child;
    if (!next) throw Failure(Exit::Usage, "the store has no folder " + path);
    folder = next;
    start = end + 1;
  }
  return folder;
}

std::u16string Session::ListPath(const Sim::SimFolder& folder) const {
  return CArchiveList::NormalizeFolderPath(folder.FullFolderPath());
}

Variant Session::Press(std::u16string_view callback, const ObjectPtr& context) {
  const ObjectPtr control = m_outlook.NewRibbonControl(u"cvmail", context);
  const Variant result = m_connect->Invoke(callback, InvokeKind::Method, {Variant::FromObject(control)});
  DefaultApartment()->WaitUntil([&] { return !m_connect->JobRunner().WorkerAlive(); }, std::chrono::hours(24 * 365));
  return result;
}

std::string Session::Counters() {
  const auto label = [&](const char16_t* callback) {
    return ToUtf8(m_connect->Invoke(callback, InvokeKind::Method, {Variant()}).AsText());
  };
  return "E-Mails: " + label(u"GetMailCount") + "   Ordner: " + label(u"GetFolderCount");
}

}  // namespace CV::Cli
