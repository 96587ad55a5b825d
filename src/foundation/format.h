// Guarded printf-style formatting of UTF-16 text.
//
// Each argument is checked against its conversion at run time: a string for
// %s, an integer for %d %i %u %x %X %o %c, a floating-point value for
// %f %e %g. A format that does not fit its arguments (wrong kind, too few,
// too many, an unknown conversion) yields the text
// "Ungültige Parameterliste für Formattext '<format>'." instead.
// Integer conversions take 32 bits unless the length says otherwise
// (h, hh, ll, I64), as on Windows, where long is 32 bits wide.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace CV {

class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Real, Text };  // in the order of the stored alternatives

  template <class T>
    requires std::is_integral_v<T>
  FormatArg(T value) noexcept {  // NOLINT(google-explicit-constructor)
    if constexpr (std::is_signed_v<T>) m_value = static_cast<std::int64_t>(value);
    else m_value = static_cast<std::uint64_t>(value);
  }
  FormatArg(double value) noexcept : m_value(value) {}                       // NOLINT
  FormatArg(std::u16string_view text) noexcept : m_value(text) {}            // NOLINT
  FormatArg(const std::u16string& text) noexcept : m_value(std::u16string_view(text)) {}  // NOLINT
  FormatArg(const char16_t* text) noexcept  // NOLINT
      : m_value(text ? std::u16string_view(text) : std::u16string_view(u"(null)")) {}

  Kind kind() const noexcept { return static_cast<Kind>(m_value.index()); }
  bool IsInteger() const noexcept { return kind() == Kind::Signed || kind() == Kind::Unsigned; }
  // An integer's bits, whatever its signedness.
  std::uint64_t AsUnsigned() const noexcept {
    return kind() == Kind::Signed ? static_cast<std::uint64_t>(std::get<std::int64_t>(m_value))
                                  : std::get<std::uint64_t>(m_value);
  }
  double AsReal() const noexcept { return std::get<double>(m_value); }
  std::u16string_view AsText() const noexcept { return std::get<std::u16string_view>(m_value); }

 private:
  std::variant<std::int64_t, std::uint64_t, double, std::u16string_view> m_value;
};

// Formats; on a mismatch returns false and leaves out unspecified.
bool TryFormatText(std::u16string_view format, std::span<const FormatArg> args, std::u16string& out);

// Formats, or returns the fallback text naming the format. Never throws; only
// when memory runs out is the result empty.
std::u16string FormatText(std::u16string_view format, std::span<const FormatArg> args) noexcept;

template <class... Args>
std::u16string Format(std::u16string_view format, const Args&... args) noexcept {
  const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
  return FormatText(format, list);
}

// The text used when a format does not fit its arguments.
inline constexpr std::u16string_view kInvalidFormatText = u"Ungültige Parameterliste für Formattext '%s'.";

}  // namespace CV
