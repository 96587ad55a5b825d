#include "foundation/path.h"

#include <gtest/gtest.h>

#include "foundation/exception.h"
#include "foundation/utf.h"
#include "support/scripted_file_system.h"

namespace CV::FS {
namespace {

std::string T(std::u16string_view s) { return ToUtf8(s); }

TEST(GetLongPath, AcceptedPaths) {
  Fake::ScriptedFileSystem fs;  // nothing exists; current directory on D:
  fs.longNames[u"C:\\PROGRA~1\\Corvane"] = u"C:\\Program Files\\Corvane";
  struct Case {
    std::u16string given;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"C:\\a", u"\\\\?\\C:\\a"}, {u"C:", u"\\\\?\\C:\\"}, {u"z:", u"\\\\?\\z:\\"}, {u"c:/a/b", u"\\\\?\\c:\\a\\b"},
      {u"  \tC:\\a b \r\n", u"\\\\?\\C:\\a b"}, {u"\"C:\\a b\"", u"\\\\?\\C:\\a b"},
      {u"xx\"C:\\a\"yy", u"\\\\?\\C:\\a"},  // text outside the quotes is dropped
      {u"\" C:\\a \"", u"\\\\?\\C:\\a"}, {u"\\\\server\\share\\x", u"\\\\?\\UNC\\server\\share\\x"},
      {u"//server/share", u"\\\\?\\UNC\\server\\share"},
      {u"\\x", u"\\\\?\\D:\\x"},  // the drive of the current directory
      {u"/x/y", u"\\\\?\\D:\\x\\y"}, {u"\\\\?\\C:\\a", u"\\\\?\\C:\\a"}, {u"\\\\?\\UNC\\s\\x", u"\\\\?\\UNC\\s\\x"},
      {u"C:\\PROGRA~1\\Corvane", u"\\\\?\\C:\\Program Files\\Corvane"}, {u"a\\b", u"a\\b"}, {u"", u""},
      {u"\"\"", u""}, {u"1:", u"1:"},  // no letter: a relative path
      {std::u16string(248, u'r'), std::u16string(248, u'r')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(T(c.given));
    EXPECT_EQ(CPath::GetLongPath(c.given, fs), c.expected);
    EXPECT_EQ(CPath(c.given, fs).String(), c.expected);
  }
}

TEST(GetLongPath, RefusedPaths) {
  Fake::ScriptedFileSystem fs;
  const std::u16string long249(249, u'r');
  struct Case {
    std::u16string given;
    HRESULT hr;
    std::u16string message;
  };
  const Case cases[] = {
      {u"\"", E_INVALIDARG, u"Ungültiger Pfad mit verschachtelten Anführungszeichen: \""},
      {u"C:\\\"a", E_INVALIDARG, u"Ungültiger Pfad mit verschachtelten Anführungszeichen: C:\\\"a"},
      {u"\"a\"b\"", E_INVALIDARG, u"Ungültiger Pfad mit verschachtelten Anführungszeichen: \"a\"b\""},
      {u"\"\"\"", E_INVALIDARG, u"Ungültiger Pfad mit verschachtelten Anführungszeichen: \"\"\""},
      {long249, E_INVALIDARG, u"Ungültiger relativer Pfad länger als MAX_PATH - 12 Zeichen: " + long249},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(T(c.given));
    try {
      CPath::GetLongPath(c.given, fs);
      ADD_FAILURE() << "no exception";
    } catch (const CException& e) {
      EXPECT_EQ(e.Error(), c.hr);
      EXPECT_EQ(e.Source(), u"CV::FS::CPath::GetLongPath");
      EXPECT_EQ(T(e.Message()), T(c.message));
    }
    EXPECT_THROW(CPath(c.given, fs), CException);
  }
  // A path that contains conversions is put into the message unchanged.
  try {
    CPath::GetLongPath(u"\"%s%d\"\"", fs);
    ADD_FAILURE() << "no exception";
  } catch (const CException& e) {
    EXPECT_EQ(T(e.Message()), T(u"Ungültiger Pfad mit verschachtelten Anführungszeichen: \"%s%d\"\""));
  }
}

TEST(GetLongPath, LongNameThatChangesBetweenTheTwoCalls) {
  Fake::ScriptedFileSystem fs;
  fs.longNames[u"C:\\x"] = u"C:\\xlong";
  for (const std::uint32_t answer : {0u, 10u}) {  // failed, and longer than announced
    SCOPED_TRACE(answer);
    fs.secondAnswer = answer;
    try {
      CPath::GetLongPath(u"C:\\x", fs);
      ADD_FAILURE() << "no exception";
    } catch (const CException& e) {
      EXPECT_EQ(e.Error(), E_UNEXPECTED);
      EXPECT_EQ(T(e.Message()), T(u"Fehler beim Ermitteln des langen Dateinamens mit GetLongPathNameW für: C:\\x"));
    }
  }
  fs.secondAnswer = 9;  // as long as announced: accepted
  EXPECT_NO_THROW(CPath::GetLongPath(u"C:\\x", fs));
  fs.secondAnswer.reset();
  EXPECT_EQ(CPath::GetLongPath(u"C:\\x", fs), u"\\\\?\\C:\\xlong");
}

TEST(CPathAppend, JoinsAndCanonicalizes) {
  Fake::ScriptedFileSystem fs;
  struct Case {
    std::u16string base;
    std::u16string part;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"\\\\?\\C:\\a\\c", u"..\\b", u"\\\\?\\C:\\a\\b"}, {u"\\\\?\\C:\\a", u".\\b", u"\\\\?\\C:\\a\\b"},
      {u"\\\\?\\C:\\a\\", u"b", u"\\\\?\\C:\\a\\b"}, {u"\\\\?\\C:\\a", u"\\\\b", u"\\\\?\\C:\\a\\b"},
      {u"\\\\?\\C:\\a", u"b/c  ", u"\\\\?\\C:\\a\\b\\c"},
      {u"\\\\?\\C:\\a", u"  b", u"\\\\?\\C:\\a\\  b"},  // only trailing blanks go
      {u"\\\\?\\C:\\a", u"\"b c\"", u"\\\\?\\C:\\a\\b c"},
      {u"\\\\?\\C:\\a", u"\"b\"c\"", u"\\\\?\\C:\\a"},  // nested quotes: nothing appended
      {u"\\\\?\\C:\\a", u"", u"\\\\?\\C:\\a"}, {u"\\\\?\\C:\\a", u"   ", u"\\\\?\\C:\\a"},
      {u"\\\\?\\C:\\a", u"\\\\\\", u"\\\\?\\C:\\a"},
      {u"\\\\?\\C:\\a\\b", u"..\\..\\..\\x", u"\\\\?\\C:\\x"},  // never above the drive
      {u"\\\\?\\C:\\a", u"b\\.\\c\\..\\d", u"\\\\?\\C:\\a\\b\\d"},
      {u"\\\\?\\C:\\a", u"b\\c\\..\\..\\d", u"\\\\?\\C:\\a\\d"}, {u"\\\\?\\C:\\a", u"...", u"\\\\?\\C:\\a\\..."},
      {u"\\\\?\\C:\\a", u"..x", u"\\\\?\\C:\\a\\..x"}, {u"\\\\?\\C:\\", u"x", u"\\\\?\\C:\\x"},
      {u"\\\\?\\UNC\\srv\\share\\d", u"..\\..\\x", u"\\\\?\\UNC\\srv\\x"},
      {u"\\\\?\\C:\\Corvane", u"CVHilfe.chm::/idE-Mail_Archiv.htm",
       u"\\\\?\\C:\\Corvane\\CVHilfe.chm::\\idE-Mail_Archiv.htm"},
      {u"a\\b", u"..\\..\\c", u"c"}, {u"a", u"..\\..\\c", u"..\\c"},  // a relative path keeps what it cannot resolve
      {u"", u"b", u"b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(T(c.base + u" + " + c.part));
    CPath path(c.base, fs);
    path.Append(c.part);
    EXPECT_EQ(path.String(), c.expected);
  }
}

TEST(CPath, PrefixesAndTheirRemoval) {
  Fake::ScriptedFileSystem fs;
  struct Case {
    std::u16string path;
    bool local;
    bool network;
    std::u16string withoutPrefix;
  };
  const Case cases[] = {
      {u"\\\\?\\C:\\a", true, false, u"C:\\a"}, {u"\\\\?\\UNC\\s\\x", true, true, u"\\\\s\\x"},
      {u"\\\\?\\unc\\s\\x", true, true, u"\\\\s\\x"},  // the network prefix ignores case
      {u"\\\\?\\", true, false, u""}, {u"a\\b", false, false, u"a\\b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(T(c.path));
    const CPath path(c.path, fs);
    EXPECT_EQ(path.HasLocalPrefix(), c.local);
    EXPECT_EQ(path.HasNetworkPrefix(), c.network);
    EXPECT_EQ(path.StringWithoutPrefix(), c.withoutPrefix);
  }
}

TEST(CPath, RemoveFileNameAndBackslash) {
  Fake::ScriptedFileSystem fs;
  struct Case {
    std::u16string path;
    bool removed;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"\\\\?\\C:\\a\\b.txt", true, u"\\\\?\\C:\\a"},
      {u"\\\\?\\C:\\a", true, u"\\\\?\\C:\\"},  // the drive keeps its backslash
      {u"\\\\?\\C:\\", false, u"\\\\?\\C:\\"},  // shorter than 8
      {u"\\\\?\\UNC\\s\\sh\\f", true, u"\\\\?\\UNC\\s\\sh"}, {u"\\\\?\\UNC\\s\\sh", false, u"\\\\?\\UNC\\s\\sh"},
      {u"\\\\?\\UNC\\s", false, u"\\\\?\\UNC\\s"}, {u"a\\b", false, u"a\\b"},  // no prefix
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(T(c.path));
    CPath path(c.path, fs);
    EXPECT_EQ(path.RemoveFileName(), c.removed);
    EXPECT_EQ(path.String(), c.expected);
  }
  const std::pair<std::u16string, std::u16string> backslash[] = {
      {u"\\\\?\\C:\\a\\", u"\\\\?\\C:\\a"}, {u"\\\\?\\C:\\", u"\\\\?\\C:\\"}, {u"ab\\", u"ab\\"},  // three characters
      {u"abc\\", u"abc"}, {u"abc", u"abc"},
  };
  for (const auto& [given, expected] : backslash) {
    SCOPED_TRACE(T(given));
    CPath path(given, fs);
    path.RemoveBackslash();
    EXPECT_EQ(path.String(), expected);
  }
}

}  // namespace
}  // namespace CV::FS
