#include "foundation/directory.h"

#include "foundation/com_error.h"

namespace CV::FS {

HRESULT CDeleteDirectoryRecursive::OnDirectory(const std::u16string&, int, bool& recurse) {
  recurse = true;
  return S_OK;
}

HRESULT CDeleteDirectoryRecursive::AfterDirectory(const std::u16string& path) {
  const std::int32_t error = m_fs.RemoveEmptyDirectory(path);
  if (error == 0) return S_OK;
  m_failurePath = path;
  return HResultFromWin32(error);
}

HRESULT CDeleteDirectoryRecursive::OnFile(const std::u16string& path, const FindData&) {
  if (m_fs.RemoveFile(path) == 0) return S_OK;
  std::uint32_t attributes = 0;
  if (m_fs.ReadAttributes(path, attributes) != 0) return S_OK;  // gone meanwhile
  // The outcome of clearing read-only shows in the second attempt.
  m_fs.WriteAttributes(path, attributes & ~Attribute::ReadOnly);
  const std::int32_t error = m_fs.RemoveFile(path);
  if (error == 0) return S_OK;
  m_failurePath = path;
  return HResultFromWin32(error);
}

std::u16string CreateTempDirectory(std::u16string_view base, IFileSystem& fs, IGuidSource& guids) {
  std::u16string root(base);
  if (root.empty()) {
    if (const std::int32_t error = fs.TempPath(root); error != 0) ThrowComError(HResultFromWin32(error));
  }
  CPath path(root, fs);
  std::u16string name = guids.NewGuid().ToRegistryForm();  // {...}
  name = u"CV." + name.substr(1, 36);
  path.Append(name);
  if (const std::int32_t error = fs.MakeDirectory(path.String()); error != 0) ThrowComError(HResultFromWin32(error));
  return path.String();
}

HRESULT DeleteDirectory(std::u16string_view path, bool removeRoot, IFileSystem& fs, std::u16string* failurePath) {
  CDeleteDirectoryRecursive walker(fs);
  const std::u16string root(path);
  HRESULT hr = walker.InternalEnum(root, 0);
  if (hr == S_OK && removeRoot) {
    if (const std::int32_t error = fs.RemoveEmptyDirectory(root); error != 0) {
      hr = HResultFromWin32(error);
      walker.SetFailurePath(root);
    }
  }
  if (failurePath) *failurePath = walker.FailurePath();
  return hr;
}

}  // namespace CV::FS
