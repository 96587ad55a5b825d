#include "components/container/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "components/container/container_part.h"
#include "components/container/spool_file.h"
#include "components/container/write_failure.h"
#include "components/container/zip_format.h"
#include "foundation/local_time.h"

namespace CV::Components {

using namespace Zip;

namespace {

// The local header before the name: 30 bytes.
constexpr std::uint64_t kLocalHeaderSize = 30;
constexpr std::size_t kOutChunk = 256 * 1024;
// Small members and headers gather up to this before they reach the file.
constexpr std::size_t kBufferSize = 256 * 1024;

// deflate's worst case for n bytes, with room to spare.
std::uint64_t DeflateBound(std::uint64_t n) { return n + n / 1000 + 64 * 1024; }

}  // namespace

ZipError::ZipError(const std::string& what, int systemError)
    : std::runtime_error(systemError ? what + ": " + std::strerror(systemError) : what), m_systemError(systemError) {}

struct ZipWriter::Stream {
  z_stream z{};
  bool open = false;
};

ZipWriter::ZipWriter(FS::IFileSystem& fs, std::u16string path, int level)
    : m_fs(fs), m_path(std::move(path)), m_level(level), m_stream(std::make_unique<Stream>()), m_out(kOutChunk) {
  ThrowIfWriteFailed(m_fs.CreateForWriting(m_path, FS::Creation::New, false, m_file), m_path);
  m_buffer.reserve(kBufferSize);
  SetTime(std::time(nullptr));
}

void ZipWriter::SetTime(std::time_t moment) {
  std::tm local{};
  if (!ToLocalTime(moment, local)) local = std::tm{0, 0, 0, 1, 0, 80};  // 1980-01-01, the first ZIP date
  m_dosTime = static_cast<std::uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  m_dosDate = static_cast<std::uint32_t>(std::max(local.tm_year - 80, 0) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
}

ZipWriter::~ZipWriter() {
  if (m_stream->open) deflateEnd(&m_stream->z);
}

void ZipWriter::WriteBuffer() {
  if (m_buffer.empty()) return;
  ThrowIfWriteFailed(m_file->WriteAt(m_bufferAt, m_buffer), m_path);
  m_bufferAt += m_buffer.size();
  m_highWater = std::max(m_highWater, m_bufferAt);
  m_buffer.clear();
}

void ZipWriter::Put(const void* data, std::size_t size) {
  if (m_position != m_bufferAt + m_buffer.size() || m_buffer.size() + size > kBufferSize) {
    WriteBuffer();
    m_bufferAt = m_position;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (size >= kBufferSize) {  // large pieces go straight to the file
    ThrowIfWriteFailed(m_file->WriteAt(m_position, std::span(bytes, size)), m_path);
    m_position += size;
    m_bufferAt = m_position;
    m_highWater = std::max(m_highWater, m_position);
    return;
  }
  m_buffer.insert(m_buffer.end(), bytes, bytes + size);
  m_position += size;
}

void ZipWriter::PutAt(std::uint64_t offset, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (offset >= m_bufferAt && offset + size <= m_bufferAt + m_buffer.size()) {  // still in the buffer
    std::copy(bytes, bytes + size, m_buffer.begin() + static_cast<std::ptrdiff_t>(offset - m_bufferAt));
    return;
  }
  WriteBuffer();
  ThrowIfWriteFailed(m_file->WriteAt(offset, std::span(bytes, size)), m_path);
  m_highWater = std::max(m_highWater, offset + size);
}

// The local header before its sizes are known: they are written at End. It
// carries ZIP64 sizes when they could need them.
std::string ZipWriter::LocalHeader(const std::string& utf8Name, bool zip64) const {
  std::string header;
  Put32(header, kLocalHeader);
  Put16(header, zip64 ? 45 : 20);
  Put16(header, kUtf8Names);
  Put16(header, kDeflated);
  Put16(header, static_cast<std::uint16_t>(m_dosTime));
  Put16(header, static_cast<std::uint16_t>(m_dosDate));
  Put32(header, 0);  // crc, sizes: written at End
  Put32(header, zip64 ? kMax32 : 0);
  Put32(header, zip64 ? kMax32 : 0);
  Put16(header, static_cast<std::uint16_t>(utf8Name.size()));
  Put16(header, zip64 ? 20 : 0);
  header += utf8Name;
  if (zip64) {
    Put16(header, kZip64Extra);
    Put16(header, 16);
    Put64(header, 0);
    Put64(header, 0);
  }
  return header;
}

void ZipWriter::Begin(const std::string& utf8Name, std::uint64_t sizeBound) {
  if (m_inMember) throw ZipError("a member is still open");
  m_current = Member{utf8Name, static_cast<std::uint32_t>(crc32(0, nullptr, 0)), 0, 0, m_end, {}};
  m_localZip64 = DeflateBound(sizeBound) >= kMax32;
  const std::string header = LocalHeader(utf8Name, m_localZip64);
  m_position = m_end;
  Put(header.data(), header.size());
  if (!m_stream->open) {
    if (deflateInit2(&m_stream->z, m_level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw ZipError("deflate cannot start");
    m_stream->open = true;
  } else if (deflateReset(&m_stream->z) != Z_OK) {
    throw ZipError("deflate cannot start");
  }
  m_inMember = true;
}

void ZipWriter::Deflate(int flush) {
  z_stream& z = m_stream->z;
  do {
    z.next_out = m_out.data();
    z.avail_out = static_cast<uInt>(m_out.size());
    const int result = deflate(&z, flush);
    if (result == Z_STREAM_ERROR) throw ZipError("deflate failed");
    const std::size_t produced = m_out.size() - z.avail_out;
    Put(m_out.data(), produced);
    m_current.compressedSize += produced;
  } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
}

void ZipWriter::Write(const void* data, std::size_t size) {
  if (!m_inMember) throw ZipError("no member is open");
  const auto* bytes = static_cast<const Bytef*>(data);
  m_current.crc = static_cast<std::uint32_t>(crc32_z(m_current.crc, bytes, size));
  m_sha.Update(data, size);
  m_current.size += size;
  z_stream& z = m_stream->z;
  while (size > 0) {
    const std::size_t step = std::min<std::size_t>(size, 1u << 30);
    z.next_in = const_cast<Bytef*>(bytes);
    z.avail_in = static_cast<uInt>(step);
    Deflate(Z_NO_FLUSH);
    bytes += step;
    size -= step;
  }
}

const ZipWriter::Member& ZipWriter::End() {
  if (!m_inMember) throw ZipError("no member is open");
  m_stream->z.next_in = nullptr;
  m_stream->z.avail_in = 0;
  for (;;) {
    z_stream& z = m_stream->z;
    z.next_out = m_out.data();
    z.avail_out = static_cast<uInt>(m_out.size());
    const int result = deflate(&z, Z_FINISH);
    const std::size_t produced = m_out.size() - z.avail_out;
    Put(m_out.data(), produced);
    m_current.compressedSize += produced;
    if (result == Z_STREAM_END) break;
    if (result != Z_OK && result != Z_BUF_ERROR) throw ZipError("deflate failed");
  }
  m_current.sha256 = m_sha.Final();
  if (!m_localZip64 && (m_current.size >= kMax32 || m_current.compressedSize >= kMax32))
    throw ZipError("a member outgrew its bound");
  std::string sizes;
  Put32(sizes, m_current.crc);
  Put32(sizes, m_localZip64 ? kMax32 : static_cast<std::uint32_t>(m_current.compressedSize));
  Put32(sizes, m_localZip64 ? kMax32 : static_cast<std::uint32_t>(m_current.size));
  PutAt(m_current.offset + 14, sizes.data(), sizes.size());
  if (m_localZip64) {
    std::string extra;
    Put64(extra, m_current.size);
    Put64(extra, m_current.compressedSize);
    PutAt(m_current.offset + kLocalHeaderSize + m_current.name.size() + 4, extra.data(), extra.size());
  }
  m_end = m_position;
  m_inMember = false;
  Record(m_current);
  return m_current;
}

const ZipWriter::Member& ZipWriter::Add(const std::string& utf8Name, std::uint64_t sizeBound,
                                         const DeflatedMember& deflated) {
  if (m_inMember) throw ZipError("a member is still open");
  const bool zip64 = DeflateBound(sizeBound) >= kMax32;
  if (!zip64 && (deflated.size >= kMax32 || deflated.data.size() >= kMax32)) throw ZipError("a member outgrew its bound");
  Member member{utf8Name, deflated.crc, deflated.size, deflated.data.size(), m_end, deflated.sha256};
  std::string header = LocalHeader(utf8Name, zip64);
  // What End would have written over the blanks.
  std::string sizes;
  Put32(sizes, member.crc);
  Put32(sizes, zip64 ? kMax32 : static_cast<std::uint32_t>(member.compressedSize));
  Put32(sizes, zip64 ? kMax32 : static_cast<std::uint32_t>(member.size));
  header.replace(14, sizes.size(), sizes);
  if (zip64) {
    std::string extra;
    Put64(extra, member.size);
    Put64(extra, member.compressedSize);
    header.replace(kLocalHeaderSize + utf8Name.size() + 4, extra.size(), extra);
  }
  m_position = m_end;
  Put(header.data(), header.size());
  Put(deflated.data.data(), deflated.data.size());
  m_end += header.size() + deflated.data.size();
  Record(member);
  m_current = std::move(member);
  return m_current;
}

void DescribeMember(std::string_view bytes, DeflatedMember& member) {
  member.size = bytes.size();
  Sha256 sha;
  sha.Update(bytes.data(), bytes.size());
  member.sha256 = sha.Final();
}

void ZipWriter::Drop() {
  if (!m_inMember) return;
  m_inMember = false;
  m_sha.Final();
  // What of it is still buffered is forgotten; what reached the file is
  // written over, or cut at the end.
  if (m_end >= m_bufferAt) {
    m_buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(m_buffer.size(), m_end - m_bufferAt)));
  } else {
    m_buffer.clear();
    m_bufferAt = m_end;
  }
  m_position = m_end;
}

// Every member's central directory record goes to a spool file beside the
// ZIP as the member is done, so that memory does not grow with the members.
void ZipWriter::Record(const Member& m) {
  std::string directory;
  std::string extra;
  const bool bigSize = m.size >= kMax32, bigCompressed = m.compressedSize >= kMax32, farOffset = m.offset >= kMax32;
  if (bigSize) Put64(extra, m.size);
  if (bigCompressed) Put64(extra, m.compressedSize);
  if (farOffset) Put64(extra, m.offset);
  const bool zip64 = !extra.empty();
  Put32(directory, kCentralHeader);
  Put16(directory, zip64 ? 0x032D : 0x0314);  // made by: UNIX, ZIP 4.5 or 2.0
  Put16(directory, zip64 ? 45 : 20);
  Put16(directory, kUtf8Names);
  Put16(directory, kDeflated);
  Put16(directory, static_cast<std::uint16_t>(m_dosTime));
  Put16(directory, static_cast<std::uint16_t>(m_dosDate));
  Put32(directory, m.crc);
  Put32(directory, bigCompressed ? kMax32 : static_cast<std::uint32_t>(m.compressedSize));
  Put32(directory, bigSize ? kMax32 : static_cast<std::uint32_t>(m.size));
  Put16(directory, static_cast<std::uint16_t>(m.name.size()));
  Put16(directory, zip64 ? static_cast<std::uint16_t>(extra.size() + 4) : 0);
  Put16(directory, 0);  // comment
  Put16(directory, 0);  // disk
  Put16(directory, 0);  // internal attributes
  Put32(directory, 0100644u << 16);
  Put32(directory, farOffset ? kMax32 : static_cast<std::uint32_t>(m.offset));
  directory += m.name;
  if (zip64) {
    Put16(directory, kZip64Extra);
    Put16(directory, static_cast<std::uint16_t>(extra.size()));
    directory += extra;
  }
  if (!m_directory) m_directory = std::make_unique<SpoolFile>(m_fs, FolderOf(m_path));
  m_directory->Append(directory);
  ++m_count;
}

void ZipWriter::Finish() {
  if (m_inMember) throw ZipError("a member is still open");
  m_position = m_end;
  const std::uint64_t size = m_directory ? m_directory->Size() : 0;
  if (m_directory) m_directory->ReadBack([&](std::string_view piece) { Put(piece.data(), piece.size()); });
  m_directory.reset();
  std::string directory;
  const std::uint64_t start = m_end, count = m_count;
  if (count >= kMax16 || start >= kMax32 || size >= kMax32) {
    const std::uint64_t recordAt = start + size;
    Put32(directory, kZip64EndOfCentral);
    Put64(directory, 44);
    Put16(directory, 45);
    Put16(directory, 45);
    Put32(directory, 0);
    Put32(directory, 0);
    Put64(directory, count);
    Put64(directory, count);
    Put64(directory, size);
    Put64(directory, start);
    Put32(directory, kZip64Locator);
    Put32(directory, 0);
    Put64(directory, recordAt);
    Put32(directory, 1);
  }
  Put32(directory, kEndOfCentral);
  Put16(directory, 0);
  Put16(directory, 0);
  Put16(directory, count >= kMax16 ? kMax16 : static_cast<std::uint16_t>(count));
  Put16(directory, count >= kMax16 ? kMax16 : static_cast<std::uint16_t>(count));
  Put32(directory, size >= kMax32 ? kMax32 : static_cast<std::uint32_t>(size));
  Put32(directory, start >= kMax32 ? kMax32 : static_cast<std::uint32_t>(start));
  Put16(directory, 0);
  Put(directory.data(), directory.size());
  WriteBuffer();
  // A dropped member at the end may have left bytes past the directory.
  if (m_highWater > m_position) ThrowIfWriteFailed(m_file->Resize(m_position), m_path);
  m_highWater = m_position;
  ThrowIfWriteFailed(m_file->Flush(), m_path);
}

void ZipWriter::Close() { ThrowIfWriteFailed(m_file->Close(), m_path); }

}  // namespace CV::Components
