#include "mailstore/mail_store.h"

#include <algorithm>
#include <fstream>
#include <map>

#include "foundation/format.h"
#include "foundation/utf.h"
#include "mailstore/message_source.h"

namespace CV::MailStore {
namespace {

namespace fs = std::filesystem;
using namespace CV::Outlook;

struct DefaultName {
  std::int32_t type;
  const char* key;  // as a sidecar names it
  std::vector<std::string> names;
};

const std::vector<DefaultName>& Defaults() {
  static const std::vector<DefaultName> defaults = {
      {olFolderInbox, "inbox", {"Posteingang", "Inbox", "INBOX"}},
      {olFolderSentMail, "sent", {"Gesendete Elemente", "Sent Items", "Sent", "Gesendet"}},
      {olFolderDeletedItems, "deleted", {"Gelöschte Elemente", "Deleted Items", "Trash", "Papierkorb"}},
      {olFolderOutbox, "outbox", {"Postausgang", "Outbox"}},
      {olFolderJunk, "junk", {"Junk-E-Mail", "Junk E-Mail", "Junk", "Spam"}},
      {olFolderDrafts, "drafts", {"Entwürfe", "Drafts"}},
      {olFolderRssFeeds, "rss", {"RSS-Feeds", "RSS Feeds"}},
      {olFolderCalendar, "calendar", {"Kalender", "Calendar"}},
      {olFolderContacts, "contacts", {"Kontakte", "Contacts"}},
      {olFolderTasks, "tasks", {"Aufgaben", "Tasks"}},
  };
  return defaults;
}

// What a folder is: its kind, and the default folder it stands for.
struct FolderInfo {
  std::int32_t itemType = olMailItem;
  std::optional<std::int32_t> defaultType;
};

std::int32_t ItemTypeOfDefault(std::int32_t type) {
  switch (type) {
    case olFolderCalendar: return olAppointmentItem;
    case olFolderContacts: return olContactItem;
    case olFolderTasks: return olTaskItem;
    default: return olMailItem;
  }
}

FolderInfo Recognise(const std::string& name, const fs::path& sidecar) {
  FolderInfo info;
  for (const DefaultName& d : Defaults())
    if (std::find(d.names.begin(), d.names.end(), name) != d.names.end()) info.defaultType = d.type;
  if (info.defaultType) info.itemType = ItemTypeOfDefault(*info.defaultType);
  std::ifstream in(sidecar);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "default") {
      for (const DefaultName& d : Defaults())
        if (value == d.key) info.defaultType = d.type, info.itemType = ItemTypeOfDefault(d.type);
    } else if (key == "kind") {
      if (value == "calendar") info.itemType = olAppointmentItem;
      else if (value == "contacts") info.itemType = olContactItem;
      else if (value == "tasks") info.itemType = olTaskItem;
      else if (value == "mail") info.itemType = olMailItem;
    }
  }
  return info;
}

FolderRole RoleOf(const FolderInfo& info) {
  if (info.itemType == olAppointmentItem) return FolderRole::Calendar;
  if (info.itemType == olContactItem) return FolderRole::Contacts;
  if (info.itemType == olTaskItem) return FolderRole::Tasks;
  if (info.defaultType == olFolderDrafts) return FolderRole::Drafts;
  if (info.defaultType == olFolderSentMail || info.defaultType == olFolderOutbox) return FolderRole::Sent;
  return FolderRole::Mail;
}

bool IsMaildir(const fs::path& dir) {
  std::error_code e;
  return fs::is_directory(dir / "cur", e) || fs::is_directory(dir / "new", e);
}

bool IsMbox(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char head[5] = {};
  in.read(head, 5);
  return in.gcount() == 5 && std::string_view(head, 5) == "From ";
}

std::vector<fs::directory_entry> SortedEntries(const fs::path& dir) {
  std::vector<fs::directory_entry> entries;
  std::error_code error;
  for (fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, error), end; !error && it != end;
       it.increment(error))
    entries.push_back(*it);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  return entries;
}

