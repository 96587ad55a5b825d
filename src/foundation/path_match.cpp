#include "foundation/path_match.h"

#include "foundation/ascii.h"

namespace CV::FS {
namespace {

// Iterative wildcard match with one backtrack point: linear in practice and
// never recursive, whatever the mask.
bool MatchMask(std::u16string_view text, std::u16string_view mask) {
  std::size_t t = 0, m = 0;
  std::size_t starMask = std::u16string_view::npos, starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && (mask[m] == u'?' || AsciiUpper(mask[m]) == AsciiUpper(text[t]))) {
      ++t;
      ++m;
    } else if (m < mask.size() && mask[m] == u'*') {
      starMask = m++;
      starText = t;
    } else if (starMask != std::u16string_view::npos) {
      m = starMask + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

}  // namespace

bool PathMatchSpec(std::u16string_view path, std::u16string_view masks) {
  if (masks == u"*.*") return true;
  while (!masks.empty()) {
    while (!masks.empty() && masks.front() == u' ') masks.remove_prefix(1);
    const std::size_t semi = masks.find(u';');
    const std::u16string_view mask = masks.substr(0, semi);
    if (!mask.empty() && MatchMask(path, mask)) return true;
    if (semi == std::u16string_view::npos) break;
    masks.remove_prefix(semi + 1);
  }
  return false;
}

}  // namespace CV::FS
