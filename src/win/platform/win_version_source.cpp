#include "win/platform/win_version_source.h"

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/path.h"
#include "win/platform/classes_value.h"

namespace CV::Win {
namespace {

// The registry view of this module's own bitness: a 64-bit add-in is
// registered in the 64-bit view, the 32-bit one in the 32-bit view.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

std::wstring RegisteredModule(const Guid& clsid) {
  const std::u16string id = clsid.ToRegistryForm();
  return ClassesDefaultValue(L"CLSID\\" + std::wstring(id.begin(), id.end()) + L"\\InprocServer32", kOwnView)
      .value_or(std::wstring());
}

}  // namespace

void WinVersionSource::ReadModuleVersion(Util::CVersionInfo& info) {
  const std::wstring registered = RegisteredModule(m_clsid);
  if (registered.empty()) return;
  try {
    const FS::CPath path(std::u16string(registered.begin(), registered.end()));
    const std::u16string plain = path.StringWithoutPrefix();
    ReadFile(std::wstring(plain.begin(), plain.end()), info);
  } catch (...) {
    // An unusable registered path leaves the version as it was.
  }
}

void WinVersionSource::ReadFile(const std::wstring& path, Util::CVersionInfo& info) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return;
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
      length >= sizeof(VS_FIXEDFILEINFO)) {
    info.versionHigh = fixed->dwFileVersionMS;
    info.versionLow = fixed->dwFileVersionLS;
  }
  wchar_t* copyright = nullptr;
  if (::VerQueryValueW(data.data(), L"\\StringFileInfo\\040704b0\\LegalCopyright", reinterpret_cast<void**>(&copyright),
                       &length) &&
      copyright && length > 0) {
    std::wstring text(copyright, length);
    text = text.substr(0, text.find(L'\0'));
    info.copyright.assign(text.begin(), text.end());
  }
}

}  // namespace CV::Win
