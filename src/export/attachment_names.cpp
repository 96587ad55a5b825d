#include "export/attachment_names.h"

#include <algorithm>
#include <array>

#include "export/html_rewriter.h"
#include "foundation/ascii.h"
#include "foundation/format.h"

namespace CV::Office {
namespace {

constexpr std::size_t kMaxName = 200;

bool IsForbidden(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*';
}

bool IsReservedDevice(std::u16string_view name) {
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
  static constexpr std::array<std::u16string_view, 4> kPlain = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (std::u16string_view device : kPlain)
    if (EqualsIgnoreAsciiCase(stem, device)) return true;
  if (stem.size() == 4 && stem[3] >= u'1' && stem[3] <= u'9')
    return EqualsIgnoreAsciiCase(stem.substr(0, 3), u"COM") || EqualsIgnoreAsciiCase(stem.substr(0, 3), u"LPT");
  return false;
}

std::u16string Join(std::u16string_view directory, std::u16string_view name) {
  std::u16string path(directory);
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  return path + std::u16string(name);
}

}  // namespace

std::u16string SafeAttachmentName(std::u16string_view raw) {
  const std::size_t separator = raw.find_last_of(u"/\\");
  std::u16string name(separator == std::u16string_view::npos ? raw : raw.substr(separator + 1));
  std::replace_if(name.begin(), name.end(), IsForbidden, u'_');
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
  if (IsReservedDevice(name)) name.insert(0, 1, u'_');
  if (name.size() > kMaxName) {
    std::u16string extension = ExtensionOf(name);
    if (extension.size() > kMaxName / 2) extension.clear();  // an "extension" that long is part of the name
    std::size_t keep = kMaxName - extension.size();
    if (keep > 0 && name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) --keep;  // never half a character
    name = name.substr(0, keep) + extension;
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
  }
  return name.empty() ? u"Anhang" : name;
}

std::u16string UniqueAttachmentPath(std::u16string_view directory, std::u16string_view name, FS::IFileSystem& fs) {
  std::u16string target = Join(directory, name);
  const std::u16string extension = ExtensionOf(name);
  const std::u16string base(name.substr(0, name.size() - extension.size()));
  for (int n = 1; FS::Exists(fs, target); ++n)
    target = Join(directory, Format(u"%s(%d)%s", base, n, ExtensionOf(target)));
  return target;
}

}  // namespace CV::Office
