// The Windows adapters of the foundation, run under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/messages.h"
#include "foundation/string_table.h"
#include "foundation/system_messages.h"
#include "foundation/utf.h"

namespace CV {
namespace {

// The resource script includes the same table the portable build compiles in.
TEST(WinStringTable, ResourcesMatchThePortableTable) {
  for (const int id : StringTableIds()) {
    SCOPED_TRACE(id);
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                     reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_GT(length, 0);
    EXPECT_EQ(ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length))),
              ToUtf8(StringTableText(id)));
  }
}

TEST(WinSystemMessages, FormatMessageWithoutFinalLineBreak) {
  const auto text = DefaultSystemMessages().MessageForHResult(E_ACCESSDENIED);
  ASSERT_TRUE(text.has_value());
  EXPECT_FALSE(text->empty());
  EXPECT_FALSE(text->ends_with(u"\n"));
  EXPECT_FALSE(text->ends_with(u"\r"));
}

TEST(WinSystemMessages, ComErrorTextFallsBackWhereTheSystemHasNoText) {
  const ComError error(MakeHResult(0x80040201u));
  const std::u16string text = ComErrorText(u"ctx", error, DefaultSystemMessages());
  EXPECT_TRUE(text.starts_with(u"ctx\r\n"));
  EXPECT_GT(text.size(), 5u);
}

}  // namespace
}  // namespace CV
