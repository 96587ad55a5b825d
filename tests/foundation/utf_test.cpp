#include "foundation/utf.h"

#include <gtest/gtest.h>

namespace CV {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
  const std::u16string text = u"a\u00DF\u00FC\u20AC\U0001F600z";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"Gr\u00F6\u00DFe"), "Gr\xC3\xB6\xC3\x9F" "e");
}

TEST(Utf, HostileInputBecomesReplacementCharacters) {
  struct Case {
    std::string bytes;
    std::u16string expected;
  };
  const Case cases[] = {
      {"\xC3", u"\uFFFD"},               // truncated sequence at the end
      {"\xC3(", u"\uFFFD("},             // bad continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD"},     // overlong slash
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xFF", u"\uFFFD"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : cases) EXPECT_EQ(FromUtf8(c.bytes), c.expected);
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // lone surrogate
}

}  // namespace
}  // namespace CV
