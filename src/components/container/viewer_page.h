// The viewer every container carries at its root: one self-contained HTML
// page (viewer/, built into viewer/dist/viewer.html and compiled in here)
// that opens the archive in a browser, offline.
#pragma once

#include <string_view>

namespace CV::Components {

inline constexpr std::string_view kViewerMember = "Archiv ansehen.html";

// The page's bytes, as every writer puts them into its containers.
std::string_view ViewerPage();

}  // namespace CV::Components
