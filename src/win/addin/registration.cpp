#include "win/addin/registration.h"

#include <oleauto.h>

#include <string>

#include "addin/addin_ids.h"
#include "foundation/guid.h"
#include "win/addin/module.h"
#include "win/com_ptr.h"

// In oleaut32 since Windows Vista; the mingw-w64 headers do not declare them.
extern "C" {
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDirectory);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libId, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace CV::Win::Registration {
namespace {

constexpr wchar_t kProgId[] = L"CVMailArchiveOl.Connect";
constexpr wchar_t kProgIdVersion[] = L"CVMailArchiveOl.Connect.1";
constexpr wchar_t kClassName[] = L"Connect Class";
constexpr wchar_t kAddinsKey[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\CVMailArchiveOl.Connect";
constexpr wchar_t kDescription[] = L"Archiviert Ihre Mails in Arcsafen";
constexpr wchar_t kFriendlyName[] = L"Corvane Mailarchiv f\u00fcr Microsoft Outlook";

std::wstring Braced(const Guid& guid) {
  const std::u16string text = guid.ToRegistryForm();
  return std::wstring(text.begin(), text.end());
}

struct Roots {
  HKEY hive;
  const wchar_t* classes;  // the classes root below hive
};

Roots RootsOf(Scope scope) {
  return scope == Scope::Machine ? Roots{HKEY_LOCAL_MACHINE, L"Software\\Classes"}
                                 : Roots{HKEY_CURRENT_USER, L"Software\\Classes"};
}

// Writes and deletes keys below one hive; the first failure is kept and
// the rest still tried, so that a partial result is as complete as it can be.
class Writer {
 public:
  explicit Writer(HKEY hive) : m_hive(hive) {}

  // Creates the key and sets its default value (none when value is null).
  void Key(const std::wstring& path, const wchar_t* value = nullptr) { String(path, nullptr, value); }
  void String(const std::wstring& path, const wchar_t* name, const wchar_t* value) {
    if (!value) {
      Set(path, nullptr, REG_NONE, nullptr, 0);
      return;
    }
    Set(path, name, REG_SZ, value, static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  }
  void Dword(const std::wstring& path, const wchar_t* name, DWORD value) {
    Set(path, name, REG_DWORD, &value, sizeof value);
  }
  // Deletes the key with all it holds; a missing key is no failure.
  void Delete(const std::wstring& path) {
    LSTATUS status = ::RegDeleteTreeW(m_hive, path.c_str());
    if (status == ERROR_SUCCESS) status = ::RegDeleteKeyW(m_hive, path.c_str());
    if (status != ERROR_FILE_NOT_FOUND) Keep(status);
  }
  HRESULT Result() const { return m_result; }

 private:
  void Set(const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY key = nullptr;
    const LSTATUS created = ::RegCreateKeyExW(m_hive, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                              nullptr, &key, nullptr);
    Keep(created);
    if (created != ERROR_SUCCESS) return;
    if (type != REG_NONE) Keep(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes));
    ::RegCloseKey(key);
  }
  void Keep(LSTATUS status) {
    if (SUCCEEDED(m_result) && status != ERROR_SUCCESS) m_result = HRESULT_FROM_WIN32(status);
  }

  HKEY m_hive;
  HRESULT m_result = S_OK;
};

SYSKIND OwnSysKind() { return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32; }

HRESULT RegisterTypeLibrary(Scope scope) {
  const std::wstring path = Module::Path();
  ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
  if (FAILED(hr)) return hr;
  std::wstring writable = path;
  return scope == Scope::Machine ? ::RegisterTypeLib(library.Get(), writable.data(), nullptr)
                                 : ::RegisterTypeLibForUser(library.Get(), writable.data(), nullptr);
}

HRESULT UnregisterTypeLibrary(Scope scope) {
  const GUID libId = ToGUID(AddinIds::LibId);
  BSTR registered = nullptr;
  if (FAILED(::QueryPathOfRegTypeLib(libId, 1, 0, 0, &registered))) return S_OK;  // nothing to remove
  ::SysFreeString(registered);
  const HRESULT hr = scope == Scope::Machine ? ::UnRegisterTypeLib(libId, 1, 0, 0, OwnSysKind())
                                             : ::UnRegisterTypeLibForUser(libId, 1, 0, 0, OwnSysKind());
  return hr == TYPE_E_LIBNOTREGISTERED ? S_OK : hr;
}

}  // namespace

::HRESULT Register(Scope scope) {
  const Roots roots = RootsOf(scope);
  const std::wstring classes = roots.classes;
  const std::wstring clsid = Braced(AddinIds::ClsidConnect);
  const std::wstring clsidKey = classes + L"\\CLSID\\" + clsid;
  const std::wstring module = Module::Path();
  if (module.empty()) return HRESULT_FROM_WIN32(::GetLastError());
  Writer w(roots.hive);
  w.Key(classes + L"\\" + kProgIdVersion, kClassName);
  w.Key(classes + L"\\" + kProgIdVersion + L"\\CLSID", clsid.c_str());
  w.Key(classes + L"\\" + kProgId, kClassName);
  w.Key(classes + L"\\" + kProgId + L"\\CLSID", clsid.c_str());
  w.Key(classes + L"\\" + kProgId + L"\\CurVer", kProgIdVersion);
  w.Delete(clsidKey);  // written anew, without what an older version left
  w.Key(clsidKey, kClassName);
  w.Key(clsidKey + L"\\ProgID", kProgIdVersion);
  w.Key(clsidKey + L"\\VersionIndependentProgID", kProgId);
  w.Key(clsidKey + L"\\Programmable");
  w.Key(clsidKey + L"\\InprocServer32", module.c_str());
  w.String(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  w.Key(clsidKey + L"\\TypeLib", Braced(AddinIds::LibId).c_str());
  w.String(kAddinsKey, L"Description", kDescription);
  w.String(kAddinsKey, L"FriendlyName", kFriendlyName);
  w.Dword(kAddinsKey, L"LoadBehavior", 3);
  if (FAILED(w.Result())) return w.Result();
  return RegisterTypeLibrary(scope);
}

::HRESULT Unregister(Scope scope) {
  const Roots roots = RootsOf(scope);
  const std::wstring classes = roots.classes;
  Writer w(roots.hive);
  w.Delete(classes + L"\\" + kProgIdVersion);
  w.Delete(classes + L"\\" + kProgId);
  w.Delete(classes + L"\\CLSID\\" + Braced(AddinIds::ClsidConnect));
  w.Delete(kAddinsKey);
  const HRESULT library = UnregisterTypeLibrary(scope);
  return FAILED(w.Result()) ? w.Result() : library;
}

}  // namespace CV::Win::Registration

using CV::Win::Registration::Scope;

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return CV::Win::Registration::Register(Scope::Machine); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return CV::Win::Registration::Unregister(Scope::Machine); }

// regsvr32 /n /i:user registers for the current user alone; with /u it
// removes that registration again.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
  if (!commandLine || ::CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) != CSTR_EQUAL) return E_INVALIDARG;
  return install ? CV::Win::Registration::Register(Scope::User) : CV::Win::Registration::Unregister(Scope::User);
}
