#include "foundation/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "foundation/utf.h"

namespace CV {
namespace {

struct GoodCase {
  const char16_t* format;
  std::vector<FormatArg> args;
  const char16_t* expected;
};

std::string Trace(const char16_t* format) { return "format \"" + ToUtf8(format) + "\""; }

TEST(Format, ConversionsTheSystemUses) {
  const std::u16string path = u"Posteingang\\Projekte";
  const GoodCase cases[] = {
      {u"%s", {u"abc"}, u"abc"}, {u"%s", {u""}, u""}, {u"%d", {-42}, u"-42"}, {u"%i", {7}, u"7"},
      {u"%5i", {0}, u"    0"}, {u"%5i", {12345}, u"12345"}, {u"%5i", {123456}, u"123456"}, {u"%5i", {-3}, u"   -3"},
      {u"%%", {}, u"%"}, {u"100%%", {}, u"100%"}, {u"%.0f", {0.0}, u"0"}, {u"%.0f", {1024.0}, u"1024"},
      {u"%.0f", {2.4}, u"2"}, {u"%.0f", {1.6}, u"2"}, {u"%.0f", {5120.0}, u"5120"},
      {u"%0lX", {static_cast<std::int32_t>(0x80004005u)}, u"80004005"}, {u"%0lX", {0x1F}, u"1F"},
      {u"Unknown error 0x%0lX", {static_cast<std::int32_t>(0x80040200u)}, u"Unknown error 0x80040200"},
      {u"%s(%d)%s", {u"Bericht", 1, u".pdf"}, u"Bericht(1).pdf"}, {u"%s(%d)%s", {u"README", 1, u""}, u"README(1)"},
      {u" %s='%s'", {u"src", u"a.png"}, u" src='a.png'"}, {u"\r\n%s", {u"b"}, u"\r\nb"},
      {u"%s%%%d", {path, 12}, u"Posteingang\\Projekte%12"}, {u"%d", {INT_MIN}, u"-2147483648"},
      {u"%u", {4000000000u}, u"4000000000"},
      {u"%d", {std::int64_t{0x100000005}}, u"5"},  // 32-bit conversion, as on Windows
      {u"%lld", {std::int64_t{-0x100000005}}, u"-4294967301"}, {u"%I64d", {std::int64_t{0x100000000}}, u"4294967296"},
      {u"%hd", {70000}, u"4464"}, {u"%-4s|", {u"ab"}, u"ab  |"}, {u"%3s", {u"ab"}, u" ab"}, {u"%2s", {u"ab"}, u"ab"},
      {u"%1s", {u"abc"}, u"abc"}, {u"%-2s|", {u"ab"}, u"ab|"}, {u"%3c|", {char16_t{u'x'}}, u"  x|"}, {u"%.2s", {u"abcdef"}, u"ab"},
      {u"%+d", {5}, u"+5"}, {u"% d", {5}, u" 5"}, {u"%05d", {-42}, u"-0042"}, {u"%#x", {255}, u"0xff"},
      {u"%-+4d|", {7}, u"+7  |"},  // every flag, alone and together
      {u"%c", {char16_t{u'ß'}}, u"ß"}, {u"%s", {static_cast<const char16_t*>(nullptr)}, u"(null)"},
      {u"Größe: %s", {u"ä"}, u"Größe: ä"}, {u"", {}, u""},
  };
  for (const GoodCase& c : cases) {
    SCOPED_TRACE(Trace(c.format));
    std::u16string out;
    EXPECT_TRUE(TryFormatText(c.format, c.args, out));
    EXPECT_EQ(FormatText(c.format, c.args), c.expected);
  }
}

struct BadCase {
  const char16_t* format;
  std::vector<FormatArg> args;
};

// A format that ends inside a conversion is read to its end and no further:
// the views below have nothing after them, so a sanitized build sees any
// read beyond.
TEST(Format, AFormatEndingInsideAConversionIsRefused) {
  for (const std::u16string& format : {std::u16string(u"%h"), std::u16string(u"%hh"), std::u16string(u"%l"),
                                       std::u16string(u"%ll"), std::u16string(u"%5."), std::u16string(u"%-")}) {
    SCOPED_TRACE(Trace(format.c_str()));
    const std::vector<char16_t> exact(format.begin(), format.end());
    std::u16string out;
    EXPECT_FALSE(TryFormatText(std::u16string_view(exact.data(), exact.size()), std::vector<FormatArg>{1}, out));
  }
}

TEST(Format, MismatchGivesTheFallbackWithTheFormatUnchanged) {
  const BadCase cases[] = {
      {u"%d", {u"text"}}, {u"%s", {5}}, {u"%s", {}}, {u"%d", {1, 2}},  // one argument too many
      {u"%s(%d)%s", {u"a", 1}},  // one too few
      {u"%.0f", {3}}, {u"%d", {1.5}}, {u"%X", {2.0}}, {u"%", {1}},  // conversion missing
      {u"%5", {1}}, {u"%q", {1}}, {u"%*d", {5, 1}},  // widths from arguments are not supported
      {u"%hs", {u"narrow"}}, {u"%99999999d", {1}}, {u"%.99999999d", {1}}, {u"%.99999999s", {u"x"}},  // absurd width, precision
      {u"Auf %d Mail(s) '%s'", {u"x", u"y"}}, {u"plain", {1}},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(Trace(c.format));
    std::u16string out;
    EXPECT_FALSE(TryFormatText(c.format, c.args, out));
    EXPECT_EQ(FormatText(c.format, c.args), u"Ungültige Parameterliste für Formattext '" + std::u16string(c.format) + u"'.");
  }
}

TEST(Format, TheFallbackTextAsFormatDoesNotLoop) {
  // The fallback's own format needs one string; used without one it fails
  // too, and is then named inside itself.
  EXPECT_EQ(Format(kInvalidFormatText),
            u"Ungültige Parameterliste für Formattext 'Ungültige Parameterliste für Formattext '%s'.'.");
}

TEST(Format, VariadicFrontEndChecksTheSameWay) {
  EXPECT_EQ(Format(u"%s(%d)%s", u"scan", 2, std::u16string(u".pdf")), u"scan(2).pdf");
  EXPECT_EQ(Format(u"%d", u"x"), u"Ungültige Parameterliste für Formattext '%d'.");
  EXPECT_EQ(Format(u"%d", true), u"1");
}

}  // namespace
}  // namespace CV
