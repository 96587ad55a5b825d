#include "foundation/path_match.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/utf.h"

namespace CV::FS {
namespace {

TEST(PathMatchSpec, WildcardsListsAndCase) {
  struct Case {
    const char16_t* path;
    const char16_t* masks;
    bool matches;
  };
  const Case cases[] = {
      {u"C:\\t\\a.tmp", u"*.tmp", true},
      {u"C:\\t\\a.TMP", u"*.tmp", true},
      {u"C:\\t\\a.tmpx", u"*.tmp", false},
      {u"C:\\t\\README", u"*.*", true},  // "*.*" is everything
      {u"C:\\t\\README", u"*.txt;*.tmp", false},
      {u"C:\\t\\a.txt", u"*.doc; *.txt", true},  // blanks after ';' are ignored
      {u"C:\\t\\a.txt", u"C:\\t\\?.txt", true},
      {u"C:\\t\\ab.txt", u"C:\\t\\?.txt", false},
      {u"aXbYc", u"a*b*c", true},
      {u"abababx", u"*ab*x", true},
      {u"abc", u"", false},
      {u"abc", u";;", false},
      {u"", u"*", true},
      {u"x", u"**", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(std::u16string(c.path) + u" ~ " + c.masks));
    EXPECT_EQ(PathMatchSpec(c.path, c.masks), c.matches);
  }
}

TEST(PathMatchSpec, HostileMaskStaysLinear) {
  const std::u16string text(5000, u'a');
  const std::u16string mask = u"*a*a*a*a*a*a*a*a*a*a*a*b";
  EXPECT_FALSE(PathMatchSpec(text, mask));
}

}  // namespace
}  // namespace CV::FS
