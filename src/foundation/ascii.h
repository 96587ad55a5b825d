// ASCII character rules on UTF-16 text: the comparisons the system makes
// ignoring case (resource names, path prefixes, markers) only ever involve
// ASCII letters.
#pragma once

#include <string_view>

namespace CV {

constexpr char16_t AsciiUpper(char16_t c) noexcept { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
constexpr bool IsAsciiLetter(char16_t c) noexcept { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
// Blank, tab, line feed, vertical tab, form feed, carriage return.
constexpr bool IsAsciiSpace(char16_t c) noexcept { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

constexpr bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

constexpr bool StartsWithIgnoreAsciiCase(std::u16string_view text, std::u16string_view prefix) noexcept {
  return text.size() >= prefix.size() && EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace CV
