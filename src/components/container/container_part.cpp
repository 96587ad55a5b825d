#include "components/container/container_part.h"

#include "foundation/hresult.h"

namespace CV::Components {

std::u16string_view FolderOf(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

std::u16string_view NameOf(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string NumberedPath(std::u16string_view target, int n) {
  const std::size_t nameAt = target.size() - NameOf(target).size();
  std::size_t dot = target.find_last_of(u'.');
  if (dot == std::u16string_view::npos || dot <= nameAt) dot = target.size();  // no extension
  std::u16string path(target.substr(0, dot));
  path += u" (";
  for (char c : std::to_string(n)) path += static_cast<char16_t>(c);
  path += u')';
  path += target.substr(dot);
  return path;
}

std::u16string PartPathFor(std::u16string_view target, std::uint32_t number) {
  std::u16string path(FolderOf(target));
  if (!path.empty()) path += u'\\';
  path += u'.';
  path += NameOf(target);
  path += u".part-";
  for (char c : std::to_string(number)) path += static_cast<char16_t>(c);
  return path;
}

bool IsContainerPart(std::u16string_view name) {
  const std::size_t part = name.rfind(u".part-");
  if (name.size() < 2 || name[0] != u'.' || part == std::u16string_view::npos || part < 2) return false;
  const std::u16string_view digits = name.substr(part + 6);
  if (digits.empty()) return false;
  for (char16_t c : digits)
    if (c < u'0' || c > u'9') return false;
  return true;
}

bool OwnerGone(FS::IFileSystem& fs, std::u16string_view file) {
  return fs.ProbeLock(file, kOwnerLockOffset, kOwnerLockLength) == Win32Error::Success;
}

std::vector<std::u16string> RemoveAbandonedParts(FS::IFileSystem& fs, std::u16string_view directory) {
  std::vector<std::u16string> removed;
  const std::u16string folder(directory);
  FS::FindData entry;
  std::unique_ptr<FS::IDirectorySearch> search;
  if (fs.FindFirst(folder + u"\\*", entry, search) != 0) return removed;
  do {
    if ((entry.attributes & FS::Attribute::Directory) || !IsContainerPart(entry.name)) continue;
    const std::u16string path = folder + u"\\" + entry.name;
    if (OwnerGone(fs, path) && fs.RemoveFile(path) == Win32Error::Success) removed.push_back(path);
  } while (search->Next(entry) == 0);
  return removed;
}

}  // namespace CV::Components
