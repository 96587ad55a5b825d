// Text that grows with every mail kept on disk instead of in memory: an
// unnamed file beside the container, gone when the spool is.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string_view>

namespace CV::Components {

class SpoolFile {
 public:
  // Throws std::runtime_error when no file can be made in directory.
  explicit SpoolFile(const std::filesystem::path& directory, std::size_t pieceSize = 1 << 20);
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  void Append(std::string_view text);
  std::uint64_t Size() const noexcept { return m_size; }
  // Hands the text back in pieces, from the start.
  void ReadBack(const std::function<void(std::string_view)>& piece);

 private:
  std::FILE* m_file = nullptr;
  std::uint64_t m_size = 0;
  std::size_t m_pieceSize;
};

}  // namespace CV::Components
