#include "components/container/spool_file.h"

#include <random>
#include <vector>

#include "components/container/write_failure.h"
#include "foundation/hresult.h"

namespace CV::Components {

SpoolFile::SpoolFile(FS::IFileSystem& fs, std::u16string_view directory, std::size_t pieceSize)
    : m_pieceSize(pieceSize) {
  std::random_device random;
  std::int32_t error = Win32Error::FileExists;
  for (int attempt = 0; attempt < 8 && error == Win32Error::FileExists; ++attempt) {
    m_path = std::u16string(directory) + u"\\.spool-";
    for (char c : std::to_string(random() % 1000000000u)) m_path += static_cast<char16_t>(c);
    error = fs.CreateForWriting(m_path, FS::Creation::New, true, m_file);
  }
  ThrowIfWriteFailed(error, m_path);
  m_pending.reserve(m_pieceSize);
}

void SpoolFile::WritePending() {
  if (m_pending.empty()) return;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(m_pending.data());
  ThrowIfWriteFailed(m_file->WriteAt(m_size - m_pending.size(), std::span(bytes, m_pending.size())), m_path);
  m_pending.clear();
}

void SpoolFile::Append(std::string_view text) {
  if (m_pending.size() + text.size() > m_pieceSize) WritePending();
  m_pending += text;
  m_size += text.size();
}

void SpoolFile::ReadBack(const std::function<void(std::string_view)>& piece) {
  WritePending();
  std::vector<std::uint8_t> buffer(m_pieceSize);
  std::uint64_t offset = 0;
  while (offset < m_size) {
    std::size_t read = 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), m_size - offset));
    ThrowIfWriteFailed(m_file->ReadAt(offset, std::span(buffer.data(), want), read), m_path);
    if (read == 0) ThrowIfWriteFailed(Win32Error::HandleEof, m_path);  // the file ends early
    piece(std::string_view(reinterpret_cast<const char*>(buffer.data()), read));
    offset += read;
  }
}

}  // namespace CV::Components
