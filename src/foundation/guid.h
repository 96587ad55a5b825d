// A GUID value with the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace CV {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  bool IsNull() const noexcept { return *this == Guid{}; }
  friend auto operator<=>(const Guid&, const Guid&) = default;

  // 38 characters with braces, upper-case hex.
  std::u16string ToRegistryForm() const;
  // Accepts the registry form with or without braces, either letter case.
  static std::optional<Guid> Parse(std::u16string_view text);
  // For constants: the text must be a valid GUID, checked at compile time.
  static constexpr Guid FromLiteral(std::string_view text);
};

namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw "not a hex digit";  // compile-time error in a constant expression
}
constexpr std::uint64_t HexField(std::string_view text, std::size_t pos, std::size_t digits) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < digits; ++i) v = v * 16 + static_cast<std::uint64_t>(HexDigit(text[pos + i]));
  return v;
}
}  // namespace detail

constexpr Guid Guid::FromLiteral(std::string_view t) {
  if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
  if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') throw "malformed GUID";
  Guid g;
  g.data1 = static_cast<std::uint32_t>(detail::HexField(t, 0, 8));
  g.data2 = static_cast<std::uint16_t>(detail::HexField(t, 9, 4));
  g.data3 = static_cast<std::uint16_t>(detail::HexField(t, 14, 4));
  g.data4[0] = static_cast<std::uint8_t>(detail::HexField(t, 19, 2));
  g.data4[1] = static_cast<std::uint8_t>(detail::HexField(t, 21, 2));
  for (std::size_t i = 0; i < 6; ++i) g.data4[2 + i] = static_cast<std::uint8_t>(detail::HexField(t, 24 + 2 * i, 2));
  return g;
}

}  // namespace CV
