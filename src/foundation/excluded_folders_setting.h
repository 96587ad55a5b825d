// The excluded-folder setting, the one place that reads and writes the
// "ExcludeFolder" value: the folder paths a recursive add skips, one per
// line, under the add-in's settings key.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "foundation/settings.h"

namespace CV {

inline constexpr std::u16string_view kExcludeFolderValue = u"ExcludeFolder";

// The settings key of the add-in: "Software\Corvanworks\Corvane\" and the
// name of string 109.
std::u16string AddinSettingsKey();

// The folder paths of the stored "ExcludeFolder" value under the given key
// (the add-in's by default); nullopt while the value does not exist (or is
// no string). A malformed value, or a settings key that cannot be opened,
// gives no paths.
std::optional<std::vector<std::u16string>> StoredExcludedFolders(ISettings& settings);
std::optional<std::vector<std::u16string>> StoredExcludedFolders(ISettings& settings, const std::u16string& keyPath);

// Stores paths as the "ExcludeFolder" value under the given key (each path
// ended by CR LF); 0 or the error of opening the key or writing the value.
std::int32_t StoreExcludedFolders(ISettings& settings, const std::u16string& keyPath,
                                  const std::vector<std::u16string>& paths);

}  // namespace CV
