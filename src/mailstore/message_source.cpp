#include "mailstore/message_source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "foundation/format.h"

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

std::string MessageSource::Read(const MessagePlace& place, std::string& why) const {
  errno = 0;
  std::ifstream in(m_files->Path(place.file), std::ios::binary);
  if (!in) {
    why = errno ? std::strerror(errno) : "cannot be opened";
    return {};
  }
  if (place.wholeFile) {
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(in.tellg());
    std::string bytes(size, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
  }
  std::string bytes(place.length, '\0');
  in.seekg(static_cast<std::streamoff>(place.offset));
  in.read(bytes.data(), static_cast<std::streamsize>(place.length));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return UnescapeMbox(std::move(bytes));
}

std::shared_ptr<Sim::SimItem> MessageSource::Make(std::size_t i, const std::shared_ptr<Sim::SimFolder>& folder) {
  const MessagePlace& place = m_places.at(i);
  std::string why;
  std::string bytes = Read(place, why);
  bool corrupt = false;
  std::function<void(std::string)> note;
  if (m_notes) note = [notes = m_notes, path = PathOf(i)](std::string what) { notes->Add(path, std::move(what)); };
  auto item = MakeItem(folder->WorldPtr(), std::move(bytes), EntryIdOf(i), m_role, folder, &corrupt, std::move(note));
  if (corrupt && m_problems) {
    m_problems->Add(PathOf(i), why.empty() ? "no mail (it cannot be parsed)" : why);
  }
  return item;
}

// A plain scan, not GMime's mbox mode: that parses every message in full,
// and an mbox of several gigabytes must be indexed in seconds.
std::vector<MessagePlace> ScanMbox(const std::filesystem::path& file, std::uint32_t fileIndex) {
  std::vector<MessagePlace> places;
  const int fd = ::open(file.c_str(), O_RDONLY);
  if (fd < 0) return places;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size == 0) {
    ::close(fd);
    return places;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (mapped == MAP_FAILED) return places;
  ::madvise(mapped, size, MADV_SEQUENTIAL);
  const char* data = static_cast<const char*>(mapped);
  // A separator: "From " at the start of the file or of a line after an
  // empty line. Its message starts after the line and ends before the
  // empty line of the next separator.
  const auto separatorEnd = [&](std::size_t at) {
    const void* nl = std::memchr(data + at, '\n', size - at);
    return nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - data) + 1 : size;
  };
  std::size_t start = std::strncmp(data, "From ", std::min<std::size_t>(size, 5)) == 0 && size >= 5 ? separatorEnd(0) : std::string::npos;
  std::size_t at = 0;
  while (at < size) {
    const void* nl = std::memchr(data + at, '\n', size - at);
    if (!nl) break;
    const std::size_t line = static_cast<std::size_t>(static_cast<const char*>(nl) - data) + 1;
    const bool blank = line == at + 1 || (line == at + 2 && data[at] == '\r');
    if (blank && line + 5 <= size && std::memcmp(data + line, "From ", 5) == 0) {
      if (start != std::string::npos) places.push_back({fileIndex, start, at - start, false});
      start = separatorEnd(line);
      at = start;
      continue;
    }
    at = line;
  }
  if (start != std::string::npos && start < size) places.push_back({fileIndex, start, size - start, false});
  ::munmap(mapped, size);
  return places;
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