class Loader {
 public:
  Loader(Sim::SimOutlook& outlook, std::shared_ptr<Sim::SimStore> store, std::uint32_t storeNumber)
      : m_outlook(outlook), m_store(std::move(store)), m_storeNumber(storeNumber),
        m_files(std::make_shared<std::vector<std::string>>()) {}

  void LoadRoot(const fs::path& dir) {
    const auto root = m_store->Root();
    if (IsMaildir(dir)) {  // a Maildir++ store: its own messages are the inbox
      AttachMaildir(m_store->DefaultFolder(olFolderInbox), dir, FolderRole::Mail);
      LoadMaildirChildren(root, dir, true);
    } else {
      AttachFiles(root, dir, FolderRole::Mail);
    }
    LoadChildren(root, dir, true);
  }

  LoadStatistics statistics;

 private:
  std::shared_ptr<Sim::SimFolder> FolderFor(const std::shared_ptr<Sim::SimFolder>& parent, const std::string& name,
                                            const FolderInfo& info, bool topLevel) {
    ++statistics.folders;
    if (topLevel && info.defaultType) {
      if (auto existing = m_store->DefaultFolder(*info.defaultType)) {
        existing->Rename(FromUtf8(name));
        existing->SetItemType(info.itemType);
        return existing;
      }
    }
    return parent->AddFolder(FromUtf8(name), info.itemType);
  }

  std::u16string NextPrefix() {
    return Format(u"CV%02X%06X", static_cast<unsigned>(m_storeNumber & 0xFF), static_cast<unsigned>(++m_folderNumber));
  }

  void Attach(const std::shared_ptr<Sim::SimFolder>& folder, std::vector<MessagePlace> places, FolderRole role) {
    if (places.empty()) return;
    statistics.messages += places.size();
    folder->SetItemSource(
        std::make_shared<MessageSource>(m_files, std::move(places), NextPrefix(), role, statistics.problems));
  }

  std::uint32_t AddFile(const fs::path& file) {
    m_files->push_back(file.string());
    ++statistics.files;
    return static_cast<std::uint32_t>(m_files->size() - 1);
  }

  void AttachFiles(const std::shared_ptr<Sim::SimFolder>& folder, const fs::path& dir, FolderRole role) {
    std::vector<MessagePlace> places;
    for (const auto& entry : SortedEntries(dir)) {
      std::error_code e;
      if (entry.is_regular_file(e) && entry.path().extension() == ".eml") places.push_back({AddFile(entry.path())});
    }
    Attach(folder, std::move(places), role);
  }

  void AttachMaildir(const std::shared_ptr<Sim::SimFolder>& folder, const fs::path& dir, FolderRole role) {
    std::vector<MessagePlace> places;
    for (const char* sub : {"cur", "new"})
      for (const auto& entry : SortedEntries(dir / sub)) {
        std::error_code e;
        if (entry.is_regular_file(e) && entry.path().filename().string()[0] != '.') places.push_back({AddFile(entry.path())});
      }
    Attach(folder, std::move(places), role);
  }

  void LoadChildren(const std::shared_ptr<Sim::SimFolder>& parent, const fs::path& dir, bool topLevel) {
    for (const auto& entry : SortedEntries(dir)) {
      const std::string name = entry.path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      std::error_code e;
      if (entry.is_directory(e)) {
        if ((name == "cur" || name == "new" || name == "tmp") && IsMaildir(dir)) continue;
        const FolderInfo info = Recognise(name, entry.path() / ".cvfolder");
        auto folder = FolderFor(parent, name, info, topLevel);
        if (IsMaildir(entry.path())) {
          AttachMaildir(folder, entry.path(), RoleOf(info));
          LoadMaildirChildren(folder, entry.path(), false);
        } else {
          AttachFiles(folder, entry.path(), RoleOf(info));
          LoadChildren(folder, entry.path(), false);
        }
      } else if (entry.is_regular_file(e) && entry.path().extension() != ".eml" && IsMbox(entry.path())) {
        std::string folderName = name;
        if (entry.path().extension() == ".mbox") folderName = entry.path().stem().string();
        const FolderInfo info = Recognise(folderName, fs::path());
        auto folder = FolderFor(parent, folderName, info, topLevel);
        Attach(folder, ScanMbox(entry.path(), AddFile(entry.path())), RoleOf(info));
      }
    }
  }

