#include "mailstore/mail_store.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <atomic>
#include <set>
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

// What a file that is no .eml file is: an mbox file (its first line a
// postmark), no mail, or unreadable (then why says so).
enum class FileKind { Mbox, NoMail, Unreadable };
FileKind KindOf(const std::string& file, std::string& why) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    why = std::string("the file cannot be read: ") + std::strerror(errno);
    return FileKind::Unreadable;
  }
  std::string line(1024, '\0');
  in.getline(line.data(), static_cast<std::streamsize>(line.size()));
  line.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return IsPostmark(line + "\n") ? FileKind::Mbox : FileKind::NoMail;
}

// A name on disk as a folder name: UTF-8 as it is, each byte that is no
// UTF-8 as "%XX", so that names differing only there stay apart.
std::u16string DisplayName(const std::string& bytes) {
  std::u16string out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length > 1 && at + length <= bytes.size()) {
      const std::string piece = bytes.substr(at, length);
      if (!IsUtf8(piece)) length = 0;
    } else if (length > 1) {
      length = 0;
    }
    if (length == 0) {
      out += Format(u"%%%02X", static_cast<unsigned>(lead));
      ++at;
    } else {
      out += FromUtf8(bytes.substr(at, length));
      at += length;
    }
  }
  return out;
}

struct DirectoryId {
  dev_t device;
  ino_t inode;
  bool operator<(const DirectoryId& o) const { return device != o.device ? device < o.device : inode < o.inode; }
};

class Loader {
 public:
  Loader(Sim::SimOutlook& outlook, std::shared_ptr<Sim::SimStore> store, std::uint32_t storeNumber, fs::path root,
         std::function<bool()> cancelled)
      : m_outlook(outlook), m_store(std::move(store)), m_storeNumber(storeNumber), m_root(std::move(root)),
        m_cancelled(std::move(cancelled)), m_files(std::make_shared<FileTable>()) {}

  void LoadRoot() {
    const auto root = m_store->Root();
    FirstVisit(m_root);
    const auto entries = Entries(m_root);
    if (!entries) throw StoreError("the mail store " + m_root.string() + " cannot be read");
    if (IsMaildir(m_root)) {  // a Maildir++ store: its own messages are the inbox
      const auto inbox = m_store->DefaultFolder(olFolderInbox);
      m_claimed.insert(olFolderInbox);
      Attach(inbox, MaildirPlaces(m_root, *entries), FolderRole::Mail);
      LoadMaildirChildren(root, *entries, true);
    } else {
      Attach(root, EmlPlaces(*entries), FolderRole::Mail);
    }
    LoadChildren(root, *entries, true, IsMaildir(m_root));
  }

  LoadStatistics statistics;

 private:
  // An entry of a directory as the loader takes it: links resolved while
  // they stay inside the store. Plain strings: a store holds a hundred
  // thousand of them, and a path object keeps each component besides.
  struct Entry {
    std::string name;
    std::string path;    // where it is listed
    std::string target;  // what it is (the link's target, resolved)
    bool directory = false, file = false;
    // The extension with its dot, in lower case: "*.EML" is an .eml file too.
    std::string Extension() const {
      const std::size_t dot = name.rfind('.');
      std::string extension = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
      for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      return extension;
    }
  };

  void CheckCancel() {
    if (m_cancelled && m_cancelled()) throw LoadCancelled("loading the store was cancelled");
  }

  void Problem(const fs::path& path, std::string why) { statistics.problems->Add(path, std::move(why)); }

  bool Inside(const fs::path& canonical) const {
    const auto [end, _] = std::mismatch(m_root.begin(), m_root.end(), canonical.begin(), canonical.end());
    return end == m_root.end();
  }

  // True the first time a directory is met: a link back into the tree
  // leads to no folder twice.
  bool FirstVisit(const fs::path& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return false;
    return m_visited.insert({st.st_dev, st.st_ino}).second;
  }

