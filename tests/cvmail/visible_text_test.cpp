#include "cli/visible_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation/utf.h"

namespace CV::Cli {
namespace {

// Each range of characters that turn text around or control the terminal,
// at its bounds and one beyond: inside shown as an escape, outside as itself.
TEST(VisibleText, EachHiddenRangeAtItsBounds) {
  const struct {
    char16_t code;
    bool hidden;
  } cases[] = {
      {0x7E, false},   {0x80, true},    {0x9F, true},    {0xA0, false},   {0x061B, false}, {0x061C, true},
      {0x061D, false}, {0x200D, false}, {0x200E, true},  {0x200F, true},  {0x2010, false}, {0x2029, false},
      {0x202A, true},  {0x202E, true},  {0x202F, false}, {0x2065, false}, {0x2066, true},  {0x2069, true},
      {0x206A, false},
  };
  for (const auto& c : cases) {
    const std::string text = ToUtf8(std::u16string(1, c.code));
    char escape[16];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c.code));
    const std::string expected = c.hidden ? escape : text;
    EXPECT_EQ(Visible(text), expected) << escape;
    std::string pending;
    EXPECT_EQ(VisibleJson(text, pending), expected) << escape;
  }
}

}  // namespace
}  // namespace CV::Cli
