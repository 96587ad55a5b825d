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

// The first position at or after from where pattern matches and ends before
// the last code unit of the text, or length.
template <class C>
std::size_t FindMarker(const C* text, std::size_t length, std::size_t from, const Pattern<C>& pattern) {
  const std::size_t size = pattern.Size();
  if (size == 0 || size >= length) return length;
  const std::size_t last = length - size;  // a match must start before it
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
      in = length;  // not closed: nothing more is written
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

template <class C>
std::ptrdiff_t FindAttributeValue(HtmlView<C> tag, std::u16string_view name, std::size_t& length) {
  const Pattern<C> pattern(name);
  const std::size_t n = tag.size();
  if (pattern.Size() == 0 || n <= pattern.Size()) return -1;
  std::size_t i = 0;
  while (i < n - pattern.Size() && !pattern.MatchesAt(tag.data() + i)) ++i;
  if (i == n - pattern.Size()) return -1;
  std::size_t j = tag.find(C('='), i + pattern.Size());
  if (j == HtmlView<C>::npos) ThrowComError(E_INVALIDARG);
  ++j;
  while (j < n && IsWhite(tag[j])) ++j;
  if (j < n && (tag[j] == C('"') || tag[j] == C('\''))) {
    const std::size_t value = j + 1;
    const std::size_t quote = tag.find(tag[j], value);
    length = quote == HtmlView<C>::npos ? 0 : quote - value;
    return static_cast<std::ptrdiff_t>(value);
  }
  std::size_t k = j;
  while (k < n && !IsWhite(tag[k]) && tag[k] != C('>')) ++k;
  if (k == n) ThrowComError(E_INVALIDARG);
  length = k - j;
  return static_cast<std::ptrdiff_t>(j);
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
