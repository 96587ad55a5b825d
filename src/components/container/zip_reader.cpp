#include "components/container/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "components/container/zip_format.h"

namespace CV::Components {

using namespace Zip;

namespace {

constexpr std::size_t kEndOfCentralSize = 22, kLocatorSize = 20, kZip64RecordSize = 56;
constexpr std::size_t kCentralHeaderSize = 46, kLocalHeaderSize = 30;
constexpr std::size_t kChunk = 256 * 1024;

class FileSource final : public IByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path) : m_path(path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
      throw ZipError(path.string() + ": not a regular file" + (error ? ": " + error.message() : ""));
    m_file.open(path, std::ios::binary);
    if (!m_file) throw ZipError("cannot open " + path.string());
    m_file.seekg(0, std::ios::end);
    m_size = static_cast<std::uint64_t>(m_file.tellg());
  }
  std::uint64_t Size() const override { return m_size; }
  void ReadAt(std::uint64_t offset, void* out, std::size_t n) override {
    if (offset > m_size || n > m_size - offset) throw ZipError(m_path.string() + ": the file ends too early");
    m_file.clear();
    m_file.seekg(static_cast<std::streamoff>(offset));
    m_file.read(static_cast<char*>(out), static_cast<std::streamsize>(n));
    if (static_cast<std::size_t>(m_file.gcount()) != n) throw ZipError(m_path.string() + ": the file ends too early");
  }

 private:
  std::filesystem::path m_path;
  std::ifstream m_file;
  std::uint64_t m_size = 0;
};

class Memory final : public IByteSource {
 public:
  Memory(const void* data, std::size_t size) : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}
  std::uint64_t Size() const override { return m_size; }
  void ReadAt(std::uint64_t offset, void* out, std::size_t n) override {
    if (offset > m_size || n > m_size - offset) throw ZipError("the data ends too early");
    if (n) std::memcpy(out, m_data + offset, n);
  }

 private:
  const unsigned char* m_data;
  std::size_t m_size;
};

std::string ReadString(IByteSource& source, std::uint64_t offset, std::size_t n) {
  std::string bytes(n, '\0');
  source.ReadAt(offset, bytes.data(), n);
  return bytes;
}

const unsigned char* U(const std::string& s, std::size_t at = 0) {
  return reinterpret_cast<const unsigned char*>(s.data()) + at;
}

// The ZIP64 extra field of a header: each value whose 32-bit field is the
// marker comes from it, in the order the format fixes; a field too short
// for what it must carry is broken.
void ReadZip64Extra(const std::string& extra, const std::string& where, std::uint64_t* size,
                    std::uint64_t* compressedSize, std::uint64_t* offset) {
  for (std::size_t x = 0; x + 4 <= extra.size();) {
    const std::uint16_t id = Get16(U(extra, x)), length = Get16(U(extra, x + 2));
    if (length > extra.size() - x - 4) throw ZipError(where + ": an extra field runs past its header");
    if (id == kZip64Extra) {
      std::size_t field = x + 4;
      const std::size_t end = field + length;
      for (std::uint64_t* value : {size, compressedSize, offset}) {
        if (!value || *value != kMax32) continue;
        if (end - field < 8) throw ZipError(where + ": the ZIP64 extra field is too short");
        *value = Get64(U(extra, field));
        field += 8;
      }
    }
    x += 4 + length;
  }
}

}  // namespace

std::unique_ptr<IByteSource> OpenFileSource(const std::filesystem::path& path) {
  return std::make_unique<FileSource>(path);
}

std::unique_ptr<IByteSource> MemorySource(const void* data, std::size_t size) {
  return std::make_unique<Memory>(data, size);
}

ZipReader::ZipReader(const std::filesystem::path& path) : m_source(OpenFileSource(path)) { ReadDirectory(); }

ZipReader::ZipReader(std::unique_ptr<IByteSource> source) : m_source(std::move(source)) { ReadDirectory(); }

ZipReader::~ZipReader() = default;

