// The excluded-folder setting: the folders a recursive add skips.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "foundation/settings.h"
#include "outlook/wrappers.h"

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

// The folders excluded while nothing is stored: each store's deleted items,
// outbox, junk mail and feeds, and an Exchange store's synchronisation
// folders. An Outlook failure ends the set there.
std::vector<std::u16string> DefaultExcludedFolders(const Outlook::Application& application);

// Fills out with the folder paths of the "ExcludeFolder" value, or, while
// the value does not exist (or is no string), with the default set taken
// from the stores of application. A malformed value excludes nothing.
void LoadExcludedFolders(std::vector<std::u16string>& out, const Outlook::Application& application,
                         ISettings& settings);

}  // namespace CV
