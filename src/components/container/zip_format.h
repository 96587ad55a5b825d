// The ZIP file format's records, as both the writer and the reader use them.
#pragma once

#include <cstdint>
#include <string>

namespace CV::Components::Zip {

inline constexpr std::uint32_t kLocalHeader = 0x04034b50;
inline constexpr std::uint32_t kCentralHeader = 0x02014b50;
inline constexpr std::uint32_t kEndOfCentral = 0x06054b50;
inline constexpr std::uint32_t kZip64EndOfCentral = 0x06064b50;
inline constexpr std::uint32_t kZip64Locator = 0x07064b50;
inline constexpr std::uint16_t kZip64Extra = 0x0001;
inline constexpr std::uint16_t kUtf8Names = 0x0800;
inline constexpr std::uint16_t kDataDescriptor = 0x0008;  // sizes and CRC after the data
inline constexpr std::uint16_t kEncrypted = 0x0001;
inline constexpr std::uint16_t kDeflated = 8;
inline constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kMax16 = 0xFFFF;

inline void Put16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF), out += static_cast<char>(v >> 8);
}
inline void Put32(std::string& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v & 0xFFFF)), Put16(out, static_cast<std::uint16_t>(v >> 16));
}
inline void Put64(std::string& out, std::uint64_t v) {
  Put32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFFu)), Put32(out, static_cast<std::uint32_t>(v >> 32));
}
inline std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(Get16(p)) | static_cast<std::uint32_t>(Get16(p + 2)) << 16;
}
inline std::uint64_t Get64(const unsigned char* p) {
  return static_cast<std::uint64_t>(Get32(p)) | static_cast<std::uint64_t>(Get32(p + 4)) << 32;
}

}  // namespace CV::Components::Zip
