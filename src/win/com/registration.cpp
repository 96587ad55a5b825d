#include "win/com/registration.h"

#include <optional>
#include <string>

#include "registration/registration_rules.h"

namespace CV::Win::Registration {
namespace {

using Registry::Hive;
using Registry::Status;
using Registry::View;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

Hive HiveOf(Scope scope) { return scope == Scope::Machine ? Hive::Machine : Hive::User; }

// The registry of this process: the own view and the other, each named
// by its WOW64 flag (which a Windows of one bitness ignores).
class WinRegistry final : public Registry::IRegistry {
 public:
  std::optional<std::u16string> ReadString(Hive hive, View view, std::u16string_view key,
                                           std::u16string_view name) override {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(Root(hive), Path(key).c_str(), 0, KEY_QUERY_VALUE | Flag(view), &opened) != ERROR_SUCCESS)
      return std::nullopt;
    const std::wstring valueName = Wide(name);
    std::optional<std::u16string> text;
    DWORD type = 0, bytes = 0;
    LSTATUS status = ::RegQueryValueExW(opened, valueName.c_str(), nullptr, &type, nullptr, &bytes);
    if (status == ERROR_SUCCESS && type == REG_SZ) {
      std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
      bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
      status = ::RegQueryValueExW(opened, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
      if (status == ERROR_SUCCESS && type == REG_SZ) {
        data.resize(::wcsnlen(data.c_str(), bytes / sizeof(wchar_t)));
        text = std::u16string(data.begin(), data.end());
      }
    }
    ::RegCloseKey(opened);
    return text;
  }
  bool Exists(Hive hive, View view, std::u16string_view key) override {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(Root(hive), Path(key).c_str(), 0, KEY_QUERY_VALUE | Flag(view), &opened) != ERROR_SUCCESS)
      return false;
    ::RegCloseKey(opened);
    return true;
  }
  Status CreateKey(Hive hive, std::u16string_view key) override { return Set(hive, key, {}, REG_NONE, nullptr, 0); }
  Status SetString(Hive hive, std::u16string_view key, std::u16string_view name, std::u16string_view text) override {
    const std::wstring data = Wide(text);
    return Set(hive, key, name, REG_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  Status SetDword(Hive hive, std::u16string_view key, std::u16string_view name, std::uint32_t number) override {
    const DWORD data = number;
    return Set(hive, key, name, REG_DWORD, &data, sizeof data);
  }
  // RegDeleteTree takes no view: the key is opened in the own view first,
  // and the key itself goes with RegDeleteKeyEx in that view.
  Status DeleteTree(Hive hive, std::u16string_view key) override {
    const std::wstring path = Path(key);
    HKEY opened = nullptr;
    LSTATUS status = ::RegOpenKeyExW(Root(hive), path.c_str(), 0, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE |
                                                                       KEY_SET_VALUE | Flag(View::Own),
                                     &opened);
    if (status != ERROR_SUCCESS) return static_cast<Status>(status);
    status = ::RegDeleteTreeW(opened, nullptr);
    ::RegCloseKey(opened);
    if (status == ERROR_SUCCESS) status = ::RegDeleteKeyExW(Root(hive), path.c_str(), Flag(View::Own), 0);
    return static_cast<Status>(status);
  }

 private:
  static HKEY Root(Hive hive) { return hive == Hive::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
  static std::wstring Path(std::u16string_view key) { return L"Software\\" + Wide(key); }
  // Each call names its view, so that nothing depends on the default
  // (which a Windows of one bitness ignores anyway).
  static REGSAM Flag(View view) {
    const bool own64 = sizeof(void*) == 8;
    return (view == View::Own) == own64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  }
  static Status Set(Hive hive, std::u16string_view key, std::u16string_view name, DWORD type, const void* data,
                    DWORD bytes) {
    HKEY created = nullptr;
    LSTATUS status = ::RegCreateKeyExW(Root(hive), Path(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_WRITE | Flag(View::Own), nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) return static_cast<Status>(status);
    if (type != REG_NONE) {
      const std::wstring valueName = Wide(name);
      status = ::RegSetValueExW(created, name.empty() ? nullptr : valueName.c_str(), 0, type,
                                static_cast<const BYTE*>(data), bytes);
    }
    ::RegCloseKey(created);
    return static_cast<Status>(status);
  }
};

HRESULT FromStatus(Status status) { return status == Registry::kDone ? S_OK : HRESULT_FROM_WIN32(status); }

}  // namespace

::HRESULT Register(const Registry::Table& table, Scope scope, const std::wstring& modulePath) {
  if (modulePath.empty()) return E_UNEXPECTED;
  WinRegistry registry;
  return FromStatus(Registry::Apply(table, registry, HiveOf(scope), std::u16string(modulePath.begin(), modulePath.end())));
}

::HRESULT Unregister(const Registry::Table& table, Scope scope) {
  WinRegistry registry;
  return FromStatus(Registry::Remove(table, registry, HiveOf(scope)));
}

::HRESULT Install(const Registry::Table& table, BOOL install, LPCWSTR commandLine, const std::wstring& modulePath) {
  if (!commandLine || ::CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) != CSTR_EQUAL) return E_INVALIDARG;
  return install ? Register(table, Scope::User, modulePath) : Unregister(table, Scope::User);
}

}  // namespace CV::Win::Registration
