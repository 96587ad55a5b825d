#include "foundation/bstr.h"

namespace CV {

Bstr Bstr::FromBytes(const void* data, std::size_t length) {
  Bstr b;
  b.m_bytes.emplace(static_cast<const char*>(data), length);
  return b;
}

std::string Bstr::Encode(std::u16string_view text) {
  std::string bytes(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return bytes;
}

std::u16string Bstr::Text() const {
  if (!m_bytes) return {};
  const std::string& b = *m_bytes;
  std::u16string text(b.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(static_cast<std::uint8_t>(b[2 * i]) |
                                    (static_cast<std::uint8_t>(b[2 * i + 1]) << 8));
  return text;
}

const std::string& Bstr::Bytes() const noexcept {
  static const std::string kEmpty;
  return m_bytes ? *m_bytes : kEmpty;
}

}  // namespace CV
