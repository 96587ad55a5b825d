#include "win/components/win_export_target.h"

#include "win/components/save_dialog.h"

namespace CV::Win::Components {
namespace {

const std::pair<HKEY, const wchar_t*> kSettingPlaces[] = {{HKEY_LOCAL_MACHINE, kWriterPolicyKey},
                                                          {HKEY_CURRENT_USER, kWriterSettingsKey}};

std::optional<std::wstring> ReadText(HKEY hive, const wchar_t* key, const wchar_t* name) {
  DWORD bytes = 0;
  if (::RegGetValueW(hive, key, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS || bytes < 2)
    return std::nullopt;
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (::RegGetValueW(hive, key, name, RRF_RT_REG_SZ, nullptr, value.data(), &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  value.resize(wcsnlen(value.c_str(), value.size()));
  return value;
}

void WriteLastFolder(const std::wstring& folder) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kWriterSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
    return;  // a folder not remembered costs the user one click next time
  ::RegSetValueExW(key, L"LastFolder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

std::u16string Text(const std::wstring& text) { return {text.begin(), text.end()}; }

class WinTargetChooser final : public CV::Components::IExportTargetChooser {
 public:
  std::optional<CV::Components::ExportTarget> Choose() override {
    const std::u16string comment = Text(TextSetting(L"Comment").value_or(L""));
    if (const auto folder = TextSetting(L"TargetFolder"); folder && !folder->empty())
      return CV::Components::ExportTarget{Text(DefaultContainerPath(*folder)), comment, false};
    const auto last = ReadText(HKEY_CURRENT_USER, kWriterSettingsKey, L"LastFolder");
    const auto choice = AskWhereToSave(::GetActiveWindow(), last.value_or(L""), DefaultContainerName());
    if (!choice) return std::nullopt;  // cancelled: no export, no message
    const std::wstring& file = choice->file;
    WriteLastFolder(file.substr(0, file.find_last_of(L'\\')));
    // The dialog asked before it let an existing file be chosen.
    const bool confirmed = ::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    return CV::Components::ExportTarget{Text(file), Text(choice->comment), confirmed};
  }
};

}  // namespace

std::optional<std::wstring> TextSetting(const wchar_t* name) {
  for (const auto& [hive, key] : kSettingPlaces)
    if (auto value = ReadText(hive, key, name)) return value;
  return std::nullopt;
}

std::optional<DWORD> NumberSetting(const wchar_t* name) {
  for (const auto& [hive, key] : kSettingPlaces) {
    DWORD value = 0, bytes = sizeof value;
    if (::RegGetValueW(hive, key, name, RRF_RT_REG_DWORD, nullptr, &value, &bytes) == ERROR_SUCCESS) return value;
  }
  return std::nullopt;
}

bool Quiet() { return NumberSetting(L"Quiet").value_or(0) == 1; }

std::wstring DefaultContainerName() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  wchar_t name[40];
  swprintf(name, 40, L"Mailarchiv %04u-%02u-%02u.zip", now.wYear, now.wMonth, now.wDay);
  return name;
}

std::wstring DefaultContainerPath(const std::wstring& folder) {
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  const std::wstring name = DefaultContainerName();
  base += name.substr(0, name.size() - 4);
  std::wstring path = base + L".zip";
  for (int n = 2; ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++n)
    path = base + L" (" + std::to_wstring(n) + L").zip";
  return path;
}

std::shared_ptr<CV::Components::IExportTargetChooser> ExportTargetChooser() {
  return std::make_shared<WinTargetChooser>();
}

}  // namespace CV::Win::Components
