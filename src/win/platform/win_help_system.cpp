#include "win/platform/win_help_system.h"

#include <windows.h>

#include "win/platform/classes_value.h"

namespace CV::Win {
namespace {

using HtmlHelpW = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC
constexpr WORD kHtmlHelpOrdinal = 15;

// Loaded on first use and kept; when it cannot be loaded, help stays off for
// the rest of the process.
HtmlHelpW HtmlHelpEntry() {
  static const HtmlHelpW entry = []() -> HtmlHelpW {
    std::wstring control = L"hhctrl.ocx";
    if (const auto registered = ClassesDefaultValue(L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32")) {
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
  const auto path = ClassesDefaultValue(L"CLSID\\" + std::wstring(clsid.begin(), clsid.end()) + L"\\LocalServer32");
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
