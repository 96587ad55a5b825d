// Text that grows with every mail kept on disk instead of in memory: a file
// beside the container that is gone when the spool is (deleted on close),
// written in large pieces through the file-system port.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/file_system.h"

namespace CV::Components {

class SpoolFile {
 public:
  // Throws WriteFailure when no file can be made in directory.
  SpoolFile(FS::IFileSystem& fs, std::u16string_view directory, std::size_t pieceSize = 1 << 20);
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  // Throws WriteFailure.
  void Append(std::string_view text);
  std::uint64_t Size() const noexcept { return m_size; }
  // Hands the text back in pieces, from the start; throws WriteFailure.
  void ReadBack(const std::function<void(std::string_view)>& piece);

 private:
  void WritePending();

  std::u16string m_path;
  std::unique_ptr<FS::IWritableFile> m_file;
  std::string m_pending;  // the end of the text, not yet in the file
  std::uint64_t m_size = 0;
  std::size_t m_pieceSize;
};

}  // namespace CV::Components
