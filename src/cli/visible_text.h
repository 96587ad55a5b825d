// Text from a container, made safe to print: a name or subject someone
// crafted must not move the cursor, clear the line, turn the line around or
// end it early, so that a damaged container can never show as "intakt".
#pragma once

#include <string>
#include <string_view>

namespace CV::Cli {

// Every control character shown visibly: "\r", "\n", "\t", "\x1b" for the
// C0 controls and DEL, "\u0085" for the C1 controls and the characters that
// change the direction of text; bytes that are no UTF-8 as "\xff". Other
// characters, the backslash among them, stay as they are.
std::string Visible(std::string_view text);

// The same for a text of several lines: line breaks and tabs stay.
std::string VisibleLines(std::string_view text);

// For JSON printed as stored: the C1 controls and the direction marks
// escaped as JSON escapes ("\u0085"), which mean the same characters;
// JSON has no raw C0 controls. pending keeps the bytes of a character cut
// at the end of a piece for the next.
std::string VisibleJson(std::string_view piece, std::string& pending);

}  // namespace CV::Cli
