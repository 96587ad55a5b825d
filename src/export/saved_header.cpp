#include "export/saved_header.h"

#include <array>
#include <cstdint>

#include "foundation/utf.h"

namespace CV::Office {
namespace {

// The fields in the order SaveAs writes them, German and English labels.
enum Field { kFrom, kSent, kTo, kCc, kBcc, kSubject, kImportance, kAttachments, kFields };
constexpr std::array<std::array<std::u16string_view, 2>, kFields> kLabels = {{
    {u"Von:", u"From:"}, {u"Gesendet:", u"Sent:"}, {u"An:", u"To:"}, {u"Cc:", u"Cc:"}, {u"Bcc:", u"Bcc:"},
    {u"Betreff:", u"Subject:"}, {u"Wichtigkeit:", u"Importance:"}, {u"Anlagen:", u"Attachments:"}}};

bool IsBlank(char32_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0 || c == u'\f'; }

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c | 0x20) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// A character reference at text[at] ("&amp;", "&#228;", "&#xE4;"): its
// character and length, or 0 when there is none.
std::size_t Reference(std::u16string_view text, std::size_t at, char32_t& out) {
  static constexpr std::pair<std::u16string_view, char32_t> kNamed[] = {
      {u"&nbsp;", 0xA0}, {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
  for (const auto& [name, c] : kNamed)
    if (EqualsIgnoringAsciiCase(text.substr(at, name.size()), name)) return out = c, name.size();
  if (text.substr(at, 2) != u"&#") return 0;
  std::size_t i = at + 2;
  const bool hex = i < text.size() && (text[i] == u'x' || text[i] == u'X');
  i += hex;
  char32_t value = 0;
  const std::size_t digits = i;
  for (; i < text.size() && i - digits < 8; ++i) {
    const char16_t c = text[i];
    const int d = c >= u'0' && c <= u'9' ? c - u'0' : hex && (c | 0x20) >= u'a' && (c | 0x20) <= u'f' ? (c | 0x20) - u'a' + 10 : -1;
    if (d < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
  }
  if (i == digits || i >= text.size() || text[i] != u';' || value > 0x10FFFF) return 0;
  out = value;
  return i + 1 - at;
}

void Append(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

// Bytes as a reader takes them: UTF-8 where they are that, else windows-1252.
std::u16string FromBytes(const std::string& bytes) {
  if (IsUtf8(bytes)) return FromUtf8(bytes);
  return FromWindows1252(bytes);
}

std::u16string Folded(std::u16string_view text) {
  std::u16string out;
  bool blank = false;
  for (char16_t c : text) {
    if (IsBlank(c)) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += u' ';
    blank = false;
    out += c;
  }
  return out;
}

}  // namespace

std::u16string VisibleText(std::u16string_view units, bool eightBit) {
  // Markup and references first, on the code units as they stand; eight-bit
  // runs are read as text afterwards, so a reference never splits one.
  std::u16string text;
  std::string bytes;
  const auto flush = [&] {
    if (!bytes.empty()) text += FromBytes(bytes), bytes.clear();
  };
  bool inTag = false;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (inTag) {
      inTag = c != u'>';
      continue;
    }
    if (c == u'<') {  // a tag parts no words: Word splits them with spans
      inTag = true;
      continue;
    }
    char32_t referenced = 0;
    if (c == u'&') {
      if (const std::size_t length = Reference(units, i, referenced)) {
        flush();
        Append(text, referenced);
        i += length - 1;
        continue;
      }
    }
    if (eightBit && c < 0x100) bytes += static_cast<char>(c);
    else flush(), text += c;
  }
  flush();
  return Folded(text);
}

bool HeaderBlockMatcher::Next(std::u16string_view text, bool oneLine) {
  if (m_ended) return false;
  const auto present = [&](int field) {
    switch (field) {
      case kCc: return !m_header.cc.empty();
      case kBcc: return !m_header.bcc.empty();
      case kImportance: return m_header.importance;
      case kAttachments: return m_header.attachments;
      default: return true;
    }
  };
  while (m_field < kFields && !present(m_field)) ++m_field;
  if (!oneLine || m_field == kFields) return !(m_ended = true);
  const std::u16string* known = m_field == kFrom      ? &m_header.from
                                : m_field == kTo      ? &m_header.to
                                : m_field == kCc      ? &m_header.cc
                                : m_field == kBcc     ? &m_header.bcc
                                : m_field == kSubject ? &m_header.subject
                                                      : nullptr;
  for (int language = 0; language < 2; ++language) {
    if (m_language >= 0 && language != m_language) continue;
    const std::u16string_view label = kLabels[static_cast<std::size_t>(m_field)][static_cast<std::size_t>(language)];
    if (text.size() < label.size() || !EqualsIgnoringAsciiCase(text.substr(0, label.size()), label)) continue;
    if (known && Folded(text.substr(label.size())) != Folded(*known)) continue;
    m_language = language;
    ++m_field;
    return true;
  }
  return !(m_ended = true);
}

}  // namespace CV::Office