  // The directory's entries in name order; an unreadable directory is a
  // problem, and null. The kind of an entry comes with the listing where the
  // file system gives it; only links and unknown kinds are looked at.
  std::optional<std::vector<Entry>> Entries(const fs::path& dir) {
    DIR* handle = ::opendir(dir.c_str());
    if (!handle) {
      Problem(dir, std::string("the folder cannot be read: ") + std::strerror(errno));
      return std::nullopt;
    }
    const std::string prefix = dir.string() + "/";
    std::vector<Entry> entries;
    std::vector<unsigned char> kinds;
    errno = 0;
    while (const dirent* found = ::readdir(handle)) {
      const std::string_view name = found->d_name;
      if (name == "." || name == "..") continue;
      Entry entry;
      entry.name = name;
      entries.push_back(std::move(entry));
      kinds.push_back(found->d_type);
    }
    if (errno != 0) Problem(dir, std::string("the folder cannot be read whole: ") + std::strerror(errno));
    ::closedir(handle);
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return entries[a].name < entries[b].name; });
    std::vector<Entry> sorted;
    sorted.reserve(entries.size());
    for (const std::size_t i : order) {
      CheckCancel();
      Entry entry = std::move(entries[i]);
      entry.path = prefix + entry.name;
      entry.target = entry.path;
      unsigned char kind = kinds[i];
      if (kind == DT_LNK) {
        std::error_code e;
        const fs::path target = fs::canonical(entry.path, e);
        if (e) {
          Problem(entry.path, "the link cannot be followed: " + e.message());
          continue;
        }
        if (!Inside(target)) {
          Problem(entry.path, "the link leads out of the store, to " + target.string());
          continue;
        }
        entry.target = target.string();
        kind = DT_UNKNOWN;
      }
      if (kind == DT_UNKNOWN) {
        struct stat st {};
        if (::stat(entry.target.c_str(), &st) == 0) kind = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : 0;
      }
      entry.directory = kind == DT_DIR;
      entry.file = kind == DT_REG;
      sorted.push_back(std::move(entry));
    }
    return sorted;
  }

  // The folder for a directory: a default folder the first time a top-level
  // name claims it, else a folder of its own, numbered " (2)", " (3)" where
  // its parent already has one of that name.
  std::shared_ptr<Sim::SimFolder> FolderFor(const std::shared_ptr<Sim::SimFolder>& parent, const std::string& bytes,
                                            const FolderInfo& info, bool topLevel) {
    ++statistics.folders;
    const std::u16string name = DisplayName(bytes);
    if (topLevel && info.defaultType && m_claimed.insert(*info.defaultType).second) {
      if (auto existing = m_store->DefaultFolder(*info.defaultType)) {
        existing->Rename(UniqueName(parent, name, existing.get()));
        existing->SetItemType(info.itemType);
        return existing;
      }
    }
    return parent->AddFolder(UniqueName(parent, name, nullptr), info.itemType);
  }

  static std::u16string UniqueName(const std::shared_ptr<Sim::SimFolder>& parent, const std::u16string& name,
                                   const Sim::SimFolder* self) {
    const auto taken = [&](const std::u16string& candidate) {
      for (const auto& child : parent->SubFolders())
        if (child.get() != self && child->Name() == candidate) return true;
      return false;
    };
    std::u16string unique = name;
    for (int n = 2; taken(unique); ++n) unique = name + Format(u" (%d)", n);
    return unique;
  }

  std::u16string NextPrefix() {
    return Format(u"CV%02X%06X", static_cast<unsigned>(m_storeNumber & 0xFF), static_cast<unsigned>(++m_folderNumber));
  }

  void Attach(const std::shared_ptr<Sim::SimFolder>& folder, std::vector<MessagePlace> places, FolderRole role) {
    if (places.empty()) return;
    statistics.messages += places.size();
    folder->SetItemSource(
        std::make_shared<MessageSource>(m_files, std::move(places), NextPrefix(), role, statistics.problems,
                                        statistics.notes));
  }

  std::uint32_t AddFile(const std::string& file) {
    ++statistics.files;
    return m_files->Add(file);
  }

  // A directory's .eml files (the extension in any case).
  std::vector<MessagePlace> EmlPlaces(const std::vector<Entry>& entries) {
    std::vector<MessagePlace> places;
    for (const Entry& entry : entries)
      if (entry.file && entry.Extension() == ".eml") places.push_back({AddFile(entry.target)});
    return places;
  }

  // A Maildir folder's mails: those in cur/ and new/, and .eml files that
  // lie in the folder itself.
  std::vector<MessagePlace> MaildirPlaces(const fs::path& dir, const std::vector<Entry>& entries) {
    std::vector<MessagePlace> places;
    for (const char* sub : {"cur", "new"}) {
      std::error_code e;
      if (!fs::is_directory(dir / sub, e)) continue;
      if (const auto mails = Entries(dir / sub))
        for (const Entry& entry : *mails)
          if (entry.file && entry.name[0] != '.') places.push_back({AddFile(entry.target)});
    }
    for (MessagePlace& place : EmlPlaces(entries)) places.push_back(place);
    return places;
  }

  // The files a mail server keeps in a Maildir beside the mails.
  static bool IsMaildirHousekeeping(const std::string& name) {
    return name.starts_with("dovecot") || name.starts_with("courier") || name == "subscriptions" ||
           name == "maildirfolder";
  }

  // How many mails a directory holds that is not read (hidden): its .eml
  // files, its Maildir mails and the messages of its mbox files, at any depth.
  std::size_t CountMails(const fs::path& dir, int depth = 0) {
    std::size_t count = 0;
    std::error_code e;
    if (depth > 16) return 0;
    for (fs::directory_iterator it(dir, e), end; !e && it != end; it.increment(e)) {
      std::error_code ignored;
      const std::string name = it->path().filename().string();
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        count += CountMails(it->path(), depth + 1);
      } else if (it->is_regular_file(ignored)) {
        std::string extension = it->path().extension().string();
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string parent = dir.filename().string();
        std::string why;
        if (extension == ".eml" || ((parent == "cur" || parent == "new") && name[0] != '.')) ++count;
        else if (KindOf(it->path().string(), why) == FileKind::Mbox) count += ScanMbox(it->path(), 0).places.size();
      }
    }
    return count;
  }

  // A folder's display path below the store's root, with backslashes.
  std::u16string FolderPathOf(const fs::path& dir) const {
    std::u16string path;
    for (const auto& part : dir.lexically_relative(m_root)) {
      if (!path.empty()) path += u'\\';
      path += DisplayName(part.string());
    }
    return path;
  }

  // The subfolders of a directory: its directories and its mbox files. In
  // a Maildir folder cur/, new/ and tmp/ are its own, and its ".A.B"
  // subfolders are read by LoadMaildirChildren. A hidden directory is not
  // read, but named with the mails it holds; a file that is no mail is
  // named.
  void LoadChildren(const std::shared_ptr<Sim::SimFolder>& parent, const std::vector<Entry>& entries, bool topLevel,
                    bool maildir) {
    for (const Entry& entry : entries) {
      const std::string& name = entry.name;
      if (name.empty()) continue;
      if (name[0] == '.') {
        const bool maildirPlus = maildir && entry.directory && IsMaildir(entry.target);
        std::size_t mails = 0;
        if (entry.directory && !maildirPlus) {
          mails = CountMails(entry.target);
        } else if (entry.file && entry.Extension() != ".eml") {
          // .cvfolder and .DS_Store are no mail, but a hidden mbox is a
          // folder left out, to be named as a hidden directory is (a
          // hidden .eml file is read as any other).
          std::string why;
          if (KindOf(entry.target, why) == FileKind::Mbox) mails = ScanMbox(entry.target, 0).places.size();
        }
        if (mails) statistics.hidden.push_back({FolderPathOf(entry.path), mails});
        continue;
      }
      if (entry.directory) {
        if ((name == "cur" || name == "new" || name == "tmp") && maildir) continue;
        if (name.find('\\') != std::string::npos) {
          Problem(entry.path, "the folder's name holds a backslash, which a folder path cannot");
          continue;
        }
        if (!FirstVisit(entry.target)) continue;  // a link to a folder already read
        const auto children = Entries(entry.target);
        if (!children) continue;  // unreadable: named, no folder
        const FolderInfo info = Recognise(name, fs::path(entry.target) / ".cvfolder");
        auto folder = FolderFor(parent, name, info, topLevel);
        const bool isMaildir = IsMaildir(entry.target);
        if (isMaildir) {
          Attach(folder, MaildirPlaces(entry.target, *children), RoleOf(info));
          LoadMaildirChildren(folder, *children, false);
        } else {
          Attach(folder, EmlPlaces(*children), RoleOf(info));
        }
        LoadChildren(folder, *children, false, isMaildir);
        continue;
      }
      if (!entry.file || entry.Extension() == ".eml" || (maildir && IsMaildirHousekeeping(name))) continue;
      std::string why;
      const FileKind kind = KindOf(entry.target, why);
      if (kind == FileKind::Unreadable) {
        Problem(entry.path, why);
        continue;
      }
      if (kind == FileKind::NoMail) {
        Problem(entry.path, "no mail file (neither .eml nor an mbox file)");
        continue;
      }
      std::string folderName = name;
      if (entry.Extension() == ".mbox") folderName = name.substr(0, name.size() - 5);
      if (folderName.find('\\') != std::string::npos) {
        Problem(entry.path, "the file's name holds a backslash, which a folder path cannot");
        continue;
      }
      const FolderInfo info = Recognise(folderName, fs::path());
      auto folder = FolderFor(parent, folderName, info, topLevel);
      const std::uint32_t file = AddFile(entry.target);
      MboxScan scan = ScanMbox(entry.target, file);
      if (!scan.problem.empty()) Problem(entry.path, scan.problem);
      else m_files->SetStamp(file, scan.stamp);
      for (const std::size_t n : scan.withoutBlankLine)
        statistics.notes->Add(entry.path + "#" + std::to_string(n),
                              "Trennzeile ohne Leerzeile davor, als Beginn einer E-Mail gelesen");
      Attach(folder, std::move(scan.places), RoleOf(info));
    }
  }

  // Maildir++: ".A.B" inside a maildir is the folder B below A.
  void LoadMaildirChildren(const std::shared_ptr<Sim::SimFolder>& parent, const std::vector<Entry>& entries,
                           bool topLevel) {
    std::map<std::string, std::shared_ptr<Sim::SimFolder>> made;
    for (const Entry& entry : entries) {
      const std::string& name = entry.name;
      if (name.size() < 2 || name[0] != '.' || name == ".." || !entry.directory || !IsMaildir(entry.target)) continue;
      if (name.find('\\') != std::string::npos) {
        Problem(entry.path, "the folder's name holds a backslash, which a folder path cannot");
        continue;
      }
      if (!FirstVisit(entry.target)) continue;
      // A name whose dots do not each stand between two names (".A.", "..B",
      // ".A..B") is one folder named as it stands: a folder without a name
      // could not be found by its path, and two directories must never meet
      // in one folder.
      std::vector<std::string> parts;
      for (std::size_t start = 1; start <= name.size();) {
        std::size_t end = name.find('.', start);
        if (end == std::string::npos) end = name.size();
        parts.push_back(name.substr(start, end - start));
        start = end + 1;
      }
      if (std::find(parts.begin(), parts.end(), std::string()) != parts.end()) parts = {name.substr(1)};
      std::shared_ptr<Sim::SimFolder> folder = parent;
      std::string path;
      FolderInfo info;
      for (std::size_t i = 0; i < parts.size(); ++i) {
        path += "." + parts[i];
        info = Recognise(parts[i], i + 1 == parts.size() ? fs::path(entry.target) / ".cvfolder" : fs::path());
        auto& known = made[path];
        if (!known) known = FolderFor(folder, parts[i], info, topLevel && folder == parent);
        folder = known;
      }
      if (const auto children = Entries(entry.target)) {
        Attach(folder, MaildirPlaces(entry.target, *children), RoleOf(info));
        LoadChildren(folder, *children, false, true);
      }
    }
  }

  Sim::SimOutlook& m_outlook;
  std::shared_ptr<Sim::SimStore> m_store;
  std::uint32_t m_storeNumber;
  std::uint32_t m_folderNumber = 0;
  fs::path m_root;
  std::function<bool()> m_cancelled;
  std::set<std::int32_t> m_claimed;  // default folders a directory stands for
  std::set<DirectoryId> m_visited;
  std::shared_ptr<FileTable> m_files;
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

