// The visible text of an archived mail's body, as a reader of the container
// sees it: the HTML part's text without markup, styles and scripts, one line
// per block (paragraph, line break, division, table row, list item), blanks
// collapsed. A mail without an HTML part gives its plain text part. The
// text is handed on in pieces as it is made: a body of any size is shown in
// bounded memory.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace CV::Cli {

// message holds the message's bytes (taken over, a GByteArray*). Throws
// std::runtime_error when they hold no message.
void BodyText(void* message, const std::function<void(std::string_view)>& text);

// The visible text of an HTML document in UTF-8, line by line as above.
void VisibleHtmlText(std::string_view html, const std::function<void(std::string_view)>& text);

}  // namespace CV::Cli
