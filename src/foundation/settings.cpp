#include "foundation/settings.h"

namespace CV {

std::vector<std::uint8_t> RegistryString(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2 + 2);
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::u16string RegistryText(const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (c == u'\0') break;
    text.push_back(c);
  }
  return text;
}

std::vector<std::u16string> NonEmptyLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of(u"\r\n", start);
    const std::size_t stop = end == std::u16string_view::npos ? text.size() : end;
    if (stop > start) lines.emplace_back(text.substr(start, stop - start));
    start = stop + 1;
  }
  return lines;
}

}  // namespace CV
