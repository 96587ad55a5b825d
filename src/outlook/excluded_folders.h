// The folders a recursive add skips: the stored setting, or the default
// set of each store's special folders.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "foundation/excluded_folders_setting.h"
#include "foundation/settings.h"
#include "outlook/wrappers.h"

namespace CV {

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
