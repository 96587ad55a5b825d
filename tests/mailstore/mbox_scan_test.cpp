// Where the loader finds the mails of an mbox file and the line breaks
// around MIME delimiter lines: the two places where a byte or a whole mail
// went missing without a word.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "mailstore/delimiter_breaks.h"
#include "mailstore/message_source.h"

namespace CV::MailStore {
namespace {

namespace fs = std::filesystem;

TEST(Mbox, WhatIsAPostmarkLine) {
  const struct {
    const char* line;
    bool postmark;
  } cases[] = {
      {"From anna@example.org Mon Dec  1 09:00:00 2025\n", true},
      {"From anna@example.org Mon Dec 1 09:00:00 2025\r\n", true},
      {"From MAILER-DAEMON Fri Jul  8 12:08:34 2011", true},
      {"From a@b Sun Jan 11 23:59:59 +0100 2026\n", true},  // a zone before the year
      {"From  a@b Sat Feb 28 00:00 2026\n", true},          // two blanks, no seconds
      {"From a@b\tTue Mar  3 07:07:07 2026\n", true},
      {"From here on it is text.\n", false},
      {"From a@b Mon Dex  1 09:00:00 2025\n", false},  // no month
      {"From a@b Mo Dec  1 09:00:00 2025\n", false},   // no weekday
      {"From a@b Mon Dec  1 9:00:00 2025\n", false},   // no time
      {"From a@b Mon Dec  1 x9:00:00 2025\n", false},  // no hour
      {"From a@b Mon Dec  1 09:x0:00 2025\n", false},  // no minute
      {"From a@b Mon Dec  x 09:00:00 2025\n", false},  // no day
      {"From a@b Mon Dec  1 09:0", false},             // cut short
      {"From  Mon Dec  1 09:00:00 2025\n", false},     // the weekday is no address
      {"From \n", false},
      {"from a@b Mon Dec  1 09:00:00 2025\n", false},
      {">From a@b Mon Dec  1 09:00:00 2025\n", false},
      {" From a@b Mon Dec  1 09:00:00 2025\n", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPostmark(c.line), c.postmark) << c.line;
}

class MboxFile : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cv-mbox-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

// Each message's bytes as the scan places them, read the way the
// mapped and the streamed reading do (the parameter).
TEST_P(MboxFile, EveryMessageFromItsPostmarkToTheNext) {
  const std::string pm = "From a@b Mon Dec  1 09:00:00 2025";
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> messages;
    std::vector<std::size_t> withoutBlankLine;
  } cases[] = {
      {"empty", "", {}, {}},
      {"one", pm + "\nS: 1\n\nText\n", {"S: 1\n\nText\n"}, {}},
      {"blank line before", pm + "\nS: 1\n\nA\n\n" + pm + "\nS: 2\n\nB\n", {"S: 1\n\nA\n", "S: 2\n\nB\n"}, {}},
      {"no blank line before", pm + "\nS: 1\n\nA\n" + pm + "\nS: 2\n\nB\n", {"S: 1\n\nA\n", "S: 2\n\nB\n"}, {2}},
      {"crlf", pm + "\r\nS: 1\r\n\r\nA\r\n\r\n" + pm + "\r\nS: 2\r\n\r\nB\r\n",
       {"S: 1\r\n\r\nA\r\n", "S: 2\r\n\r\nB\r\n"}, {}},
      {"From in the text", pm + "\nS: 1\n\nFrom here on.\n\nFrom me\n", {"S: 1\n\nFrom here on.\n\nFrom me\n"}, {}},
      {"text before the first postmark", "S: 0\n\nvorab\n" + pm + "\nS: 1\n\nA",
       {"S: 0\n\nvorab\n", "S: 1\n\nA"}, {}},
      {"no postmark at all", "S: 0\n\nnur Text", {"S: 0\n\nnur Text"}, {}},
      {"postmark last", pm + "\nS: 1\n\nA\n\n" + pm, {"S: 1\n\nA\n"}, {}},
      {"two without, one with", pm + "\nA\n" + pm + "\nB\n" + pm + "\nC\n\n" + pm + "\nD\n",
       {"A\n", "B\n", "C\n", "D\n"}, {2, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / "Archiv.mbox";
    std::ofstream(file, std::ios::binary) << c.bytes;
    const MboxScan scan = ScanMbox(file, 7, GetParam());
    EXPECT_EQ(scan.problem, "");
    std::vector<std::string> messages;
    for (const MessagePlace& place : scan.places) {
      EXPECT_EQ(place.file, 7u);
      EXPECT_FALSE(place.wholeFile);
      messages.push_back(c.bytes.substr(place.offset, place.length));
    }
    EXPECT_EQ(messages, c.messages);
    EXPECT_EQ(scan.withoutBlankLine, c.withoutBlankLine);
    EXPECT_EQ(scan.stamp.size, c.bytes.size());
    EXPECT_EQ(StampOfFile(file), scan.stamp);
  }
}

TEST_P(MboxFile, OneThatCannotBeReadIsAProblem) {
  MboxScan scan = ScanMbox(dir / "fehlt.mbox", 0, GetParam());
  EXPECT_NE(scan.problem.find("cannot be opened"), std::string::npos) << scan.problem;
  EXPECT_TRUE(scan.places.empty());
  scan = ScanMbox(dir, 0, GetParam());  // a directory opens, but reads fail
  EXPECT_NE(scan.problem, "");
  EXPECT_TRUE(scan.places.empty());
  EXPECT_EQ(StampOfFile(dir / "fehlt.mbox"), std::nullopt);
}

TEST_P(MboxFile, LongerThanOnePieceOfTheStream) {
  const std::string pm = "From a@b Mon Dec  1 09:00:00 2025\n";
  const std::string big(3 << 20, 'x');
  const fs::path file = dir / "gross.mbox";
  std::ofstream(file, std::ios::binary) << pm << "S: 1\n\n" << big << "\n\n" << pm << "S: 2\n\nB\n";
  const MboxScan scan = ScanMbox(file, 0, GetParam());
  ASSERT_EQ(scan.places.size(), 2u);
  EXPECT_EQ(scan.places[0].length, 6 + big.size() + 1);
  EXPECT_EQ(scan.places[1].offset, pm.size() + 6 + big.size() + 2 + pm.size());
  EXPECT_EQ(scan.places[1].length, 8u);
}

INSTANTIATE_TEST_SUITE_P(MappedAndStreamed, MboxFile, ::testing::Bool());

TEST(DelimiterBreaks, EachDelimiterLineEndsAsTheLineBeforeIt) {
  const struct {
    const char* name;
    std::string message;
    std::optional<std::string> matched;  // nullopt: nothing to change
  } cases[] = {
      {"crlf only", "A\r\n--b\r\nB\r\n--b--\r\n", std::nullopt},
      {"lf only", "A\n--b\nB\n--b--\n", std::nullopt},
      {"lf part, crlf delimiters", "H\r\n\r\n--b\r\nX\r\n\r\nENDE\n--b--\r\n",
       "H\r\n\r\n--b\r\nX\r\n\r\nENDE\n--b--\n"},
      {"crlf part, lf delimiters", "H\n\n--b\nX\n\nENDE\r\n--b--\n", "H\n\n--b\nX\n\nENDE\r\n--b--\r\n"},
      {"other boundary left alone", "H\r\nA\n--c\r\nB\r\n", std::nullopt},
      {"a prefix of the boundary is no delimiter", "H\r\nA\n--\r\n-b\r\n", std::nullopt},
      {"last line without break", "H\r\nA\n--b--", std::nullopt},
      {"both ways in one message", "H\r\n--b\r\nA\n--b\r\nB\r\n--b\nC\n--b--\r\n",
       "H\r\n--b\r\nA\n--b\nB\r\n--b\r\nC\n--b--\n"},
      {"delimiter first", "--b\r\nA\n", std::nullopt},
      {"the only bare lf is the first byte", "\n--b\r\nA\r\n", "\n--b\nA\r\n"},
      {"the only bare lf comes last", "H\r\nA\r\n\r\nX\n--b\r\n", "H\r\nA\r\n\r\nX\n--b\n"},
      {"the only crlf comes last", "H\nA\n\nX\r\n--b\n", "H\nA\n\nX\r\n--b\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto matched = MatchDelimiterBreaks(c.message, {"", "b"});
    ASSERT_EQ(matched.has_value(), c.matched.has_value());
    if (!matched) continue;
    EXPECT_EQ(matched->bytes, *c.matched);
    // Every byte that is not an edited CR maps back to the same byte as it came.
    for (std::size_t at = 0; at < matched->bytes.size(); ++at) {
      const std::size_t original = matched->Original(at);
      ASSERT_LT(original, c.message.size()) << at;
      if (matched->bytes[at] != '\r') {
        EXPECT_EQ(c.message[original], matched->bytes[at]) << at;
      }
    }
    EXPECT_EQ(matched->Original(matched->bytes.size()), c.message.size());
  }
  EXPECT_EQ(MatchDelimiterBreaks("A\r\nB\n--b\r\n", {}), std::nullopt);
}

}  // namespace
}  // namespace CV::MailStore
