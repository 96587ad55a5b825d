#include "cli/visible_text.h"

#include <cstdint>
#include <cstdio>

namespace CV::Cli {
namespace {

// The length of the UTF-8 sequence at text[at] and its code point; 0 for a
// byte that begins none, or a sequence cut at the end (then cut is set).
std::size_t Sequence(std::string_view text, std::size_t at, char32_t& code, bool& cut) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(at);
  std::size_t length = first < 0x80 ? 1 : (first >> 5) == 6 ? 2 : (first >> 4) == 14 ? 3 : (first >> 3) == 30 ? 4 : 0;
  cut = false;
  if (length == 0) return 0;
  code = length == 1 ? first : first & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if (at + i >= text.size()) {
      cut = true;
      return 0;
    }
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool Hidden(char32_t code) {
  return (code >= 0x80 && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) ||
         code == 0x200E || code == 0x200F || code == 0x061C;
}

std::string Escaped(std::string_view text, bool keepLines) {
  std::string out;
  out.reserve(text.size());
  char buffer[16];
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    bool cut = false;
    const std::size_t length = Sequence(text, at, code, cut);
    if (length == 0) {
      std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned char>(text[at]));
      out += buffer;
      ++at;
      continue;
    }
    if (code == '\n' && keepLines) out += '\n';
    else if (code == '\t' && keepLines) out += '\t';
    else if (code == '\r') out += "\\r";
    else if (code == '\n') out += "\\n";
    else if (code == '\t') out += "\\t";
    else if (code < 0x20 || code == 0x7F) std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(code)), out += buffer;
    else if (Hidden(code)) std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(code)), out += buffer;
    else out.append(text.substr(at, length));
    at += length;
  }
  return out;
}

}  // namespace

std::string Visible(std::string_view text) { return Escaped(text, false); }

std::string VisibleLines(std::string_view text) { return Escaped(text, true); }

std::string VisibleJson(std::string_view piece, std::string& pending) {
  std::string text = pending + std::string(piece);
  pending.clear();
  std::string out;
  out.reserve(text.size());
  char buffer[16];
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    bool cut = false;
    const std::size_t length = Sequence(text, at, code, cut);
    if (cut) {
      pending = text.substr(at);
      break;
    }
    if (length != 0 && Hidden(code)) {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(code));
      out += buffer;
    } else {
      out.append(text, at, length ? length : 1);  // not UTF-8: the JSON reader refused it already
    }
    at += length ? length : 1;
  }
  return out;
}

}  // namespace CV::Cli
