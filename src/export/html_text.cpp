#include "export/html_text.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/com_error.h"

namespace CV::Office {
namespace {

constexpr bool IsAsciiLetter(char16_t c) { return (c | 0x20) >= u'a' && (c | 0x20) <= u'z'; }

template <class C>
constexpr bool IsWhite(C c) {
  return c == C(' ') || c == C('\t') || c == C('\n') || c == C('\r') || c == C('\v') || c == C('\f');
}

// A marker or name prepared for comparison ignoring ASCII letter case.
template <class C>
class Pattern {
 public:
  explicit Pattern(std::u16string_view text) : m_text(Units<C>(text)), m_folded(m_text) {
    for (auto& c : m_folded)
      if (IsAsciiLetter(c)) c = static_cast<C>(c | 0x20);
  }
  std::size_t Size() const { return m_text.size(); }
  const HtmlString<C>& Text() const { return m_text; }
  const HtmlString<C>& Folded() const { return m_folded; }
  // at must have Size() code units.
  bool MatchesAt(const C* at) const {
    for (std::size_t j = 0; j < m_folded.size(); ++j) {
      const C f = m_folded[j];
      const C c = at[j];
      if (c != f && !(IsAsciiLetter(f) && c < 0x80 && static_cast<C>(c | 0x20) == f)) return false;
    }
    return true;
  }

 private:
  HtmlString<C> m_text;
  HtmlString<C> m_folded;
};

// The next code unit equal to the ASCII character c, or end.
const Byte* FindUnit(const Byte* p, const Byte* end, Byte c) {
  const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
  return hit ? static_cast<const Byte*>(hit) : end;
}

const Unit16* FindUnit(const Unit16* p, const Unit16* end, Unit16 c) {
  // The low byte is found with memchr; a hit counts where it starts a code
  // unit whose high byte is zero.
  const auto* bytes = reinterpret_cast<const Byte*>(p);
  const auto* stop = reinterpret_cast<const Byte*>(end);
  for (;;) {
    const void* hit = std::memchr(bytes, static_cast<Byte>(c), static_cast<std::size_t>(stop - bytes));
    if (!hit) return end;
    const auto* at = static_cast<const Byte*>(hit);
    const std::size_t offset = static_cast<std::size_t>(at - reinterpret_cast<const Byte*>(p));
    if (offset % 2 == 0 && at + 1 < stop && at[1] == 0) return p + offset / 2;
    bytes = at + 1;
  }
}

// Candidates for a marker of two or more code units: positions before end
// whose unit is first and whose next unit is second (an ASCII letter in
// either case when fold is 0x20). limit is the end of readable text; a
// candidate still has to be matched in full.
#if defined(__SSE2__)
template <class C>
struct Lanes;
template <>
struct Lanes<Byte> {
  static constexpr std::size_t kCount = 16;
  static __m128i Splat(Byte c) { return _mm_set1_epi8(static_cast<char>(c)); }
  static __m128i Equal(__m128i a, __m128i b) { return _mm_cmpeq_epi8(a, b); }
  static unsigned Mask(__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); }
  static unsigned Step() { return 1; }
};
template <>
struct Lanes<Unit16> {
  static constexpr std::size_t kCount = 8;
  static __m128i Splat(Unit16 c) { return _mm_set1_epi16(static_cast<short>(c)); }
  static __m128i Equal(__m128i a, __m128i b) { return _mm_cmpeq_epi16(a, b); }
  static unsigned Mask(__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)) & 0x5555u; }
  static unsigned Step() { return 2; }  // two mask bits per code unit
};
#endif

template <class C>
const C* FindPair(const C* p, const C* end, const C* limit, C first, C second, C fold) {
#if defined(__SSE2__)
  using L = Lanes<C>;
  const __m128i v0 = L::Splat(first), v1 = L::Splat(second), vf = L::Splat(fold);
  while (p + L::kCount + 1 <= limit && p < end) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    unsigned mask = L::Mask(_mm_and_si128(L::Equal(a, v0), L::Equal(_mm_or_si128(b, vf), v1)));
    if (mask) {
      const C* at = p + static_cast<unsigned>(__builtin_ctz(mask)) / L::Step();
      return at < end ? at : end;
    }
    p += L::kCount;
  }
#endif
  (void)limit;
  for (; p < end; ++p)
    if (p[0] == first && static_cast<C>(p[1] | fold) == second) return p;
  return end;
}

