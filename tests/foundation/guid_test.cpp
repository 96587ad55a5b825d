#include "foundation/guid.h"

#include <gtest/gtest.h>

#include "foundation/utf.h"

namespace CV {
namespace {

constexpr Guid kApplication = Guid::FromLiteral("{00063001-0000-0000-C000-000000000046}");

TEST(Guid, RegistryFormRoundTrip) {
  EXPECT_EQ(kApplication.data1, 0x00063001u);
  EXPECT_EQ(kApplication.data4[0], 0xC0);
  EXPECT_EQ(kApplication.data4[7], 0x46);
  EXPECT_EQ(kApplication.ToRegistryForm(), u"{00063001-0000-0000-C000-000000000046}");
  EXPECT_EQ(Guid::Parse(u"{00063001-0000-0000-c000-000000000046}"), kApplication);
  EXPECT_EQ(Guid::Parse(u"00063001-0000-0000-C000-000000000046"), kApplication);
  const Guid g = Guid::FromLiteral("B65AD801-ABAF-11D0-BB8B-00A0C90F2744");
  EXPECT_EQ(Guid::Parse(g.ToRegistryForm()), g);
  EXPECT_EQ(g.ToRegistryForm().size(), 38u);
}

TEST(Guid, RejectsMalformedText) {
  const char16_t* bad[] = {
      u"",
      u"{}",
      u"{00063001-0000-0000-C000-00000000004}",     // one digit short
      u"{00063001-0000-0000-C000-0000000000466}",   // one too many
      u"{00063001+0000-0000-C000-000000000046}",    // wrong separator
      u"{00063001-0000-0000-C000-00000000004G}",    // not hex
      u"(00063001-0000-0000-C000-000000000046)",    // wrong braces
      u"{00063001-0000-0000-C000-000000000046",     // missing brace
  };
  for (const char16_t* text : bad) {
    SCOPED_TRACE(ToUtf8(text));
    EXPECT_FALSE(Guid::Parse(text).has_value());
  }
}

TEST(Guid, NullAndOrder) {
  EXPECT_TRUE(Guid{}.IsNull());
  EXPECT_FALSE(kApplication.IsNull());
  EXPECT_LT(Guid{}, kApplication);
}

}  // namespace
}  // namespace CV
