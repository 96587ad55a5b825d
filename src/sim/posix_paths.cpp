#include "sim/posix_paths.h"

#include "foundation/ascii.h"
#include "foundation/hresult.h"
#include "foundation/utf.h"

namespace CV::FS {

std::int32_t ToPosix(std::u16string_view path, std::string& out) {
  if (path.find(u'\0') != std::u16string_view::npos || path.empty()) return Win32Error::InvalidName;
  if (path.starts_with(u"\\\\?\\")) {
    path.remove_prefix(4);
    if (StartsWithIgnoreAsciiCase(path, u"UNC\\")) return Win32Error::PathNotFound;
  } else if (path.starts_with(u"\\\\")) {
    return Win32Error::PathNotFound;
  }
  std::u16string mapped;
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':') {
    if (path[0] != u'C' && path[0] != u'c') return Win32Error::PathNotFound;
    path.remove_prefix(2);
    if (path.empty()) mapped = u"/";
    else mapped = path;  // "C:\x" is absolute; "C:x" is relative to the current directory
  } else {
    mapped = path;
  }
  for (char16_t& c : mapped)
    if (c == u'\\') c = u'/';
  out = ToUtf8(mapped);
  return Win32Error::Success;
}

std::u16string ToWindows(const std::string& posix) {
  std::u16string path = u"C:" + FromUtf8(posix);
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  return path;
}

}  // namespace CV::FS