  // Maildir++: ".A.B" inside a maildir is the folder B below A.
  void LoadMaildirChildren(const std::shared_ptr<Sim::SimFolder>& parent, const fs::path& dir, bool topLevel) {
    std::map<std::string, std::shared_ptr<Sim::SimFolder>> made;
    for (const auto& entry : SortedEntries(dir)) {
      const std::string name = entry.path().filename().string();
      std::error_code e;
      if (name.size() < 2 || name[0] != '.' || name == ".." || !entry.is_directory(e) || !IsMaildir(entry.path())) continue;
      std::shared_ptr<Sim::SimFolder> folder = parent;
      std::string path;
      std::size_t start = 1;
      FolderInfo info;
      while (start <= name.size()) {
        std::size_t end = name.find('.', start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        path += "." + part;
        info = Recognise(part, end == name.size() ? entry.path() / ".cvfolder" : fs::path());
        auto& known = made[path];
        if (!known) known = FolderFor(folder, part, info, topLevel && folder == parent);
        folder = known;
        start = end + 1;
      }
      AttachMaildir(folder, entry.path(), RoleOf(info));
    }
  }

  Sim::SimOutlook& m_outlook;
  std::shared_ptr<Sim::SimStore> m_store;
  std::uint32_t m_storeNumber;
  std::uint32_t m_folderNumber = 0;
  // Plain strings: a path object keeps each of its components besides.
  std::shared_ptr<std::vector<std::string>> m_files;
};

}  // namespace

void ReadProblems::Add(const std::filesystem::path& path, std::string why) {
  std::lock_guard lock(m_mutex);
  for (const Problem& known : m_problems)
    if (known.path == path) return;
  m_problems.push_back({path, std::move(why)});
}

std::vector<ReadProblems::Problem> ReadProblems::All() const {
  std::lock_guard lock(m_mutex);
  return m_problems;
}

std::vector<std::pair<std::u16string, std::string>> MessagesOf(const Sim::SimFolder& folder) {
  std::vector<std::pair<std::u16string, std::string>> messages;
  const auto source = std::dynamic_pointer_cast<MessageSource>(folder.ItemSource());
  if (!source) return messages;
  for (std::size_t i = 0; i < source->Count(); ++i) messages.emplace_back(source->EntryIdOf(i), source->NameOf(i));
  return messages;
}

std::string MessageName(const Sim::SimFolder& folder, std::u16string_view entryId) {
  const auto source = std::dynamic_pointer_cast<MessageSource>(folder.ItemSource());
  const auto index = source ? source->Find(entryId) : std::nullopt;
  return index ? source->NameOf(*index) : std::string();
}

std::shared_ptr<Sim::SimStore> LoadStore(Sim::SimOutlook& outlook, const fs::path& directory,
                                         LoadStatistics* statistics) {
  std::error_code error;
  if (!fs::is_directory(directory, error)) throw StoreError("no mail store at " + directory.string());
  const fs::path absolute = fs::absolute(directory).lexically_normal();
  std::string name = (absolute.has_filename() ? absolute : absolute.parent_path()).filename().string();
  if (name.empty()) name = "Persönliche Ordner";
  static std::uint32_t stores = 0;
  auto store = outlook.AddStore(FromUtf8(name));
  Loader loader(outlook, store, ++stores);
  loader.LoadRoot(absolute);
  if (statistics) *statistics = loader.statistics;
  return store;
}

}  // namespace CV::MailStore
