#include "win/platform/classes_value.h"

namespace CV::Win {

std::optional<std::wstring> ClassesDefaultValue(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return std::nullopt;
  wchar_t value[MAX_PATH + 1] = {};
  DWORD type = 0, size = sizeof(value) - sizeof(wchar_t);
  const LSTATUS status = ::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  value[size / sizeof(wchar_t)] = L'\0';
  return std::wstring(value);
}

}  // namespace CV::Win
