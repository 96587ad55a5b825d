#include "foundation/file_system.h"

#include <algorithm>

#include "foundation/hresult.h"

namespace CV::FS {

std::uint32_t AnswerLongPath(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) {
  const auto length = static_cast<std::uint32_t>(path.size());
  if (buffer.size() < path.size() + 1) return length + 1;
  std::copy(path.begin(), path.end(), buffer.begin());
  buffer[path.size()] = u'\0';
  error = Win32Error::Success;
  return length;
}

std::int32_t ListedSearch::Next(FindData& entry) {
  if (m_next >= m_entries.size()) return Win32Error::NoMoreFiles;
  entry = m_entries[m_next++];
  return Win32Error::Success;
}

bool Exists(IFileSystem& fs, std::u16string_view path) {
  std::uint32_t attributes = 0;
  return fs.ReadAttributes(path, attributes) == 0;
}

std::int32_t ReadWholeFile(IFileSystem& fs, std::u16string_view path, std::vector<std::uint8_t>& bytes) {
  std::unique_ptr<IReadableFile> file;
  if (const std::int32_t error = fs.OpenForReading(path, file); error != 0) return error;
  bytes.assign(static_cast<std::size_t>(file->Size()), 0);
  std::size_t total = 0;
  while (total < bytes.size()) {
    std::size_t read = 0;
    if (const std::int32_t error = file->Read(std::span(bytes).subspan(total), read); error != 0) return error;
    if (read == 0) break;
    total += read;
  }
  bytes.resize(total);
  return Win32Error::Success;
}

}  // namespace CV::FS
