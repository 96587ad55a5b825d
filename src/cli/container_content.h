// What `cvmail verify` checks beyond the container's own format, with
// readers nobody on the team wrote (GMime, GLib): that the manifest says of
// each mail what its message says (subject, sender, date, EntryID) and where
// its member lies (the folder); that the properties agree with the mails;
// and that no two member names are one file where case and Unicode
// normalisation do not count (Windows, macOS).
#pragma once

#include <string>
#include <vector>

#include "components/container/zip_reader.h"

namespace CV::Cli {

// Each difference a line; nothing when the manifest cannot be read (the
// format's own check says why).
std::vector<std::string> CheckContent(Components::ZipReader& zip);

}  // namespace CV::Cli
