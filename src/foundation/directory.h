// Temporary directories and recursive deletion.
#pragma once

#include <string>
#include <string_view>

#include "foundation/exception.h"
#include "foundation/file_system.h"
#include "foundation/format.h"
#include "foundation/guid_source.h"
#include "foundation/hresult.h"
#include "foundation/path.h"
#include "foundation/path_match.h"

namespace CV::FS {

// A new empty directory "CV.<GUID>" under base (the user's temporary path
// when base is empty), in long-path form. Throws ComError with the HRESULT of
// the failure when it cannot be created, CV::CException when base cannot be
// normalized.
std::u16string CreateTempDirectory(std::u16string_view base, IFileSystem& fs = DefaultFileSystem(),
                                   IGuidSource& guids = DefaultGuidSource());

// Deletes everything below path and, with removeRoot, path itself. Never
// throws: the first failure stops the deletion, leaves the rest in place and
// is reported by the HRESULT and, when asked for, the failure path (the
// top-level entry under which it happened).
HRESULT DeleteDirectory(std::u16string_view path, bool removeRoot, IFileSystem& fs = DefaultFileSystem(),
                        std::u16string* failurePath = nullptr);

// Walks a directory tree depth first and hands every entry to the policy
// (the derived class): OnDirectory(path, depth, recurse), AfterDirectory(path)
// and OnFile(path, entry), each returning an HRESULT; the first failure ends
// the walk.
template <class Policy>
class CFileSystemEnumT {
 public:
  HRESULT InternalEnum(const std::u16string& directory, int depth);

  const std::u16string& FailurePath() const noexcept { return m_failurePath; }

 protected:
  CFileSystemEnumT(IFileSystem& fs, bool includeHidden) : m_fs(fs), m_includeHidden(includeHidden) {}

  IFileSystem& m_fs;
  std::u16string m_failurePath;
  bool m_stop = false;
  bool m_includeHidden;
  std::u16string m_includePattern;
  std::u16string m_excludePattern;

 private:
  // The qualified name of the walk, as failures carry it.
  static std::u16string_view SourceName() noexcept { return u"CV::FS::CFileSystemEnumT::InternalEnum"; }
  [[noreturn]] static void Fail(HRESULT hr, std::u16string_view path) { Throw(SourceName(), hr, path); }
  static std::u16string Join(const std::u16string& directory, std::u16string_view name) {
    std::u16string path = directory;
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    path += name;
    return path;
  }
};

class CDeleteDirectoryRecursive : public CFileSystemEnumT<CDeleteDirectoryRecursive> {
 public:
  explicit CDeleteDirectoryRecursive(IFileSystem& fs) : CFileSystemEnumT(fs, true) {}

  HRESULT OnDirectory(const std::u16string& path, int depth, bool& recurse);
  HRESULT AfterDirectory(const std::u16string& path);
  HRESULT OnFile(const std::u16string& path, const FindData& entry);

  void SetFailurePath(std::u16string path) { m_failurePath = std::move(path); }
};

template <>
inline std::u16string_view CFileSystemEnumT<CDeleteDirectoryRecursive>::SourceName() noexcept {
  return u"CV::FS::CFileSystemEnumT<class CV::FS::CDeleteDirectoryRecursive>::InternalEnum";
}

template <class Policy>
HRESULT CFileSystemEnumT<Policy>::InternalEnum(const std::u16string& directory, int depth) {
  auto& policy = static_cast<Policy&>(*this);
  try {
    FindData entry;
    std::unique_ptr<IDirectorySearch> search;
    std::int32_t error = m_fs.FindFirst(Join(directory, u"*"), entry, search);
    if (error != 0) Fail(HResultFromWin32(error), directory);
    while (true) {
      const bool hidden = (entry.attributes & Attribute::Hidden) != 0;
      if (m_includeHidden || !hidden) {
        if (entry.attributes & Attribute::Directory) {
          if (entry.name != u"." && entry.name != u"..") {
            const std::u16string path = Join(directory, entry.name);
            bool recurse = false;
            HRESULT hr = policy.OnDirectory(path, depth + 1, recurse);
            if (Failed(hr)) Fail(hr, path);
            if (recurse && !m_stop) {
              hr = InternalEnum(path, depth + 1);
              if (Failed(hr)) Fail(hr, path);
              hr = policy.AfterDirectory(path);
              if (Failed(hr)) Fail(hr, path);
            }
          }
        } else {
          const std::u16string path = Join(directory, entry.name);
          const bool excluded = !m_excludePattern.empty() && PathMatchSpec(path, m_excludePattern);
          const bool notIncluded = !m_includePattern.empty() && !PathMatchSpec(path, m_includePattern);
          if (!excluded && !notIncluded) {
            const HRESULT hr = policy.OnFile(path, entry);
            if (Failed(hr)) Fail(hr, path);
          }
        }
      }
      if (m_stop) break;
      error = search->Next(entry);
      if (error != 0) {
        if (error != Win32Error::NoMoreFiles && !m_stop) Fail(HResultFromWin32(error), directory);
        break;
      }
    }
    return S_OK;
  } catch (const CException& e) {
    m_failurePath = e.Message();
    return e.Error();
  }
}

}  // namespace CV::FS
