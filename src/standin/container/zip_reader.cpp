#include "standin/container/zip_reader.h"

#include <zlib.h>

#include <algorithm>

#include "standin/container/zip_format.h"

namespace CV::Standin {

using namespace Zip;

namespace {

std::string ReadAt(std::ifstream& file, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<std::size_t>(file.gcount()) != size) throw ZipError("the file ends too early");
  return bytes;
}

const unsigned char* U(const std::string& s, std::size_t at = 0) {
  return reinterpret_cast<const unsigned char*>(s.data()) + at;
}

}  // namespace

ZipReader::ZipReader(const std::filesystem::path& path) : m_path(path), m_file(path, std::ios::binary) {
  if (!m_file) throw ZipError("cannot open " + path.string());
  m_file.seekg(0, std::ios::end);
  const std::uint64_t fileSize = m_file.tellg();
  if (fileSize < 22) throw ZipError("not a ZIP file");
  const std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, 22 + 65535));
  const std::string end = ReadAt(m_file, fileSize - tail, tail);
  std::size_t at = std::string::npos;
  for (std::size_t i = tail - 22 + 1; i-- > 0;)
    if (Get32(U(end, i)) == kEndOfCentral) {
      at = i;
      break;
    }
  if (at == std::string::npos) throw ZipError("not a ZIP file: no end of central directory");
  std::uint64_t count = Get16(U(end, at + 10)), size = Get32(U(end, at + 12)), start = Get32(U(end, at + 16));
  if (count == kMax16 || size == kMax32 || start == kMax32) {
    const std::uint64_t locatorAt = fileSize - tail + at - 20;
    const std::string locator = ReadAt(m_file, locatorAt, 20);
    if (Get32(U(locator)) != kZip64Locator) throw ZipError("ZIP64 locator missing");
    const std::string record = ReadAt(m_file, Get64(U(locator, 8)), 56);
    if (Get32(U(record)) != kZip64EndOfCentral) throw ZipError("ZIP64 end of central directory missing");
    count = Get64(U(record, 32));
    size = Get64(U(record, 40));
    start = Get64(U(record, 48));
  }
  if (start + size > fileSize) throw ZipError("the central directory lies outside the file");
  const std::string directory = ReadAt(m_file, start, static_cast<std::size_t>(size));
  std::size_t p = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (p + 46 > directory.size() || Get32(U(directory, p)) != kCentralHeader) throw ZipError("broken central directory");
    Entry e;
    e.method = Get16(U(directory, p + 10));
    e.crc = Get32(U(directory, p + 16));
    e.compressedSize = Get32(U(directory, p + 20));
    e.size = Get32(U(directory, p + 24));
    const std::size_t nameLength = Get16(U(directory, p + 28)), extraLength = Get16(U(directory, p + 30)),
                      commentLength = Get16(U(directory, p + 32));
    e.offset = Get32(U(directory, p + 42));
    if (p + 46 + nameLength + extraLength + commentLength > directory.size()) throw ZipError("broken central directory");
    e.name = directory.substr(p + 46, nameLength);
    for (std::size_t x = p + 46 + nameLength; x + 4 <= p + 46 + nameLength + extraLength;) {
      const std::uint16_t id = Get16(U(directory, x)), length = Get16(U(directory, x + 2));
      std::size_t field = x + 4;
      if (id == kZip64Extra) {
        if (e.size == kMax32) e.size = Get64(U(directory, field)), field += 8;
        if (e.compressedSize == kMax32) e.compressedSize = Get64(U(directory, field)), field += 8;
        if (e.offset == kMax32) e.offset = Get64(U(directory, field));
      }
      x += 4 + length;
    }
    m_entries.push_back(std::move(e));
    p += 46 + nameLength + extraLength + commentLength;
  }
}

const ZipReader::Entry* ZipReader::Find(std::string_view name) const {
  for (const Entry& e : m_entries)
    if (e.name == name) return &e;
  return nullptr;
}

void ZipReader::Read(const Entry& entry, const std::function<void(const unsigned char*, std::size_t)>& sink) {
  const std::string header = ReadAt(m_file, entry.offset, 30);
  if (Get32(U(header)) != kLocalHeader) throw ZipError(entry.name + ": no local header");
  std::uint64_t at = entry.offset + 30 + Get16(U(header, 26)) + Get16(U(header, 28));
  std::uint64_t left = entry.compressedSize, produced = 0;
  std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  std::vector<unsigned char> in(256 * 1024), out(256 * 1024);
  const auto emit = [&](const unsigned char* data, std::size_t n) {
    crc = static_cast<std::uint32_t>(crc32_z(crc, data, n));
    produced += n;
    if (n) sink(data, n);
  };
  m_file.clear();
  m_file.seekg(static_cast<std::streamoff>(at));
  if (entry.method == 0) {
    while (left > 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, in.size()));
      m_file.read(reinterpret_cast<char*>(in.data()), static_cast<std::streamsize>(n));
      if (static_cast<std::size_t>(m_file.gcount()) != n) throw ZipError(entry.name + ": data ends too early");
      emit(in.data(), n);
      left -= n;
    }
  } else if (entry.method == kDeflated) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw ZipError("inflate cannot start");
    int result = Z_OK;
    try {
      while (result != Z_STREAM_END) {
        if (z.avail_in == 0) {
          if (left == 0) throw ZipError(entry.name + ": compressed data ends too early");
          const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, in.size()));
          m_file.read(reinterpret_cast<char*>(in.data()), static_cast<std::streamsize>(n));
          if (static_cast<std::size_t>(m_file.gcount()) != n) throw ZipError(entry.name + ": data ends too early");
          left -= n;
          z.next_in = in.data();
          z.avail_in = static_cast<uInt>(n);
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        result = inflate(&z, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) throw ZipError(entry.name + ": the compressed data is broken");
        emit(out.data(), out.size() - z.avail_out);
      }
    } catch (...) {
      inflateEnd(&z);
      throw;
    }
    inflateEnd(&z);
  } else {
    throw ZipError(entry.name + ": unknown compression method");
  }
  if (produced != entry.size) throw ZipError(entry.name + ": length differs from the directory");
  if (crc != entry.crc) throw ZipError(entry.name + ": CRC differs from the directory");
}

std::string ZipReader::ReadAll(const Entry& entry) {
  std::string bytes;
  Read(entry, [&](const unsigned char* data, std::size_t n) { bytes.append(reinterpret_cast<const char*>(data), n); });
  return bytes;
}

}  // namespace CV::Standin
