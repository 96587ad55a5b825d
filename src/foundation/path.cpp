#include "foundation/path.h"

#include <optional>
#include <vector>

#include "foundation/ascii.h"
#include "foundation/exception.h"
#include "foundation/format.h"

namespace CV::FS {
namespace {

constexpr std::u16string_view kSource = u"CV::FS::CPath::GetLongPath";


// The text between the first and the last double quote; the text itself when
// it has none; nullopt for nested or unbalanced quotes.
std::optional<std::u16string> RemoveQuotes(std::u16string_view path) {
  const std::size_t first = path.find(u'"');
  if (first == std::u16string_view::npos) return std::u16string(path);
  const std::u16string_view rest = path.substr(first + 1);
  const std::size_t last = rest.rfind(u'"');
  if (last == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view taken = rest.substr(0, last);
  if (taken.find(u'"') != std::u16string_view::npos) return std::nullopt;
  return std::u16string(taken);
}

void ReplaceSlashes(std::u16string& s) {
  for (char16_t& c : s)
    if (c == u'/') c = u'\\';
}

// Where the walkable segments start: after the prefix and the segment that
// follows it (the drive, or the server), or at 0 for unprefixed paths.
std::size_t CanonicalStart(const std::u16string& path) {
  std::size_t start = 0;
  if (StartsWithIgnoreAsciiCase(path, kNetworkPrefix)) start = 8;
  else if (path.starts_with(kLocalPrefix)) start = 4;
  else return 0;
  const std::size_t slash = path.find(u'\\', start);
  return slash == std::u16string::npos ? path.size() : slash;
}

void Canonicalize(std::u16string& path) {
  const std::size_t root = CanonicalStart(path);
  const bool rooted = root != 0;
  for (bool again = true; again;) {
    again = false;
    // Segments after root, each as [begin, end) of its text; begin - 1 is its backslash
    // (except for the first segment of an unprefixed path).
    std::vector<std::pair<std::size_t, std::size_t>> segments;
    std::size_t pos = root;
    if (!rooted) {
      const std::size_t end = path.find(u'\\');
      segments.emplace_back(0, end == std::u16string::npos ? path.size() : end);
      pos = segments.back().second;
    }
    while (pos < path.size()) {  // path[pos] == '\'
      const std::size_t begin = pos + 1;
      const std::size_t end = std::min(path.find(u'\\', begin), path.size());
      segments.emplace_back(begin, end);
      pos = end;
    }
    for (std::size_t k = 0; k < segments.size(); ++k) {
      const auto [begin, end] = segments[k];
      const std::u16string_view seg = std::u16string_view(path).substr(begin, end - begin);
      // The range to erase, with the backslash in front (or behind, at the start).
      auto erase = [&](std::size_t from, std::size_t to) {
        if (from > 0) --from;
        else if (to < path.size()) ++to;
        path.erase(from, to - from);
      };
      if (seg == u".") {
        erase(begin, end);
        again = true;
        break;
      }
      if (seg == u"..") {
        if (k > 0) {
          const auto [pbegin, pend] = segments[k - 1];
          if (std::u16string_view(path).substr(pbegin, pend - pbegin) == u"..") continue;
          erase(pbegin, end);
        } else if (rooted) {
          erase(begin, end);  // nothing above the root
        } else {
          continue;  // a relative path may begin with ".."
        }
        again = true;
        break;
      }
    }
  }
}

}  // namespace

CPath::CPath(std::u16string_view path, IFileSystem& fs) : m_path(GetLongPath(path, fs)) {}

std::u16string CPath::GetLongPath(std::u16string_view given, IFileSystem& fs) {
  std::optional<std::u16string> unquoted = RemoveQuotes(given);
  if (!unquoted)
    Throw(kSource, E_INVALIDARG, Format(u"Ungültiger Pfad mit verschachtelten Anführungszeichen: %s", given));
  std::u16string path = std::move(*unquoted);

  ReplaceSlashes(path);
  std::size_t b = 0, e = path.size();
  while (b < e && IsAsciiSpace(path[b])) ++b;
  while (e > b && IsAsciiSpace(path[e - 1])) --e;
  path = path.substr(b, e - b);

  std::int32_t error = 0;
  const std::uint32_t needed = fs.LongPathName(path, {}, error);
  if (needed != 0) {
    std::u16string buffer(static_cast<std::size_t>(needed) + 1, u'\0');
    const std::uint32_t written = fs.LongPathName(path, buffer, error);
    if (written == 0 || written > needed)
      Throw(kSource, E_UNEXPECTED,
            Format(u"Fehler beim Ermitteln des langen Dateinamens mit GetLongPathNameW für: %s", path));
    buffer.resize(written);
    path = std::move(buffer);
  }

  if (path.starts_with(kLocalPrefix)) return path;
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':') {
    if (path.size() == 2) path += u'\\';
    return std::u16string(kLocalPrefix) + path;
  }
  if (path.starts_with(u"\\\\")) return std::u16string(kNetworkPrefix) + path.substr(2);
  if (path.starts_with(u"\\")) {
    std::u16string current;
    if (const std::int32_t err = fs.CurrentDirectory(current); err != 0) Throw(kSource, HResultFromWin32(err), path);
    return std::u16string(kLocalPrefix) + current.substr(0, 2) + path;
  }
  if (path.size() > kMaxRelativePath)
    Throw(kSource, E_INVALIDARG, Format(u"Ungültiger relativer Pfad länger als MAX_PATH - 12 Zeichen: %s", given));
  return path;
}

CPath& CPath::Append(std::u16string_view given) {
  std::optional<std::u16string> unquoted = RemoveQuotes(given);
  if (!unquoted) return *this;
  std::u16string part = std::move(*unquoted);
  while (!part.empty() && IsAsciiSpace(part.back())) part.pop_back();
  ReplaceSlashes(part);
  const std::size_t first = part.find_first_not_of(u'\\');
  if (first == std::u16string::npos) return *this;
  part.erase(0, first);
  if (!m_path.empty() && m_path.back() != u'\\') m_path += u'\\';
  m_path += part;
  Canonicalize(m_path);
  return *this;
}

bool CPath::HasLocalPrefix() const noexcept { return m_path.size() >= 4 && m_path.starts_with(kLocalPrefix); }

bool CPath::HasNetworkPrefix() const noexcept {
  return StartsWithIgnoreAsciiCase(m_path, kNetworkPrefix);
}

std::u16string CPath::StringWithoutPrefix() const {
  if (HasNetworkPrefix()) return u"\\\\" + m_path.substr(8);
  if (HasLocalPrefix()) return m_path.substr(4);
  return m_path;
}

bool CPath::RemoveFileName() {
  if (HasNetworkPrefix()) {
    const std::size_t afterServer = m_path.find(u'\\', 8);
    if (afterServer == std::u16string::npos || m_path.find(u'\\', afterServer + 1) == std::u16string::npos)
      return false;
  } else if (HasLocalPrefix()) {
    if (m_path.size() < 8) return false;
  } else {
    return false;
  }
  m_path.resize(m_path.rfind(u'\\') + 1);
  RemoveBackslash();
  return true;
}

void CPath::RemoveBackslash() {
  const std::size_t n = m_path.size();
  if (n > 3 && m_path[n - 1] == u'\\' && m_path[n - 2] != u':') m_path.pop_back();
}

}  // namespace CV::FS
