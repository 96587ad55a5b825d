#include "mailstore/message_source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "foundation/format.h"
#include "foundation/utf.h"

namespace CV::MailStore {

std::uint32_t FileTable::Add(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash);
  if (m_directories.empty() || m_directories.back() != directory) m_directories.push_back(directory);
  m_files.push_back({static_cast<std::uint32_t>(m_directories.size() - 1),
                     slash == std::string::npos ? path : path.substr(slash + 1)});
  return static_cast<std::uint32_t>(m_files.size() - 1);
}

std::string FileTable::Path(std::uint32_t i) const {
  const File& file = m_files.at(i);
  const std::string& directory = m_directories[file.directory];
  return directory.empty() ? file.name : directory + "/" + file.name;
}

MessageSource::MessageSource(std::shared_ptr<const FileTable> files,
                             std::vector<MessagePlace> places, std::u16string idPrefix, FolderRole role,
                             std::shared_ptr<ReadProblems> problems, std::shared_ptr<ReadProblems> notes)
    : m_files(std::move(files)), m_places(std::move(places)), m_prefix(std::move(idPrefix)), m_role(role),
      m_problems(std::move(problems)), m_notes(std::move(notes)) {}

std::u16string MessageSource::EntryIdOf(std::size_t i) const {
  return m_prefix + Format(u"%08X", static_cast<unsigned>(i));
}

std::string MessageSource::NameOf(std::size_t i) const {
  const MessagePlace& place = m_places.at(i);
  const std::string& file = m_files->Name(place.file);
  return place.wholeFile ? file : file + "#" + std::to_string(i + 1);  // an mbox folder is one file
}

std::filesystem::path MessageSource::PathOf(std::size_t i) const {
  const MessagePlace& place = m_places.at(i);
  const std::string file = m_files->Path(place.file);
  return place.wholeFile ? std::filesystem::path(file) : std::filesystem::path(file + "#" + std::to_string(i + 1));
}

std::optional<std::size_t> MessageSource::Find(std::u16string_view entryId) const {
  if (entryId.size() != m_prefix.size() + 8 || entryId.substr(0, m_prefix.size()) != m_prefix) return std::nullopt;
  std::size_t index = 0;
  for (char16_t c : entryId.substr(m_prefix.size())) {
    const int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
    if (digit < 0) return std::nullopt;
    index = index * 16 + static_cast<std::size_t>(digit);
  }
  if (index >= m_places.size()) return std::nullopt;
  return index;
}

namespace {

FileTable::Stamp StampOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

std::optional<FileTable::Stamp> StampOfFile(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  return StampOf(st);
}

std::string MessageSource::Changed(const MessagePlace& place) const {
  // An mbox file that changed since it was scanned holds other messages at
  // the places found: none of them is taken for the one it was.
  if (place.wholeFile) return {};
  const auto then = m_files->StampOf(place.file);
  if (!then || StampOfFile(m_files->Path(place.file)) == then) return {};
  return "Das Postfach „" + m_files->Path(place.file) + "“ hat sich während des Exports geändert.";
}

namespace {

// Reads length bytes at offset, or to the end with length npos: a file
// grown meanwhile is read to the size it had when opened, one that shrank
// as far as it goes. Four system calls for a whole file, three for a stretch.
std::string ReadFile(const std::string& path, std::uint64_t offset, std::uint64_t length, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return {};
  }
  if (length == std::string::npos) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      why = std::strerror(errno);
      ::close(fd);
      return {};
    }
    length = static_cast<std::uint64_t>(st.st_size);
  }
  std::string bytes(length, '\0');
  std::size_t have = 0;
  while (have < bytes.size()) {
    const ssize_t n = ::pread(fd, bytes.data() + have, bytes.size() - have, static_cast<off_t>(offset + have));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      ::close(fd);
      return {};
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(have);
  return bytes;
}

// The messages an export made last: the content check reads them again
// right after, and so finds them without going to the disk. A large one is
// read again rather than kept: its system calls cost little beside its bytes.
constexpr std::size_t kRecentMessages = 4;
constexpr std::size_t kRecentLargest = 1 << 20;

}  // namespace

