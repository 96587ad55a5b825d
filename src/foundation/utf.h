// Conversions between the system's UTF-16 strings and UTF-8, for output,
// file names and tests. Unpaired surrogates and invalid bytes become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace CV {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
// ASCII only (format conversions, numbers): each byte becomes one code unit.
std::u16string WidenAscii(std::string_view text);
// windows-1252 bytes; its five unassigned bytes become the C1 controls of
// the same value, as readers show them.
std::u16string FromWindows1252(std::string_view bytes);

constexpr bool IsHighSurrogate(char16_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }
// Whether text is UTF-8 that FromUtf8 reads without a replacement: no
// stray, overlong or truncated sequence, no surrogate, nothing past U+10FFFF.
bool IsUtf8(std::string_view text) noexcept;
// The length of ToUtf8(text) without making it.
std::size_t Utf8Length(std::u16string_view text) noexcept;

}  // namespace CV
