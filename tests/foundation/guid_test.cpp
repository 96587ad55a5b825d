#include "foundation/guid.h"

#include <gtest/gtest.h>

#include "foundation/utf.h"

namespace CV {
namespace {

TEST(Guid, RegistryFormParsedAndWritten) {
  constexpr Guid app = Guid::FromLiteral("{00063001-0000-0000-C000-000000000046}");
  EXPECT_EQ(app.ToRegistryForm(), u"{00063001-0000-0000-C000-000000000046}");
  EXPECT_EQ(Guid::Parse(u"{00063001-0000-0000-c000-000000000046}"), app);  // either case
  EXPECT_EQ(Guid::Parse(u"00063001-0000-0000-C000-000000000046"), app);    // braces optional
  EXPECT_TRUE(Guid{}.IsNull());
  EXPECT_FALSE(app.IsNull());
  for (const char16_t* bad : {u"", u"{}", u"{00063001-0000-0000-C000-00000000004}", u"{00063001-0000-0000-C000-0000000000466}",
                              u"{00063001+0000-0000-C000-000000000046}", u"{00063001-0000-0000-C000-00000000004G}",
                              u"(00063001-0000-0000-C000-000000000046)", u"{00063001-0000-0000-C000-000000000046"}) {
    SCOPED_TRACE(ToUtf8(bad));
    EXPECT_FALSE(Guid::Parse(bad).has_value());
  }
}

}  // namespace
}  // namespace CV
