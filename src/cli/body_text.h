// The visible text of an archived mail's body, as a reader of the container
// sees it: the HTML part's text without markup, styles and scripts, one line
// per block (paragraph, line break, division, table row, list item), blanks
// collapsed. A mail without an HTML part gives its plain text part.
#pragma once

#include <string>

namespace CV::Cli {

// Throws std::runtime_error when bytes hold no message.
std::string BodyText(const std::string& messageBytes);

}  // namespace CV::Cli
