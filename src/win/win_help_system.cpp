#include "win/win_help_system.h"

#include <windows.h>


namespace CV::Win {
namespace {

// The default value of a key below HKEY_CLASSES_ROOT, at most 260 characters.
std::optional<std::wstring> ClassesValue(const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  wchar_t value[MAX_PATH + 1] = {};
  DWORD type = 0, size = sizeof(value) - sizeof(wchar_t);
  const LSTATUS status = ::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  value[size / sizeof(wchar_t)] = L'\0';
  return std::wstring(value);
}

using HtmlHelpW = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC
constexpr WORD kHtmlHelpOrdinal = 15;

// Loaded on first use and kept; when it cannot be loaded, help stays off for
// the rest of the process.
HtmlHelpW HtmlHelpEntry() {
  static const HtmlHelpW entry = []() -> HtmlHelpW {
    std::wstring control = L"hhctrl.ocx";
    if (const auto registered = ClassesValue(L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32")) {
      wchar_t expanded[MAX_PATH] = {};
      const DWORD n = ::ExpandEnvironmentStringsW(registered->c_str(), expanded, MAX_PATH);
      if (n > 0 && n <= MAX_PATH && expanded[0]) control = expanded;
    }
    HMODULE module = ::LoadLibraryW(control.c_str());
    if (!module) return nullptr;
    return reinterpret_cast<HtmlHelpW>(
        reinterpret_cast<void*>(::GetProcAddress(module, MAKEINTRESOURCEA(kHtmlHelpOrdinal))));
  }();
  return entry;
}

}  // namespace

std::optional<std::u16string> WinHelpSystem::MainApplicationPath() {
  const std::u16string clsid = kClsidMainApplication.ToRegistryForm();
  const auto path = ClassesValue(L"CLSID\\" + std::wstring(clsid.begin(), clsid.end()) + L"\\LocalServer32");
  if (!path) return std::nullopt;
  return std::u16string(path->begin(), path->end());
}

void WinHelpSystem::DisplayTopic(const std::u16string& topic) {
  const HtmlHelpW htmlHelp = HtmlHelpEntry();
  if (!htmlHelp) return;
  const std::wstring path(topic.begin(), topic.end());
  htmlHelp(nullptr, path.c_str(), kDisplayTopic, 0);
}

}  // namespace CV::Win
