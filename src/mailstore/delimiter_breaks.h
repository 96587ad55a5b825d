// Line breaks around MIME delimiter lines. The parser takes a delimiter
// line's own line break for the one that ends the part before it: a part
// whose last line ends in LF before a delimiter line that ends in CRLF loses
// its last byte, and one that ends in CRLF before an LF delimiter keeps a
// CR. A reader (and Python's email) drops whatever break comes before the
// delimiter, so the delimiter lines are given the break before them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CV::MailStore {

struct MatchedBreaks {
  std::string bytes;  // the message with each delimiter line's break matched
  // Where a CR was put in (+1) or taken out (-1): positions in bytes, rising.
  std::vector<std::pair<std::size_t, int>> edits;
  // A position in bytes as a position in the message as it came.
  std::size_t Original(std::size_t at) const;
};

// The message with the delimiter lines of the given boundaries ending as
// the line before them ends; nullopt when every one does already (a message
// with one kind of line break always does).
std::optional<MatchedBreaks> MatchDelimiterBreaks(std::string_view message, const std::vector<std::string>& boundaries);

}  // namespace CV::MailStore
