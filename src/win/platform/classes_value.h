// The default value of a key below HKEY_CLASSES_ROOT, as a COM server's
// registration keeps its path.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace CV::Win {

// A string (REG_SZ or REG_EXPAND_SZ, unexpanded) of at most 260
// characters; nullopt when the key or the value is missing or no string.
// view adds KEY_WOW64_32KEY or KEY_WOW64_64KEY.
std::optional<std::wstring> ClassesDefaultValue(const std::wstring& path, REGSAM view = 0);

}  // namespace CV::Win
