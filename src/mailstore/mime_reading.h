// How a reader's mail program reads a message, shared by the loader and by
// whatever checks what became of a message: GMime's parse with the line
// breaks of delimiter lines matched, and a text part's text by byte-order
// mark, MIME charset and <meta>.
#pragma once

#include <gmime/gmime.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mailstore/delimiter_breaks.h"

namespace CV::MailStore {

void InitGMime();

struct ParsedMessage {
  std::shared_ptr<GMimeMessage> message;        // null when the bytes hold none
  std::shared_ptr<const MatchedBreaks> breaks;  // what was parsed, where it differs from the bytes
};
ParsedMessage ParseMessage(std::string_view bytes);

bool IsType(GMimeObject* part, const char* type, const char* subtype);
// A part's content with its transfer encoding undone; an attached
// message's as GMime writes it.
std::string ContentBytes(GMimeObject* part);
// The name a reader gives a part that has none: "smime.p7s" for a
// signature, "Einladung.ics" for an invitation; null for any other.
const char* ReaderFileName(GMimeObject* part);

// A text part's text: a byte-order mark first, then the MIME charset, then
// an HTML part's <meta>; without any, UTF-8 where the bytes are that, else
// windows-1252, as for a charset nobody knows (note hears of that).
std::u16string ReadText(GMimeObject* part, const std::function<void(std::string)>& note = {});
// ReadText's characters as UTF-8.
std::string ReadTextUtf8(GMimeObject* part, const std::function<void(std::string)>& note = {});

// The part of a multipart/alternative a reader shows: the last text or
// multipart (a calendar part beside the texts of an invitation is no body).
GMimeObject* Richest(GMimeMultipart* alternative);

}  // namespace CV::MailStore
