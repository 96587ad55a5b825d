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

namespace CV {

class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Real, Text };

  template <class T>
    requires std::is_integral_v<T>
  FormatArg(T value) noexcept {  // NOLINT(google-explicit-constructor)
    if constexpr (std::is_signed_v<T>) {
      m_kind = Kind::Signed;
      m_signed = value;
    } else {
      m_kind = Kind::Unsigned;
      m_unsigned = value;
    }
  }
  FormatArg(double value) noexcept : m_kind(Kind::Real), m_real(value) {}  // NOLINT
  FormatArg(std::u16string_view text) noexcept : m_kind(Kind::Text), m_text(text) {}  // NOLINT
  FormatArg(const std::u16string& text) noexcept : m_kind(Kind::Text), m_text(text) {}  // NOLINT
  FormatArg(const char16_t* text) noexcept  // NOLINT
      : m_kind(Kind::Text), m_text(text ? std::u16string_view(text) : std::u16string_view(u"(null)")) {}

  Kind kind() const noexcept { return m_kind; }
  std::int64_t AsSigned() const noexcept {
    return m_kind == Kind::Signed ? m_signed : static_cast<std::int64_t>(m_unsigned);
  }
  std::uint64_t AsUnsigned() const noexcept {
    return m_kind == Kind::Unsigned ? m_unsigned : static_cast<std::uint64_t>(m_signed);
  }
  double AsReal() const noexcept { return m_real; }
  std::u16string_view AsText() const noexcept { return m_text; }

 private:
  Kind m_kind;
  std::int64_t m_signed = 0;
  std::uint64_t m_unsigned = 0;
  double m_real = 0.0;
  std::u16string_view m_text;
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