// The first position at or after from where pattern matches, or length. A
// match may end with the text: the last element of a document counts
// wherever the document ends.
template <class C>
std::size_t FindMarker(const C* text, std::size_t length, std::size_t from, const Pattern<C>& pattern) {
  const std::size_t size = pattern.Size();
  if (size == 0 || size > length) return length;
  const std::size_t last = length - size + 1;  // a match must start before it
  const C* end = text + last;
  const C* p = text + std::min(from, last);
  if (size == 1) {
    const C* hit = FindUnit(p, end, pattern.Text()[0]);
    return hit == end ? length : static_cast<std::size_t>(hit - text);
  }
  const C first = pattern.Folded()[0];  // never a letter
  const C second = pattern.Folded()[1];
  const C fold = IsAsciiLetter(second) ? C(0x20) : C(0);
  for (; p < end; ++p) {
    p = FindPair(p, end, text + length, first, second, fold);
    if (p == end) break;
    if (pattern.MatchesAt(p)) return static_cast<std::size_t>(p - text);
  }
  return length;
}

template <class C>
C* UnitsOf(Data::CBlob& blob) {
  return reinterpret_cast<C*>(blob.Data());
}

}  // namespace

template <class C>
HtmlString<C> Units(std::u16string_view text) {
  HtmlString<C> units(text.size(), C());
  for (std::size_t i = 0; i < text.size(); ++i) units[i] = static_cast<C>(text[i]);
  return units;
}

template <class C>
std::u16string Widen(HtmlView<C> text) {
  return std::u16string(text.begin(), text.end());
}

template <class C>
void RemoveElements(Data::CBlob& blob, std::u16string_view start, std::u16string_view end) {
  const Pattern<C> open(std::u16string(u"<") += start), close(std::u16string(end) += u">");
  C* text = UnitsOf<C>(blob);
  const std::size_t length = blob.Size() / sizeof(C);
  std::size_t in = 0, out = 0;
  while (in < length) {
    const std::size_t at = FindMarker(text, length, in, open);
    if (out != in) std::memmove(text + out, text + in, (at - in) * sizeof(C));
    out += at - in;
    if (at == length) break;
    const std::size_t closing = FindMarker(text, length, at + open.Size(), close);
    in = closing == length ? length : closing + close.Size();
  }
  blob.Resize(static_cast<std::uint32_t>(out * sizeof(C)));
}

template <class C>
void ProcessElements(Data::CBlob& blob, const std::function<void(HtmlString<C>&)>& callback, std::u16string_view start,
                     std::u16string_view end, Data::CBlob* scratch) {
  const Pattern<C> open(std::u16string(u"<") += start), close(std::u16string(end) += u">");
  const C* text = UnitsOf<C>(blob);
  const std::size_t length = blob.Size() / sizeof(C);
  std::size_t at = FindMarker(text, length, 0, open);
  if (at == length) return;  // nothing to hand over: the text stays as it is

  Data::CBlob own;
  Data::CBlob& result = scratch ? *scratch : own;
  if (result.Capacity() < blob.Size()) Data::CBlob(blob.Size()).Swap(result);
  std::size_t out = 0;
  const auto write = [&](const C* units, std::size_t count) {
    if ((out + count) * sizeof(C) > result.Capacity()) {
      const std::size_t grown = std::max<std::size_t>((out + count) * sizeof(C), 2 * std::size_t{result.Capacity()});
      if (grown > 0xFFFFFFF0u) ThrowComError(E_OUTOFMEMORY);
      result.Resize(static_cast<std::uint32_t>(grown));
    }
    std::memcpy(UnitsOf<C>(result) + out, units, count * sizeof(C));
    out += count;
  };
  HtmlString<C> stretch;
  std::size_t in = 0;
  while (at != length) {
    write(text + in, at - in);
    const std::size_t body = at + open.Size();
    const std::size_t closing = FindMarker(text, length, body, close);
    if (closing == length) {
      in = at;  // never closed: kept as it stands, with everything after it
      break;
    }
    stretch.assign(open.Text());
    stretch.append(text + body, closing - body);
    stretch.append(close.Text());
    callback(stretch);
    write(stretch.data(), stretch.size());
    in = closing + close.Size();
    at = FindMarker(text, length, in, open);
  }
  write(text + in, length - in);
  result.Resize(static_cast<std::uint32_t>(out * sizeof(C)));
  blob.Swap(result);
}

// Characters that end an attribute's name in a tag.
template <class C>
bool EndsName(C c) {
  return IsWhite(c) || c == C('=') || c == C('>') || c == C('/');
}

