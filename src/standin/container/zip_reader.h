// ZipReader: the members of a ZIP file as its central directory lists them
// (ZIP64 included), and their bytes, inflated and checked against the CRC.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "standin/container/zip_writer.h"

namespace CV::Standin {

class ZipReader {
 public:
  struct Entry {
    std::string name;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0, compressedSize = 0, offset = 0;
  };

  // Reads the central directory; throws ZipError for what is no ZIP file.
  explicit ZipReader(const std::filesystem::path& path);

  const std::vector<Entry>& Entries() const noexcept { return m_entries; }
  const Entry* Find(std::string_view name) const;

  // Hands the member's bytes to sink in pieces. Throws ZipError when the
  // data cannot be inflated, or its length or CRC differ from the directory.
  void Read(const Entry& entry, const std::function<void(const unsigned char*, std::size_t)>& sink);
  std::string ReadAll(const Entry& entry);

 private:
  std::filesystem::path m_path;
  std::ifstream m_file;
  std::vector<Entry> m_entries;
};

}  // namespace CV::Standin
