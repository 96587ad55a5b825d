// ZipReader: the members of a ZIP file as its central directory lists them
// (ZIP64 included), and their bytes, inflated and checked against the CRC.
//
// A container is a file someone may send: every length and offset is
// checked against the file before it is used, with arithmetic that cannot
// wrap, and a member that inflates to more than its directory entry says is
// refused as soon as it does. Every failure is a ZipError.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "components/container/zip_error.h"

namespace CV::Components {

// Where the reader's bytes come from: a file, or memory.
class IByteSource {
 public:
  virtual ~IByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly n bytes at offset; throws ZipError when they are not there.
  virtual void ReadAt(std::uint64_t offset, void* out, std::size_t n) = 0;
};

// A regular file (anything else, a FIFO or a device, is refused: reading
// one could block for ever); throws ZipError.
std::unique_ptr<IByteSource> OpenFileSource(const std::filesystem::path& path);
// Bytes the caller keeps alive.
std::unique_ptr<IByteSource> MemorySource(const void* data, std::size_t size);

class ZipReader {
 public:
  struct Entry {
    std::string name;
    std::uint16_t flags = 0;  // the general purpose bits
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0, compressedSize = 0, offset = 0;
  };
  // What a member's local header says.
  struct LocalHeader {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0, compressedSize = 0;
    std::uint64_t dataOffset = 0;
  };

  // Reads the central directory; throws ZipError for what is no ZIP file.
  explicit ZipReader(const std::filesystem::path& path);
  explicit ZipReader(std::unique_ptr<IByteSource> source);
  ~ZipReader();

  const std::vector<Entry>& Entries() const noexcept { return m_entries; }
  IByteSource& Source() { return *m_source; }
  // Where the central directory begins: every member's bytes lie before it.
  std::uint64_t DirectoryStart() const noexcept { return m_directoryStart; }
  // The first entry of that name, or null.
  const Entry* Find(std::string_view name) const;

  LocalHeader ReadLocalHeader(const Entry& entry);

  // A member's bytes, pulled piece by piece: Read fills out with up to n
  // bytes and returns how many, 0 at the end (when length and CRC have been
  // checked against the directory). Throws ZipError.
  class MemberStream {
   public:
    virtual ~MemberStream() = default;
    virtual std::size_t Read(void* out, std::size_t n) = 0;
  };
  std::unique_ptr<MemberStream> Open(const Entry& entry);

  // Hands the member's bytes to sink in pieces.
  void Read(const Entry& entry, const std::function<void(const unsigned char*, std::size_t)>& sink);
  // The member's bytes; a member larger than limit is refused before it is
  // read.
  std::string ReadAll(const Entry& entry, std::uint64_t limit = UINT64_MAX);

 private:
  void ReadDirectory();

  std::unique_ptr<IByteSource> m_source;
  std::vector<Entry> m_entries;
  std::uint64_t m_directoryStart = 0;
};

}  // namespace CV::Components