namespace {

// What source of folder says of its message entryId; empty when the folder
// has no such message.
template <class T>
T OfMessage(const Sim::SimFolder& folder, std::u16string_view entryId, T (MessageSource::*what)(std::size_t) const) {
  const auto source = std::dynamic_pointer_cast<MessageSource>(folder.ItemSource());
  const auto index = source ? source->Find(entryId) : std::nullopt;
  return index ? ((*source).*what)(*index) : T();
}

}  // namespace

std::string MessageName(const Sim::SimFolder& folder, std::u16string_view entryId) {
  return OfMessage(folder, entryId, &MessageSource::NameOf);
}

fs::path MessagePath(const Sim::SimFolder& folder, std::u16string_view entryId) {
  return OfMessage(folder, entryId, &MessageSource::PathOf);
}

std::string MessageBytes(const Sim::SimFolder& folder, std::u16string_view entryId) {
  return OfMessage(folder, entryId, &MessageSource::BytesOf);
}

std::shared_ptr<Sim::SimStore> LoadStore(Sim::SimOutlook& outlook, const fs::path& directory,
                                         LoadStatistics* statistics, std::function<bool()> cancelled) {
  std::error_code error;
  if (!fs::is_directory(directory, error)) throw StoreError("no mail store at " + directory.string());
  const fs::path absolute = fs::absolute(directory).lexically_normal();
  const fs::path root = fs::canonical(absolute, error);
  if (error) throw StoreError("the mail store " + directory.string() + " cannot be read: " + error.message());
  std::string name = (absolute.has_filename() ? absolute : absolute.parent_path()).filename().string();
  if (name.empty()) name = "Persönliche Ordner";
  static std::atomic<std::uint32_t> stores = 0;
  auto store = outlook.AddStore(DisplayName(name));
  Loader loader(outlook, store, ++stores, root, std::move(cancelled));
  loader.LoadRoot();
  if (statistics) *statistics = loader.statistics;
  return store;
}

}  // namespace CV::MailStore
