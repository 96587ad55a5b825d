#include "mailstore/mime_reading.h"

#include <gtest/gtest.h>

#include "foundation/utf.h"

namespace CV::MailStore {
namespace {

// Text read straight as UTF-8 is the text ReadText reads, whatever its mark,
// charset or <meta> says, and whether or not its bytes are UTF-8.
TEST(MimeReading, TextAsUtf8IsTheTextAsRead) {
  const struct {
    const char* type;
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"text/plain; charset=utf-8", "K\xC3\xB6ln", "K\xC3\xB6ln"},
      {"text/plain", "K\xF6ln", "K\xC3\xB6ln"},  // no UTF-8: windows-1252
      {"text/plain; charset=utf-8", "\x80 K\xF6ln", "\xE2\x82\xAC K\xC3\xB6ln"},
      {"text/plain", "\xEF\xBB\xBFK\xC3\xB6ln", "K\xC3\xB6ln"},
      {"text/plain", "\xEF\xBB\xBF" "K\xF6ln", "K\xEF\xBF\xBDln"},  // a mark, then no UTF-8
      {"text/plain", std::string("\xFF\xFEK\0\xF6\0", 6), "K\xC3\xB6"},
      {"text/plain; charset=iso-8859-1", "K\xC3\xB6ln", "K\xC3\x83\xC2\xB6ln"},
      {"text/html", "<meta charset=windows-1252>K\xC3\xB6ln", "<meta charset=windows-1252>K\xC3\x83\xC2\xB6ln"},
      {"text/plain; charset=iso-8859-15", "\xA4", "\xE2\x82\xAC"},
      {"text/plain; charset=x-unbekannt", "K\xF6ln", "K\xC3\xB6ln"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string message = std::string("From: a@example.org\r\nSubject: t\r\nMIME-Version: 1.0\r\nContent-Type: ") +
                                c.type + "\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + c.bytes;
    const ParsedMessage parsed = ParseMessage(message);
    ASSERT_TRUE(parsed.message);
    GMimeObject* part = g_mime_message_get_mime_part(parsed.message.get());
    EXPECT_EQ(ReadTextUtf8(part), c.utf8);
    EXPECT_EQ(ReadTextUtf8(part), ToUtf8(ReadText(part)));
  }
}

}  // namespace
}  // namespace CV::MailStore
