#include "foundation/messages.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/utf.h"

namespace CV {
namespace {

TEST(AppendLine, JoinsWithExactlyOneLineBreak) {
  struct Case {
    std::u16string target, text;
    bool appended;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"a", u"b", true, u"a\r\nb"},           {u"a\r\n", u"b", true, u"a\r\nb"},
      {u"", u"b", true, u"b"},                 {u"a", u"", false, u"a"},
      {u"", u"", false, u""},                  {u"a\n", u"b", true, u"a\n\r\nb"},  // only CR LF ends a line
      {u"a", u"x\ry", true, u"a\r\nx\r\ny"},   {u"a", u"x\ny", true, u"a\r\nx\r\ny"},
      {u"a", u"x\r\ny", true, u"a\r\nx\r\ny"}, {u"a", u"\r\r\n\n", true, u"a\r\n\r\n\r\n\r\n"},
      {u"a", u"\n\r", true, u"a\r\n\r\n\r\n"}, {u"a", u"%s %d", true, u"a\r\n%s %d"},  // the text is no format
  };
  for (const Case& c : cases) {
    std::u16string target = c.target;
    EXPECT_EQ(AppendLine(target, c.text), c.appended) << ToUtf8(c.target + u"|" + c.text);
    EXPECT_EQ(target, c.expected) << ToUtf8(c.target + u"|" + c.text);
  }
}

// A text that ends in CR is read to its end and no further: the view below
// has nothing after it, so a sanitized build sees any read beyond.
TEST(NormalizeLineBreaks, ACarriageReturnAtTheVeryEndIsALineBreak) {
  for (const std::u16string& text : {std::u16string(u"a\r"), std::u16string(u"\r"), std::u16string(u"a\r\n\r")}) {
    const std::vector<char16_t> exact(text.begin(), text.end());
    std::u16string expected = text;
    for (std::size_t at = 0; (at = expected.find(u"\r", at)) != std::u16string::npos; at += 2)
      if (expected.compare(at, 2, u"\r\n") != 0) expected.insert(at + 1, u"\n");
    EXPECT_EQ(NormalizeLineBreaks(std::u16string_view(exact.data(), exact.size())), expected) << ToUtf8(text);
  }
}

class OneMessage final : public ISystemMessages {
 public:
  std::optional<std::u16string> MessageForHResult(HRESULT hr) const override {
    if (hr == E_ACCESSDENIED) return u"Access is denied.";
    return std::nullopt;
  }
};

TEST(ComErrorText, ComposesContextSystemMessageAndDescription) {
  const Guid mail = Guid::FromLiteral("00063034-0000-0000-C000-000000000046");
  const auto info = [&](Guid iid, std::u16string description) {
    return ComError(E_ACCESSDENIED, mail, ErrorInfo{iid, u"Outlook", std::move(description)});
  };
  struct Case {
    const char* name;
    std::u16string context;
    ComError error;
    std::u16string expected;
  };
  const Case cases[] = {
      {"no error information", u"Kann Mail nicht exportieren.", ComError(E_ACCESSDENIED),
       u"Kann Mail nicht exportieren.\r\nAccess is denied."},
      {"dispatch range", u"ctx", ComError(MakeHResult(0x80040201u)), u"ctx\r\nIDispatch error #1"},
      {"last dispatch code", u"ctx", ComError(MakeHResult(0x8004FFFFu)), u"ctx\r\nIDispatch error #65023"},
      {"first dispatch code, wcode 0", u"ctx", ComError(MakeHResult(0x80040200u)), u"ctx\r\nUnknown error 0x80040200"},
      {"unknown", u"ctx", ComError(MakeHResult(0x80071234u)), u"ctx\r\nUnknown error 0x80071234"},
      {"information naming an interface", u"ctx", info(mail, u"Zugriff verweigert"), u"ctx\r\nZugriff verweigert"},
      {"information without interface", u"ctx", info(Guid{}, u"Zugriff\rverweigert"),
       u"ctx\r\nAccess is denied.\r\nZugriff\r\nverweigert"},
      {"empty description", u"ctx", info(mail, u""), u"ctx"},
      {"empty context", u"", ComError(E_ACCESSDENIED), u"Access is denied."},
      {"context line breaks", u"a\rb\n", ComError(E_ACCESSDENIED), u"a\r\nb\r\nAccess is denied."},
  };
  for (const Case& c : cases) EXPECT_EQ(ComErrorText(c.context, c.error, OneMessage()), c.expected) << c.name;

  const auto system = DefaultSystemMessages().MessageForHResult(E_INVALIDARG);
  ASSERT_TRUE(system.has_value());
  EXPECT_FALSE(system->empty());
  EXPECT_FALSE(system->ends_with(u"\n"));
}

}  // namespace
}  // namespace CV
