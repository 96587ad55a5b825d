// The container writer's ports on Windows: where the container goes (the
// TargetFolder setting, else the save dialog), the comment it carries, and
// whether the writer tells the user the outcome (Quiet).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "components/container/container_writer.h"

namespace CV::Win::Components {

// Settings of the writer: per user below HKCU\<key>, as policy below
// HKLM\<policy key>, the policy winning. TargetFolder (REG_SZ): archive
// into this folder under the default name without asking; Comment
// (REG_SZ); Quiet (REG_DWORD 1): show no messages; LastFolder (REG_SZ, the
// user's only): where the dialog saved last.
inline constexpr wchar_t kWriterSettingsKey[] = L"Software\\Corvanworks\\Corvane\\CVMailExport";
inline constexpr wchar_t kWriterPolicyKey[] = L"Software\\Policies\\Corvanworks\\Corvane\\CVMailExport";

std::optional<std::wstring> TextSetting(const wchar_t* name);
std::optional<DWORD> NumberSetting(const wchar_t* name);
bool Quiet();

// "Mailarchiv JJJJ-MM-TT.zip" of today.
std::wstring DefaultContainerName();
// That name in a folder, numbered " (2)", " (3)" ... when the file exists.
std::wstring DefaultContainerPath(const std::wstring& folder);

// Chooses the target on the thread that begins the export (Outlook's UI
// thread): TargetFolder when set, else the save dialog owned by the
// thread's active window.
std::shared_ptr<CV::Components::IExportTargetChooser> ExportTargetChooser();

}  // namespace CV::Win::Components
