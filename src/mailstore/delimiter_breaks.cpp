#include "mailstore/delimiter_breaks.h"

namespace CV::MailStore {

std::size_t MatchedBreaks::Original(std::size_t at) const {
  long shift = 0;
  for (const auto& [position, delta] : edits) {
    // An inserted CR stands where the LF stood; a removed one's LF came one later.
    if (position > at || (position == at && delta > 0)) break;
    shift += delta;
  }
  return static_cast<std::size_t>(static_cast<long>(at) - shift);
}

namespace {

bool IsDelimiter(std::string_view line, const std::vector<std::string>& boundaries) {
  if (!line.starts_with("--")) return false;
  line.remove_prefix(2);
  for (const std::string& boundary : boundaries)
    if (!boundary.empty() && line.starts_with(boundary)) return true;
  return false;
}

}  // namespace

std::optional<MatchedBreaks> MatchDelimiterBreaks(std::string_view message, const std::vector<std::string>& boundaries) {
  // Only a message with both kinds of break can have a mismatch.
  const bool hasCr = message.find("\r\n") != std::string_view::npos;
  bool hasBareLf = false;
  for (std::size_t nl = message.find('\n'); nl != std::string_view::npos && !hasBareLf; nl = message.find('\n', nl + 1))
    hasBareLf = nl == 0 || message[nl - 1] != '\r';
  if (!hasCr || !hasBareLf || boundaries.empty()) return std::nullopt;

  MatchedBreaks out;
  out.bytes.reserve(message.size() + 64);
  std::size_t copied = 0;  // of message
  for (std::size_t line = message.find('\n'); line != std::string_view::npos; line = message.find('\n', line)) {
    ++line;  // the start of the next line
    const std::size_t end = message.find('\n', line);
    if (end == std::string_view::npos) break;  // a last line without a break keeps its form
    if (!IsDelimiter(message.substr(line, end - line), boundaries)) continue;
    const bool crlfBefore = line >= 2 && message[line - 2] == '\r';
    const bool crlfOwn = end > line && message[end - 1] == '\r';
    if (crlfBefore == crlfOwn) continue;
    if (crlfBefore) {  // put a CR before the delimiter's LF
      out.bytes.append(message.substr(copied, end - copied));
      out.edits.push_back({out.bytes.size(), +1});
      out.bytes += '\r';
      copied = end;
    } else {  // take the delimiter's CR out
      out.bytes.append(message.substr(copied, end - 1 - copied));
      out.edits.push_back({out.bytes.size(), -1});
      copied = end;
    }
  }
  if (out.edits.empty()) return std::nullopt;
  out.bytes.append(message.substr(copied));
  return out;
}

}  // namespace CV::MailStore