std::string MessageSource::Read(const MessagePlace& place, std::string& why) const {
  if (place.wholeFile) return ReadFile(m_files->Path(place.file), 0, std::string::npos, why);
  std::string bytes = ReadFile(m_files->Path(place.file), place.offset, place.length, why);
  return why.empty() ? UnescapeMbox(std::move(bytes)) : std::string();
}

std::string MessageSource::BytesOf(std::size_t i) const {
  {
    const std::lock_guard lock(m_recentLock);
    for (const auto& [index, bytes] : m_recent)
      if (index == i) return *bytes;
  }
  const MessagePlace& place = m_places.at(i);
  std::string why;
  return Changed(place).empty() ? Read(place, why) : std::string();
}

void MessageSource::Remember(std::size_t i, const std::string& bytes) const {
  if (bytes.size() > kRecentLargest) return;
  auto kept = std::make_shared<const std::string>(bytes);
  const std::lock_guard lock(m_recentLock);
  std::erase_if(m_recent, [i](const auto& entry) { return entry.first == i; });
  if (m_recent.size() == kRecentMessages) m_recent.erase(m_recent.begin());
  m_recent.emplace_back(i, std::move(kept));
}

std::shared_ptr<Sim::SimItem> MessageSource::Make(std::size_t i, const std::shared_ptr<Sim::SimFolder>& folder) {
  const MessagePlace& place = m_places.at(i);
  const std::string changed = Changed(place);
  std::string why = changed;
  std::string bytes = changed.empty() ? Read(place, why) : std::string();
  if (!bytes.empty()) Remember(i, bytes);
  bool corrupt = false;
  std::function<void(std::string)> note;
  if (m_notes) note = [notes = m_notes, path = PathOf(i)](std::string what) { notes->Add(path, std::move(what)); };
  auto item = MakeItem(folder->WorldPtr(), std::move(bytes), EntryIdOf(i), m_role, folder, &corrupt, std::move(note));
  if (corrupt) {
    // Outlook names what is wrong with an item it cannot open.
    if (!changed.empty()) item->FailEverything(kCorruptData, FromUtf8(changed));
    if (m_problems) m_problems->Add(PathOf(i), why.empty() ? "no mail (it cannot be parsed)" : why);
  }
  return item;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsPostmark(std::string_view line) {
  // "From " ADDRESS, blanks, then a date as mbox writers put it:
  // "Mon Dec  1 09:00:00 2025" (asctime), perhaps with a zone or the year
  // elsewhere; what counts is a weekday, a month, a day and a time.
  if (!line.starts_with("From ")) return false;
  std::size_t at = 5;
  while (at < line.size() && line[at] == ' ') ++at;
  const std::size_t address = at;
  while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
  if (at == address) return false;
  std::string_view date = line.substr(at);
  while (!date.empty() && (date.front() == ' ' || date.front() == '\t')) date.remove_prefix(1);
  static constexpr std::string_view kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (date.size() < 15 || std::find(std::begin(kDays), std::end(kDays), date.substr(0, 3)) == std::end(kDays)) return false;
  date.remove_prefix(3);
  while (!date.empty() && date.front() == ' ') date.remove_prefix(1);
  if (date.size() < 3 || std::find(std::begin(kMonths), std::end(kMonths), date.substr(0, 3)) == std::end(kMonths))
    return false;
  date.remove_prefix(3);
  while (!date.empty() && date.front() == ' ') date.remove_prefix(1);
  if (date.empty() || !IsDigit(date.front())) return false;
  while (!date.empty() && IsDigit(date.front())) date.remove_prefix(1);
  while (!date.empty() && date.front() == ' ') date.remove_prefix(1);
  return date.size() >= 5 && IsDigit(date[0]) && IsDigit(date[1]) && date[2] == ':' && IsDigit(date[3]) &&
         IsDigit(date[4]);
}

namespace {

// Feeds an mbox file's lines to a scanner, mapped where the system maps it,
// else read piece by piece: a file too large to map (a memory limit, a file
// system without mmap) is read all the same.
class MboxLines {
 public:
  // False with why set when the file cannot be read at all.
  bool Open(const std::filesystem::path& file, bool map, std::string& why) {
    m_fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
      why = std::string("the mbox file cannot be opened: ") + std::strerror(errno);
      return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
      why = std::string("the mbox file cannot be read: ") + std::strerror(errno);
      return false;
    }
    m_size = static_cast<std::size_t>(st.st_size);
    m_stamp = StampOf(st);
    if (map && m_size > 0) {
      void* mapped = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, m_fd, 0);
      if (mapped != MAP_FAILED) {
        m_mapped = static_cast<const char*>(mapped);
        ::madvise(mapped, m_size, MADV_SEQUENTIAL);
      }
    }
    return true;
  }
  ~MboxLines() {
    if (m_mapped) ::munmap(const_cast<char*>(m_mapped), m_size);
    if (m_fd >= 0) ::close(m_fd);
  }
  // Calls line(offset, text) for every line (its line break included); false
  // with why set when reading fails on the way.
  bool Each(const std::function<void(std::uint64_t, std::string_view)>& line, std::string& why) {
    if (m_mapped) {
      for (std::size_t at = 0; at < m_size;) {
        const void* nl = std::memchr(m_mapped + at, '\n', m_size - at);
        const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - m_mapped) + 1 : m_size;
        line(at, std::string_view(m_mapped + at, end - at));
        at = end;
      }
      return true;
    }
    std::vector<char> buffer(1 << 20);
    std::string pending;
    std::uint64_t offset = 0;  // of pending's first byte
    for (;;) {
      const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        why = std::string("the mbox file cannot be read: ") + std::strerror(errno);
        return false;
      }
      if (n == 0) break;
      pending.append(buffer.data(), static_cast<std::size_t>(n));
      std::size_t at = 0;
      for (std::size_t nl; (nl = pending.find('\n', at)) != std::string::npos; at = nl + 1)
        line(offset + at, std::string_view(pending).substr(at, nl + 1 - at));
      pending.erase(0, at);
      offset += at;
    }
    if (!pending.empty()) line(offset, pending);
    return true;
  }
  std::uint64_t Size() const { return m_size; }
  FileTable::Stamp Stamp() const { return m_stamp; }

 private:
  FileTable::Stamp m_stamp;
  int m_fd = -1;
  std::size_t m_size = 0;
  const char* m_mapped = nullptr;
};

}  // namespace