void ZipReader::ReadDirectory() {
  IByteSource& source = *m_source;
  const std::uint64_t fileSize = source.Size();
  if (fileSize < kEndOfCentralSize) throw ZipError("not a ZIP file");
  const std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kEndOfCentralSize + 65535));
  const std::uint64_t tailStart = fileSize - tail;
  const std::string end = ReadString(source, tailStart, tail);
  std::size_t at = std::string::npos;
  for (std::size_t i = tail - kEndOfCentralSize + 1; i-- > 0;)
    if (Get32(U(end, i)) == kEndOfCentral) {
      at = i;
      break;
    }
  if (at == std::string::npos) throw ZipError("not a ZIP file: no end of central directory");
  std::uint64_t count = Get16(U(end, at + 10)), size = Get32(U(end, at + 12)), start = Get32(U(end, at + 16));
  if (count == kMax16 || size == kMax32 || start == kMax32) {
    const std::uint64_t endAt = tailStart + at;
    if (endAt < kLocatorSize) throw ZipError("ZIP64 locator missing");
    const std::string locator = ReadString(source, endAt - kLocatorSize, kLocatorSize);
    if (Get32(U(locator)) != kZip64Locator) throw ZipError("ZIP64 locator missing");
    const std::string record = ReadString(source, Get64(U(locator, 8)), kZip64RecordSize);
    if (Get32(U(record)) != kZip64EndOfCentral) throw ZipError("ZIP64 end of central directory missing");
    count = Get64(U(record, 32));
    size = Get64(U(record, 40));
    start = Get64(U(record, 48));
  }
  if (size > fileSize || start > fileSize - size) throw ZipError("the central directory lies outside the file");
  if (count > size / kCentralHeaderSize) throw ZipError("the central directory cannot hold its entries");
  m_directoryStart = start;
  const std::string directory = ReadString(source, start, static_cast<std::size_t>(size));
  std::size_t p = 0;
  m_entries.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    if (directory.size() - p < kCentralHeaderSize || Get32(U(directory, p)) != kCentralHeader)
      throw ZipError("broken central directory");
    Entry e;
    e.flags = Get16(U(directory, p + 8));
    e.method = Get16(U(directory, p + 10));
    e.crc = Get32(U(directory, p + 16));
    e.compressedSize = Get32(U(directory, p + 20));
    e.size = Get32(U(directory, p + 24));
    const std::size_t nameLength = Get16(U(directory, p + 28)), extraLength = Get16(U(directory, p + 30)),
                      commentLength = Get16(U(directory, p + 32));
    e.offset = Get32(U(directory, p + 42));
    if (directory.size() - p - kCentralHeaderSize < nameLength + extraLength + commentLength)
      throw ZipError("broken central directory");
    e.name = directory.substr(p + kCentralHeaderSize, nameLength);
    ReadZip64Extra(directory.substr(p + kCentralHeaderSize + nameLength, extraLength), e.name, &e.size,
                   &e.compressedSize, &e.offset);
    if (e.offset > fileSize || fileSize - e.offset < kLocalHeaderSize) throw ZipError(e.name + ": outside the file");
    if (e.compressedSize > fileSize) throw ZipError(e.name + ": larger than the file");
    m_entries.push_back(std::move(e));
    p += kCentralHeaderSize + nameLength + extraLength + commentLength;
  }
}

const ZipReader::Entry* ZipReader::Find(std::string_view name) const {
  for (const Entry& e : m_entries)
    if (e.name == name) return &e;
  return nullptr;
}

ZipReader::LocalHeader ZipReader::ReadLocalHeader(const Entry& entry) {
  const std::string header = ReadString(*m_source, entry.offset, kLocalHeaderSize);
  if (Get32(U(header)) != kLocalHeader) throw ZipError(entry.name + ": no local header");
  LocalHeader local;
  local.flags = Get16(U(header, 6));
  local.method = Get16(U(header, 8));
  local.crc = Get32(U(header, 14));
  local.compressedSize = Get32(U(header, 18));
  local.size = Get32(U(header, 22));
  const std::size_t nameLength = Get16(U(header, 26)), extraLength = Get16(U(header, 28));
  const std::uint64_t variable = entry.offset + kLocalHeaderSize;
  local.name = ReadString(*m_source, variable, nameLength);
  ReadZip64Extra(ReadString(*m_source, variable + nameLength, extraLength), entry.name, &local.size,
                 &local.compressedSize, nullptr);
  local.dataOffset = variable + nameLength + extraLength;
  const std::uint64_t fileSize = m_source->Size();
  if (local.dataOffset > fileSize || entry.compressedSize > fileSize - local.dataOffset)
    throw ZipError(entry.name + ": its data runs past the end of the file");
  return local;
}

