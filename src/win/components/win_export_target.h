// The container writer's ports on Windows: where the container goes (the
// TargetFolder setting, the policy's winning over the user's), and the
// comment it carries.
#pragma once

#include "components/container/container_writer.h"

namespace CV::Win::Components {

// Settings of the writer: per user below HKCU\<key>, as policy below
// HKLM\Software\Policies\Corvanworks\Corvane\CVMailExport.
inline constexpr wchar_t kWriterSettingsKey[] = L"Software\\Corvanworks\\Corvane\\CVMailExport";
inline constexpr wchar_t kWriterPolicyKey[] = L"Software\\Policies\\Corvanworks\\Corvane\\CVMailExport";

// The container's name in a folder: "Mailarchiv JJJJ-MM-TT.zip" of today,
// numbered " (2)", " (3)" ... when that file exists.
std::wstring DefaultContainerPath(const std::wstring& folder);

CV::Components::WriterPorts ExportWriterPorts();

}  // namespace CV::Win::Components