// A plain scan, not GMime's mbox mode: that parses every message in full,
// and an mbox of several gigabytes must be indexed in seconds.
MboxScan ScanMbox(const std::filesystem::path& file, std::uint32_t fileIndex, bool map) {
  MboxScan scan;
  MboxLines lines;
  if (!lines.Open(file, map, scan.problem)) return scan;
  scan.stamp = lines.Stamp();
  // A message starts after its postmark line and ends before the line
  // break that precedes the next postmark, or where the file ends.
  std::optional<std::uint64_t> start;
  std::uint64_t previousStart = 0;  // of the line before
  bool previousBlank = true;        // the file's start counts as one
  const bool read = lines.Each([&](std::uint64_t at, std::string_view text) {
    const bool blank = text == "\n" || text == "\r\n";
    if (IsPostmark(text)) {
      if (start) {
        const std::uint64_t end = previousBlank ? previousStart : at;
        scan.places.push_back({fileIndex, *start, end - std::min(end, *start), false});
        if (!previousBlank) scan.withoutBlankLine.push_back(scan.places.size() + 1);
      } else if (at != 0) {
        scan.places.push_back({fileIndex, 0, at, false});  // text before the first postmark is a message too
      }
      start = at + text.size();
    }
    previousStart = at;
    previousBlank = blank;
  }, scan.problem);
  if (!read) {
    scan.places.clear();
    return scan;
  }
  if (!start && lines.Size() > 0) scan.places.push_back({fileIndex, 0, lines.Size(), false});
  else if (start && *start < lines.Size()) scan.places.push_back({fileIndex, *start, lines.Size() - *start, false});
  return scan;
}

std::string UnescapeMbox(std::string bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t end = bytes.find('\n', at);
    end = end == std::string::npos ? bytes.size() : end + 1;
    std::size_t quotes = at;
    while (quotes < end && bytes[quotes] == '>') ++quotes;
    if (quotes > at && bytes.compare(quotes, 5, "From ") == 0) ++at;  // one ">" less
    out.append(bytes, at, end - at);
    at = end;
  }
  return out;
}

}  // namespace CV::MailStore
