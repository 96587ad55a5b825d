#include "foundation/format.h"

#include <cstdio>
#include <string>

#include "foundation/utf.h"

namespace CV {
namespace {

constexpr std::size_t kMaxField = 1u << 16;  // width or precision beyond this is refused

struct Conversion {
  std::string flags;
  std::size_t width = 0;
  bool hasPrecision = false;
  std::size_t precision = 0;
  int bits = 32;  // integer width from the length modifier
  char conversion = 0;
};

bool ReadNumber(std::u16string_view f, std::size_t& i, std::size_t& value) {
  value = 0;
  while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
    value = value * 10 + static_cast<std::size_t>(f[i] - u'0');
    if (value > kMaxField) return false;
    ++i;
  }
  return true;
}

// Parses the conversion after a '%' at f[i - 1]; i ends after the conversion letter.
bool ParseConversion(std::u16string_view f, std::size_t& i, Conversion& conv) {
  while (i < f.size() && (f[i] == u'-' || f[i] == u'+' || f[i] == u' ' || f[i] == u'#' || f[i] == u'0')) {
    conv.flags.push_back(static_cast<char>(f[i]));
    ++i;
  }
  if (!ReadNumber(f, i, conv.width)) return false;
  if (i < f.size() && f[i] == u'.') {
    ++i;
    conv.hasPrecision = true;
    if (!ReadNumber(f, i, conv.precision)) return false;
  }
  if (i < f.size() && f[i] == u'h') {
    ++i;
    conv.bits = 16;
    if (i < f.size() && f[i] == u'h') { ++i; conv.bits = 8; }
  } else if (i < f.size() && f[i] == u'l') {
    ++i;
    if (i < f.size() && f[i] == u'l') { ++i; conv.bits = 64; }
  } else if (f.substr(i, 3) == u"I64") {
    i += 3;
    conv.bits = 64;
  } else if (f.substr(i, 3) == u"I32") {
    i += 3;
  }
  if (i >= f.size()) return false;
  const char16_t c = f[i++];
  if (c > 0x7F) return false;
  conv.conversion = static_cast<char>(c);
  return true;
}

std::string NarrowFormat(const Conversion& conv, const char* length) {
  std::string s = "%" + conv.flags;
  if (conv.width) s += std::to_string(conv.width);
  if (conv.hasPrecision) s += "." + std::to_string(conv.precision);
  s += length;
  s.push_back(conv.conversion);
  return s;
}

template <class T>
void AppendPrintf(std::u16string& out, const std::string& format, T value) {
  const int n = std::snprintf(nullptr, 0, format.c_str(), value);
  if (n <= 0) return;
  std::string buffer(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(buffer.data(), buffer.size(), format.c_str(), value);
  buffer.resize(static_cast<std::size_t>(n));
  out += WidenAscii(buffer);
}

void AppendPadded(std::u16string& out, std::u16string_view text, const Conversion& conv) {
  const bool left = conv.flags.find('-') != std::string::npos;
  const std::size_t pad = conv.width > text.size() ? conv.width - text.size() : 0;
  if (!left) out.append(pad, u' ');
  out.append(text);
  if (left) out.append(pad, u' ');
}

bool AppendInteger(std::u16string& out, const Conversion& conv, const FormatArg& arg) {
  if (!arg.IsInteger()) return false;
  const bool isSigned = conv.conversion == 'd' || conv.conversion == 'i';
  const std::uint64_t raw = arg.AsUnsigned();
  switch (conv.bits) {
    case 8:
      isSigned ? AppendPrintf(out, NarrowFormat(conv, "hh"), static_cast<int>(static_cast<std::int8_t>(raw)))
               : AppendPrintf(out, NarrowFormat(conv, "hh"), static_cast<unsigned>(static_cast<std::uint8_t>(raw)));
      break;
    case 16:
      isSigned ? AppendPrintf(out, NarrowFormat(conv, "h"), static_cast<int>(static_cast<std::int16_t>(raw)))
               : AppendPrintf(out, NarrowFormat(conv, "h"), static_cast<unsigned>(static_cast<std::uint16_t>(raw)));
      break;
    case 64:
      isSigned ? AppendPrintf(out, NarrowFormat(conv, "ll"), static_cast<long long>(raw))
               : AppendPrintf(out, NarrowFormat(conv, "ll"), static_cast<unsigned long long>(raw));
      break;
    default:
      isSigned ? AppendPrintf(out, NarrowFormat(conv, ""), static_cast<int>(static_cast<std::int32_t>(raw)))
               : AppendPrintf(out, NarrowFormat(conv, ""), static_cast<unsigned>(static_cast<std::uint32_t>(raw)));
      break;
  }
  return true;
}

}  // namespace

bool TryFormatText(std::u16string_view f, std::span<const FormatArg> args, std::u16string& out) {
  out.clear();
  std::size_t next = 0;
  for (std::size_t i = 0; i < f.size();) {
    if (f[i] != u'%') {
      out.push_back(f[i++]);
      continue;
    }
    ++i;
    if (i < f.size() && f[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    Conversion conv;
    if (!ParseConversion(f, i, conv)) return false;
    if (next >= args.size()) return false;
    const FormatArg& arg = args[next++];
    switch (conv.conversion) {
      case 'd': case 'i': case 'u': case 'x': case 'X': case 'o':
        if (!AppendInteger(out, conv, arg)) return false;
        break;
      case 'c': {
        if (!arg.IsInteger()) return false;
        const char16_t ch = static_cast<char16_t>(arg.AsUnsigned());
        AppendPadded(out, std::u16string_view(&ch, 1), conv);
        break;
      }
      case 's': {
        if (arg.kind() != FormatArg::Kind::Text || conv.bits != 32) return false;
        std::u16string_view text = arg.AsText();
        if (conv.hasPrecision && conv.precision < text.size()) text = text.substr(0, conv.precision);
        AppendPadded(out, text, conv);
        break;
      }
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G':
        if (arg.kind() != FormatArg::Kind::Real || conv.bits != 32) return false;
        AppendPrintf(out, NarrowFormat(conv, ""), arg.AsReal());
        break;
      default:
        return false;
    }
  }
  return next == args.size();
}

std::u16string FormatText(std::u16string_view format, std::span<const FormatArg> args) noexcept {
  try {
    std::u16string out;
    if (TryFormatText(format, args, out)) return out;
    const FormatArg fallbackArgs[] = {FormatArg(format)};
    TryFormatText(kInvalidFormatText, fallbackArgs, out);
    return out;
  } catch (...) {
    return {};
  }
}

}  // namespace CV
