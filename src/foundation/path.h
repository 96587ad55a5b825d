// CV::FS::CPath: a path in long-path form ("\\?\C:\..." or "\\?\UNC\...").
#pragma once

#include <string>
#include <string_view>

#include "foundation/file_system.h"

namespace CV::FS {

inline constexpr std::u16string_view kLocalPrefix = u"\\\\?\\";
inline constexpr std::u16string_view kNetworkPrefix = u"\\\\?\\UNC\\";
inline constexpr std::size_t kMaxRelativePath = 248;  // MAX_PATH - 12

class CPath {
 public:
  CPath() = default;
  // Stores GetLongPath of path; throws CV::CException like it.
  explicit CPath(std::u16string_view path, IFileSystem& fs = DefaultFileSystem());

  // Quotes removed, "/" made "\", white space trimmed, short names expanded,
  // the long-path prefix added. Throws CV::CException (source
  // "CV::FS::CPath::GetLongPath") for nested quotes and relative paths over
  // 248 characters (E_INVALIDARG) and when the long name cannot be read
  // after its length was (E_UNEXPECTED).
  static std::u16string GetLongPath(std::u16string_view path, IFileSystem& fs = DefaultFileSystem());

  // Joins part with one backslash and resolves "." and ".." segments. A part
  // with nested quotes or nothing left after trimming appends nothing.
  CPath& Append(std::u16string_view part);

  const std::u16string& String() const noexcept { return m_path; }
  std::u16string StringWithoutPrefix() const;
  bool HasLocalPrefix() const noexcept;
  bool HasNetworkPrefix() const noexcept;

  // Cuts the last component off a prefixed path; false when there is none.
  bool RemoveFileName();
  void RemoveBackslash();

 private:
  std::u16string m_path;
};

}  // namespace CV::FS
