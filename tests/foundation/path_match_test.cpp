#include "foundation/path_match.h"

#include <gtest/gtest.h>

#include "foundation/utf.h"

namespace CV::FS {
namespace {

TEST(PathMatchSpec, WildcardsListsAndCase) {
  struct Case {
    const char16_t *path, *masks;
    bool matches;
  };
  const std::u16string longName(5000, u'a');
  const Case cases[] = {
      {u"C:\\t\\a.tmp", u"*.tmp", true},         {u"C:\\t\\a.TMP", u"*.tmp", true},
      {u"C:\\t\\a.tmpx", u"*.tmp", false},       {u"C:\\t\\README", u"*.*", true},
      {u"C:\\t\\README", u"*.txt;*.tmp", false}, {u"C:\\t\\a.txt", u"*.doc; *.txt", true},
      {u"C:\\t\\a.txt", u"C:\\t\\?.txt", true},  {u"C:\\t\\ab.txt", u"C:\\t\\?.txt", false},
      {u"abababx", u"*ab*x", true},              {u"abc", u"", false},
      {u"abc", u";;", false},                    {u"", u"*", true},
      {longName.c_str(), u"*a*a*a*a*a*a*a*a*a*a*a*b", false},  // stays linear
  };
  for (const Case& c : cases) EXPECT_EQ(PathMatchSpec(c.path, c.masks), c.matches) << ToUtf8(c.masks);
}

}  // namespace
}  // namespace CV::FS
