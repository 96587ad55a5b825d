#include "foundation/utf.h"

#include <gtest/gtest.h>

namespace CV {
namespace {

TEST(Utf, RoundTripAndHostileBytes) {
  const std::u16string text = u"a\u00DF\u00FC\u20AC\U0001F600z";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  const std::pair<std::string, std::u16string> hostile[] = {
      {"\xC3", u"\uFFFD"},  // truncated at the end
      {"\xC3(", u"\uFFFD("},  // bad continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& [bytes, expected] : hostile) EXPECT_EQ(FromUtf8(bytes), expected);
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // a lone surrogate
}

}  // namespace
}  // namespace CV
