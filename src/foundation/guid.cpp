#include "foundation/guid.h"

namespace CV {
namespace {

void AppendHex(std::u16string& out, std::uint64_t value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool ReadHex(std::u16string_view text, std::size_t pos, std::size_t digits, std::uint64_t& value) {
  value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int d = HexValue(text[pos + i]);
    if (d < 0) return false;
    value = value * 16 + static_cast<std::uint64_t>(d);
  }
  return true;
}

}  // namespace

std::u16string Guid::ToRegistryForm() const {
  std::u16string out;
  out.reserve(38);
  out.push_back(u'{');
  AppendHex(out, data1, 8);
  out.push_back(u'-');
  AppendHex(out, data2, 4);
  out.push_back(u'-');
  AppendHex(out, data3, 4);
  out.push_back(u'-');
  AppendHex(out, data4[0], 2);
  AppendHex(out, data4[1], 2);
  out.push_back(u'-');
  for (int i = 2; i < 8; ++i) AppendHex(out, data4[static_cast<std::size_t>(i)], 2);
  out.push_back(u'}');
  return out;
}

std::optional<Guid> Guid::Parse(std::u16string_view t) {
  if (t.size() == 38) {
    if (t.front() != u'{' || t.back() != u'}') return std::nullopt;
    t = t.substr(1, 36);
  }
  if (t.size() != 36 || t[8] != u'-' || t[13] != u'-' || t[18] != u'-' || t[23] != u'-') return std::nullopt;
  Guid g;
  std::uint64_t v = 0;
  if (!ReadHex(t, 0, 8, v)) return std::nullopt;
  g.data1 = static_cast<std::uint32_t>(v);
  if (!ReadHex(t, 9, 4, v)) return std::nullopt;
  g.data2 = static_cast<std::uint16_t>(v);
  if (!ReadHex(t, 14, 4, v)) return std::nullopt;
  g.data3 = static_cast<std::uint16_t>(v);
  const std::size_t positions[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (std::size_t i = 0; i < 8; ++i) {
    if (!ReadHex(t, positions[i], 2, v)) return std::nullopt;
    g.data4[i] = static_cast<std::uint8_t>(v);
  }
  return g;
}

}  // namespace CV