namespace {

// The member's compressed bytes, in pieces, from the source.
class Compressed {
 public:
  Compressed(IByteSource& source, std::uint64_t at, std::uint64_t left) : m_source(source), m_at(at), m_left(left) {}
  std::size_t Next(unsigned char* out, std::size_t n) {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(m_left, n));
    m_source.ReadAt(m_at, out, take);
    m_at += take;
    m_left -= take;
    return take;
  }
  std::uint64_t Left() const { return m_left; }

 private:
  IByteSource& m_source;
  std::uint64_t m_at, m_left;
};

class Member final : public ZipReader::MemberStream {
 public:
  Member(IByteSource& source, const ZipReader::Entry& entry, std::uint64_t dataOffset)
      : m_entry(entry), m_in(source, dataOffset, entry.compressedSize), m_buffer(kChunk) {
    if (entry.method == kDeflated) {
      if (inflateInit2(&m_z, -MAX_WBITS) != Z_OK) throw ZipError("inflate cannot start");
      m_inflating = true;
    } else if (entry.method == 0) {
      if (entry.compressedSize != entry.size) throw ZipError(entry.name + ": stored sizes differ");
    } else {
      throw ZipError(entry.name + ": unknown compression method");
    }
    m_crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  }
  ~Member() override {
    if (m_inflating) inflateEnd(&m_z);
  }

  std::size_t Read(void* out, std::size_t n) override {
    if (m_done || n == 0) return 0;
    auto* bytes = static_cast<unsigned char*>(out);
    std::size_t got = 0;
    if (!m_inflating) {
      got = m_in.Next(bytes, n);
    } else {
      while (got == 0 && !m_streamEnd) {
        if (m_z.avail_in == 0) {
          const std::size_t fed = m_in.Next(m_buffer.data(), m_buffer.size());
          if (fed == 0) throw ZipError(m_entry.name + ": compressed data ends too early");
          m_z.next_in = m_buffer.data();
          m_z.avail_in = static_cast<uInt>(fed);
        }
        m_z.next_out = bytes;
        m_z.avail_out = static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        const int result = inflate(&m_z, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END)
          throw ZipError(m_entry.name + ": the compressed data is broken");
        got = std::min<std::size_t>(n, 1u << 30) - m_z.avail_out;
        m_streamEnd = result == Z_STREAM_END;
      }
    }
    m_produced += got;
    if (m_produced > m_entry.size) throw ZipError(m_entry.name + ": inflates to more than its directory entry says");
    m_crc = static_cast<std::uint32_t>(crc32_z(m_crc, bytes, got));
    if (got == 0 || (!m_inflating && m_in.Left() == 0)) Finish();
    return got;
  }

 private:
  void Finish() {
    if (m_done) return;
    m_done = true;
    if (m_produced != m_entry.size) throw ZipError(m_entry.name + ": length differs from the directory");
    if (m_crc != m_entry.crc) throw ZipError(m_entry.name + ": CRC differs from the directory");
  }

  ZipReader::Entry m_entry;
  Compressed m_in;
  std::vector<unsigned char> m_buffer;
  z_stream m_z{};
  bool m_inflating = false, m_streamEnd = false, m_done = false;
  std::uint64_t m_produced = 0;
  std::uint32_t m_crc = 0;
};

}  // namespace

std::unique_ptr<ZipReader::MemberStream> ZipReader::Open(const Entry& entry) {
  return std::make_unique<Member>(*m_source, entry, ReadLocalHeader(entry).dataOffset);
}

void ZipReader::Read(const Entry& entry, const std::function<void(const unsigned char*, std::size_t)>& sink) {
  const auto member = Open(entry);
  std::vector<unsigned char> buffer(kChunk);
  for (std::size_t n; (n = member->Read(buffer.data(), buffer.size())) != 0;) sink(buffer.data(), n);
}

std::string ZipReader::ReadAll(const Entry& entry, std::uint64_t limit) {
  if (entry.size > limit) throw ZipError(entry.name + ": larger than " + std::to_string(limit) + " bytes");
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(entry.size, 64u << 20)));
  Read(entry, [&](const unsigned char* data, std::size_t n) { bytes.append(reinterpret_cast<const char*>(data), n); });
  return bytes;
}

}  // namespace CV::Components
