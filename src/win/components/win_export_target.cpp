#include "win/components/win_export_target.h"

#include <windows.h>

#include <optional>

#include "foundation/file_system.h"
#include "foundation/lifetime.h"

namespace CV::Win::Components {
namespace {

// A REG_SZ of the writer's settings: the policy's, else the user's.
std::optional<std::wstring> Setting(const wchar_t* name) {
  for (const auto& [hive, key] : {std::pair{HKEY_LOCAL_MACHINE, kWriterPolicyKey}, std::pair{HKEY_CURRENT_USER, kWriterSettingsKey}}) {
    DWORD type = 0, bytes = 0;
    if (::RegGetValueW(hive, key, name, RRF_RT_REG_SZ, &type, nullptr, &bytes) != ERROR_SUCCESS || bytes < 2) continue;
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(hive, key, name, RRF_RT_REG_SZ, &type, value.data(), &bytes) != ERROR_SUCCESS) continue;
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
  }
  return std::nullopt;
}

class SettingsTarget final : public CV::Components::IExportTargetChooser {
 public:
  std::optional<CV::Components::ExportTarget> Choose() override {
    const auto folder = Setting(L"TargetFolder");
    if (!folder || folder->empty()) return std::nullopt;  // nowhere to go: no export
    const std::wstring comment = Setting(L"Comment").value_or(L"");
    return CV::Components::ExportTarget{DefaultContainerPath(*folder), std::u16string(comment.begin(), comment.end())};
  }
};

}  // namespace

std::wstring DefaultContainerPath(const std::wstring& folder) {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  wchar_t date[16];
  swprintf(date, 16, L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  base += L"Mailarchiv ";
  base += date;
  std::wstring path = base + L".zip";
  for (int n = 2; ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++n)
    path = base + L" (" + std::to_wstring(n) + L").zip";
  return path;
}

CV::Components::WriterPorts ExportWriterPorts() {
  return CV::Components::WriterPorts{std::make_shared<SettingsTarget>(), nullptr,
                                     ProcessLifetime(FS::DefaultFileSystem()), 6, nullptr};
}

}  // namespace CV::Win::Components
