// ZipWriter: one ZIP file, members deflated through zlib, streamed: each
// member is compressed as its bytes arrive and its sizes and CRC are written
// into its local header afterwards. Names are UTF-8. ZIP64 records appear
// only where a size, an offset or the number of members needs them. A member
// that fails half-way can be dropped, and its space is reused. The file is
// reached only through the file-system port, through one handle, and
// written in large pieces.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "components/container/byte_sink.h"
#include "components/container/sha256.h"
#include "components/container/spool_file.h"
#include "components/container/zip_error.h"
#include "foundation/file_system.h"

namespace CV::Components {

// A member's bytes deflated ahead, on any thread: its data as the ZIP
// stores it, with what the directory needs.
struct DeflatedMember {
  std::string data;
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
  Sha256::Digest sha256{};
};
// Raw deflate of a whole member's bytes at level: the same bytes whichever
// thread deflates it, so that a container does not depend on timing. They
// need not equal what streaming the member through Begin, Write and End
// gives.
DeflatedMember Deflate(std::string_view bytes, int level);
// The size and SHA-256 of a member's bytes, which every deflate records.
void DescribeMember(std::string_view bytes, DeflatedMember& member);

class ZipWriter final : public IByteSink {
 public:
  struct Member {
    std::string name;
    std::uint32_t crc = 0;
    std::uint64_t size = 0, compressedSize = 0, offset = 0;
    Sha256::Digest sha256{};
  };

  // Creates the file, which must not exist yet; throws WriteFailure. The
  // members' time is the local time of now, unless SetTime says another.
  ZipWriter(FS::IFileSystem& fs, std::u16string path, int level);
  void SetTime(std::time_t moment);
  ~ZipWriter() override;

  // Starts a member whose uncompressed size will not exceed sizeBound.
  void Begin(const std::string& utf8Name, std::uint64_t sizeBound);
  void Write(const void* data, std::size_t size) override;
  using IByteSink::Write;
  // Completes the member and returns what was written.
  const Member& End();
  // Forgets the member under way; its space is written over.
  void Drop();
  // A whole member deflated ahead (Deflate): the same bytes in the file as
  // Begin(name, sizeBound), Write and End would give.
  const Member& Add(const std::string& utf8Name, std::uint64_t sizeBound, const DeflatedMember& member);
  // The central directory and its end records, everything flushed to the
  // disk. The file stays open until Close or the writer's end.
  void Finish();
  // Closes the file, reporting a late failure (WriteFailure).
  void Close();
  // The file's one handle, for a lock of its holder's or a rename.
  FS::IWritableFile& File() { return *m_file; }
  const std::u16string& Path() const { return m_path; }


 private:
  // Appends at the current position, through the buffer.
  void Put(const void* data, std::size_t size);
  // Writes at offset without moving the current position.
  void PutAt(std::uint64_t offset, const void* data, std::size_t size);
  void WriteBuffer();
  std::string LocalHeader(const std::string& utf8Name, bool zip64) const;
  void Record(const Member& member);
  void Deflate(int flush);

  FS::IFileSystem& m_fs;
  std::u16string m_path;
  std::unique_ptr<FS::IWritableFile> m_file;
  std::vector<std::uint8_t> m_buffer;  // the bytes from m_bufferAt on, not yet in the file
  std::uint64_t m_bufferAt = 0;
  std::uint64_t m_position = 0;   // where the next byte goes
  std::uint64_t m_highWater = 0;  // the end of what is in the file
  int m_level;
  struct Stream;
  std::unique_ptr<Stream> m_stream;
  std::unique_ptr<SpoolFile> m_directory;  // the central directory's records, as members are done
  std::uint64_t m_count = 0;
  Member m_current;
  bool m_inMember = false;
  bool m_localZip64 = false;
  std::uint64_t m_end = 0;  // the end of the last completed member
  std::uint32_t m_dosTime = 0, m_dosDate = 0;
  Sha256 m_sha;
  std::vector<unsigned char> m_out;
};

}  // namespace CV::Components
