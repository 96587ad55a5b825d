#include "foundation/utf.h"

#include <gtest/gtest.h>

#include <vector>

namespace CV {
namespace {

// IsUtf8 says what a round trip through FromUtf8 would: every two- and
// three-byte string, and lead bytes of four with edges of their range.
TEST(Utf, IsUtf8IsWhatSurvivesTheRoundTrip) {
  const auto same = [](const std::string& bytes) { return ToUtf8(FromUtf8(bytes)) == bytes; };
  std::string bytes(3, '\0');
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      bytes.assign({static_cast<char>(a), static_cast<char>(b)});
      ASSERT_EQ(IsUtf8(bytes), same(bytes)) << a << " " << b;
      for (int c : {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC3, 0xE0, 0xF0, 0xFF}) {
        bytes.assign({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
        ASSERT_EQ(IsUtf8(bytes), same(bytes)) << a << " " << b << " " << c;
      }
    }
  for (const std::string four : {"\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF0\x8F\xBF\xBF",
                                 "\xF5\x80\x80\x80", "\xF0\x9F\x98", "a\xF0\x9F\x98\x80b", "\xF8\x80\x80\x80\x80"})
    EXPECT_EQ(IsUtf8(four), same(four)) << four;
  EXPECT_TRUE(IsUtf8(std::string("vor\0nach", 8)));
  EXPECT_TRUE(IsUtf8(""));
}

TEST(Utf, RoundTripAndHostileBytes) {
  const std::u16string text = u"a\u00DF\u00FC\u20AC\U0001F600z";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  const std::pair<std::string, std::u16string> hostile[] = {
      {"\xC3", u"\uFFFD"},  // truncated at the end
      {"\xE2\x82", u"\uFFFD"},  // truncated after a continuation byte
      {"K\xF6ln", u"K\uFFFDln"},  // a lead too near the end: what follows stays
      {"\xC3(", u"\uFFFD("},  // bad continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& [bytes, expected] : hostile) EXPECT_EQ(FromUtf8(bytes), expected);
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // a lone surrogate
}

// The length counts what ToUtf8 writes, and reads a text to its end and no
// further: each view below has nothing after it, so a sanitized build sees
// any read beyond (a high surrogate last looks for its partner).
TEST(Utf, Utf8LengthIsTheLengthOfTheConversion) {
  const std::u16string texts[] = {u"", u"a", u"\u00e4", u"\u20ac", u"\U0001F600", std::u16string(1, u'\xD83D'),
                                  u"a" + std::u16string(1, u'\xD83D'), std::u16string(1, u'\xDE00') + u"b"};
  for (const std::u16string& text : texts) {
    const std::vector<char16_t> exact(text.begin(), text.end());
    const std::u16string_view view(exact.data(), exact.size());
    EXPECT_EQ(Utf8Length(view), ToUtf8(view).size()) << text.size();
  }
}

}  // namespace
}  // namespace CV
