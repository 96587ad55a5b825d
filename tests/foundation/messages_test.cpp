#include "foundation/messages.h"

#include <gtest/gtest.h>

#include <map>

#include "foundation/utf.h"

namespace CV {
namespace {

TEST(AppendLine, JoinsWithExactlyOneLineBreak) {
  struct Case {
    std::u16string target;
    std::u16string text;
    bool appended;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"a", u"b", true, u"a\r\nb"},
      {u"a\r\n", u"b", true, u"a\r\nb"},
      {u"", u"b", true, u"b"},
      {u"a", u"", false, u"a"},
      {u"", u"", false, u""},
      {u"a\n", u"b", true, u"a\n\r\nb"},  // only CR LF counts as a line end
      {u"a", u"x\ry", true, u"a\r\nx\r\ny"},
      {u"a", u"x\ny", true, u"a\r\nx\r\ny"},
      {u"a", u"x\r\ny", true, u"a\r\nx\r\ny"},
      {u"a", u"\r\r\n\n", true, u"a\r\n\r\n\r\n\r\n"},
      {u"a", u"\n\r", true, u"a\r\n\r\n\r\n"},
      {u"a", u"%s %d", true, u"a\r\n%s %d"},  // the text is no format
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.target + u"|" + c.text));
    std::u16string target = c.target;
    EXPECT_EQ(AppendLine(target, c.text), c.appended);
    EXPECT_EQ(target, c.expected);
  }
}

class TableMessages final : public ISystemMessages {
 public:
  std::optional<std::u16string> MessageForHResult(HRESULT hr) const override {
    const auto it = texts.find(hr);
    if (it == texts.end()) return std::nullopt;
    return it->second;
  }
  std::map<HRESULT, std::u16string> texts;
};

TEST(ComErrorText, ComposesContextSystemMessageAndDescription) {
  TableMessages system;
  system.texts[E_ACCESSDENIED] = u"Access is denied.";
  const Guid someInterface = Guid::FromLiteral("00063034-0000-0000-C000-000000000046");

  struct Case {
    const char* name;
    std::u16string context;
    ComError error;
    std::u16string expected;
  };
  const Case cases[] = {
      {"no error information", u"Kann Mail nicht exportieren.", ComError(E_ACCESSDENIED),
       u"Kann Mail nicht exportieren.\r\nAccess is denied."},
      {"dispatch range without system text", u"ctx", ComError(MakeHResult(0x80040201u)),
       u"ctx\r\nIDispatch error #1"},
      {"last dispatch code", u"ctx", ComError(MakeHResult(0x8004FFFFu)), u"ctx\r\nIDispatch error #65023"},
      {"first dispatch code has wcode 0", u"ctx", ComError(MakeHResult(0x80040200u)),
       u"ctx\r\nUnknown error 0x80040200"},
      {"unknown", u"ctx", ComError(MakeHResult(0x80071234u)), u"ctx\r\nUnknown error 0x80071234"},
      {"information naming an interface", u"ctx",
       ComError(E_ACCESSDENIED, someInterface, ErrorInfo{someInterface, u"Outlook", u"Zugriff verweigert"}),
       u"ctx\r\nZugriff verweigert"},
      {"information without interface", u"ctx",
       ComError(E_ACCESSDENIED, someInterface, ErrorInfo{Guid{}, u"Outlook", u"Zugriff\rverweigert"}),
       u"ctx\r\nAccess is denied.\r\nZugriff\r\nverweigert"},
      {"information with empty description", u"ctx",
       ComError(E_ACCESSDENIED, someInterface, ErrorInfo{someInterface, u"Outlook", u""}), u"ctx"},
      {"empty context", u"", ComError(E_ACCESSDENIED), u"Access is denied."},
      {"context line breaks normalized", u"a\rb\n", ComError(E_ACCESSDENIED),
       u"a\r\nb\r\nAccess is denied."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ComErrorText(c.context, c.error, system), c.expected);
  }
}

TEST(ComErrorText, DefaultAdapterKnowsCommonHResults) {
  const auto text = DefaultSystemMessages().MessageForHResult(E_INVALIDARG);
  ASSERT_TRUE(text.has_value());
  EXPECT_FALSE(text->empty());
  EXPECT_FALSE(text->ends_with(u"\n"));
}

}  // namespace
}  // namespace CV