template <class C>
std::ptrdiff_t FindAttributeValue(HtmlView<C> tag, std::u16string_view name, std::size_t& length) {
  const Pattern<C> pattern(name);
  const std::size_t n = tag.size();
  if (pattern.Size() == 0) return -1;
  // The attributes of the tag that begins the text, one after the other:
  // "src" is neither found in "data-src" nor in a value such as title=src.
  std::size_t i = tag.empty() || tag[0] != C('<') ? 0 : 1;
  while (i < n && !EndsName(tag[i])) ++i;  // the tag's own name
  for (;;) {
    while (i < n && (IsWhite(tag[i]) || tag[i] == C('/'))) ++i;
    if (i >= n || tag[i] == C('>')) return -1;
    const std::size_t nameAt = i;
    while (i < n && !EndsName(tag[i])) ++i;
    const bool match = i - nameAt == pattern.Size() && pattern.MatchesAt(tag.data() + nameAt);
    std::size_t j = i;
    while (j < n && IsWhite(tag[j])) ++j;
    if (j == n || tag[j] != C('=')) {
      if (match) return -1;  // an attribute without a value has none
      continue;
    }
    ++j;
    while (j < n && IsWhite(tag[j])) ++j;
    std::size_t value = j, valueLength = 0;
    if (j < n && (tag[j] == C('"') || tag[j] == C('\''))) {
      value = j + 1;
      const std::size_t quote = tag.find(tag[j], value);
      valueLength = quote == HtmlView<C>::npos ? 0 : quote - value;
      i = quote == HtmlView<C>::npos ? n : quote + 1;
    } else {
      std::size_t k = j;
      while (k < n && !IsWhite(tag[k]) && tag[k] != C('>')) ++k;
      valueLength = k - j;
      i = k;
    }
    if (match) {
      length = valueLength;
      return static_cast<std::ptrdiff_t>(value);
    }
  }
}

template <class C>
HtmlString<C> GetAttribute(HtmlView<C> tag, std::u16string_view name) {
  std::size_t length = 0;
  const std::ptrdiff_t at = FindAttributeValue(tag, name, length);
  if (at < 0) return {};
  return HtmlString<C>(tag.substr(static_cast<std::size_t>(at), length));
}

template <class C>
void SetAttribute(HtmlString<C>& tag, std::u16string_view name, HtmlView<C> value) {
  HtmlString<C> quoted(1, C('\''));
  quoted += value;
  std::replace(quoted.begin() + 1, quoted.end(), C('\''), C('"'));
  quoted += C('\'');
  std::size_t length = 0;
  const std::ptrdiff_t found = FindAttributeValue(HtmlView<C>(tag), name, length);
  if (found >= 0) {
    auto at = static_cast<std::size_t>(found);
    if (at > 0 && (tag[at - 1] == C('"') || tag[at - 1] == C('\''))) {
      --at;
      length += 2;  // the value with both its quotes
    }
    tag.replace(at, std::min(length, tag.size() - at), quoted);
    return;
  }
  std::size_t at = tag.size();
  if (tag.size() >= 2 && tag[tag.size() - 2] == C('/') && tag.back() == C('>')) at -= 2;
  else if (!tag.empty() && tag.back() == C('>')) at -= 1;
  tag.insert(at, Units<C>(u" ") + Units<C>(name) + C('=') + quoted);
}

std::set<std::u16string> PictureContentIds(std::u16string_view html) {
  std::set<std::u16string> ids;
  const Pattern<Unit16> img(u"<img"), imagedata(u"<v:imagedata");
  for (std::size_t at = html.find(u'<'); at != std::u16string_view::npos; at = html.find(u'<', at + 1)) {
    const bool picture = (html.size() - at > 4 && img.MatchesAt(html.data() + at) && EndsName(html[at + 4])) ||
                         (html.size() - at > 12 && imagedata.MatchesAt(html.data() + at) && EndsName(html[at + 12]));
    if (!picture) continue;
    const std::size_t end = html.find(u'>', at);
    const HtmlView<Unit16> tag = html.substr(at, end == std::u16string_view::npos ? std::u16string_view::npos : end - at + 1);
    const HtmlString<Unit16> src = GetAttribute<Unit16>(tag, u"src");
    if (src.size() > 4 && (src[0] | 0x20) == u'c' && (src[1] | 0x20) == u'i' && (src[2] | 0x20) == u'd' && src[3] == u':')
      ids.insert(src.substr(4));
  }
  return ids;
}

#define CV_HTML_TEXT_FOR(C)                                                                                          \
  template HtmlString<C> Units<C>(std::u16string_view);                                                             \
  template std::u16string Widen<C>(HtmlView<C>);                                                                    \
  template void RemoveElements<C>(Data::CBlob&, std::u16string_view, std::u16string_view);                          \
  template void ProcessElements<C>(Data::CBlob&, const std::function<void(HtmlString<C>&)>&, std::u16string_view,   \
                                   std::u16string_view, Data::CBlob*);                                              \
  template std::ptrdiff_t FindAttributeValue<C>(HtmlView<C>, std::u16string_view, std::size_t&);                    \
  template HtmlString<C> GetAttribute<C>(HtmlView<C>, std::u16string_view);                                        \
  template void SetAttribute<C>(HtmlString<C>&, std::u16string_view, HtmlView<C>);

CV_HTML_TEXT_FOR(Byte)
CV_HTML_TEXT_FOR(Unit16)

}  // namespace CV::Office
