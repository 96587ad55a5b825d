#include "export/attachment_names.h"

#include <algorithm>
#include <array>

#include "export/html_rewriter.h"
#include "foundation/ascii.h"
#include "foundation/format.h"
#include "foundation/utf.h"

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

std::u16string FitName(std::u16string_view directory, std::u16string_view stem, std::u16string_view tail,
                       const FS::NameLimits& limits) {
  const auto fits = [&](std::u16string_view a, std::u16string_view b) {
    const std::size_t units = a.size() + b.size();
    const std::size_t separator = !directory.empty() && directory.back() != u'\\';
    return units <= limits.nameUnits && directory.size() + separator + units <= limits.pathUnits &&
           Utf8Length(a) + Utf8Length(b) <= limits.nameBytes;
  };
  // One character off the end, a surrogate pair whole.
  const auto shorten = [](std::u16string& text) {
    const bool pair = text.size() >= 2 && IsLowSurrogate(text.back()) && IsHighSurrogate(text[text.size() - 2]);
    text.resize(text.size() - (pair ? 2 : 1));
  };
  std::u16string base(stem), end(tail);
  while (!base.empty() && !fits(base, end)) shorten(base);
  while (!base.empty() && (base.back() == u'.' || base.back() == u' ')) base.pop_back();
  if (base.empty() && !stem.empty()) base = stem.substr(0, IsHighSurrogate(stem[0]) && stem.size() > 1 ? 2 : 1);
  while (end.size() > 1 && !fits(base, end)) shorten(end);
  return base + end;
}

AttachmentFile NextAttachmentFile(std::u16string_view directory, std::u16string_view name,
                                  std::set<std::u16string>& taken, FS::IFileSystem& fs) {
  const FS::NameLimits limits = fs.Limits();
  const std::u16string extension = ExtensionOf(name);
  const std::u16string base(name.substr(0, name.size() - extension.size()));
  for (int n = 0;; ++n) {
    const std::u16string tail = (n == 0 ? u"" : Format(u"(%d)", n)) + extension;
    const std::u16string unique = base + tail;
    const std::u16string onDisk = FitName(directory, base, tail, limits);
    if (taken.count(unique) != 0 || FS::Exists(fs, Join(directory, unique)) ||
        (onDisk != unique && FS::Exists(fs, Join(directory, onDisk))))
      continue;
    taken.insert(unique);
    return {Join(directory, onDisk), unique};
  }
}

}  // namespace CV::Office
