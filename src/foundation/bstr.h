// Bstr: the value of a BSTR. Null or a byte string; as text its bytes are
// read as UTF-16LE code units. A byte-length BSTR (an HTML file's bytes) may
// have an odd length and travels unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace CV {

class Bstr {
 public:
  Bstr() = default;  // null
  Bstr(std::u16string_view text) : m_bytes(Encode(text)) {}  // NOLINT(google-explicit-constructor)
  Bstr(const char16_t* text) : m_bytes(Encode(text)) {}      // NOLINT(google-explicit-constructor)
  static Bstr FromBytes(const void* data, std::size_t length);

  bool IsNull() const noexcept { return !m_bytes.has_value(); }
  std::size_t ByteLength() const noexcept { return m_bytes ? m_bytes->size() : 0; }
  // Whole code units; a trailing odd byte is not part of the text.
  std::u16string Text() const;
  const std::string& Bytes() const noexcept;

  friend bool operator==(const Bstr& a, const Bstr& b) noexcept { return a.m_bytes == b.m_bytes; }

 private:
  static std::string Encode(std::u16string_view text);
  std::optional<std::string> m_bytes;
};

}  // namespace CV
