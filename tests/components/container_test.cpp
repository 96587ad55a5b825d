// The pieces of our container writer: SHA-256 against the FIPS
// 180-4 examples, the ZIP writer and reader (ZIP64 by count and by size
// bound, dropped members), and the MIME composition's header texts, dates,
// locations and folder names.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

#include "components/component_registry.h"
#include "components/container/container_check.h"
#include "components/container/manifest.h"
#include "components/container/container_part.h"
#include "components/container/container_writer.h"
#include "components/container/export_outcome.h"
#include "foundation/com_error.h"
#include "components/container/member_pipeline.h"
#include "components/email_object.h"
#include "foundation/lifetime.h"
#include "support/faulty_file_system.h"
#include "support/reference_mails.h"
#include "support/scratch_directory.h"
#include "components/container/mime_message.h"
#include "components/container/sha256.h"
#include "components/container/spool_file.h"
#include "components/container/zip_format.h"
#include "components/container/zip_reader.h"
#include "components/container/zip_writer.h"
#include "components/container/write_failure.h"
#include "sim/posix_paths.h"

namespace CV::Components {
namespace {

namespace fs = std::filesystem;

FS::IFileSystem& Files() { return FS::DefaultFileSystem(); }
// A path as the file-system port takes it.
std::u16string Port(const fs::path& path) { return FS::ToWindows(path.string()); }
fs::path Posix(std::u16string_view port) {
  std::string path;
  EXPECT_EQ(FS::ToPosix(port, path), 0);
  return path;
}

std::string ShaOf(const std::string& bytes) {
  Sha256 sha;
  sha.Update(bytes.data(), bytes.size());
  return Sha256::Hex(sha.Final());
}

TEST(Sha256, FipsExamples) {
  EXPECT_EQ(ShaOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(ShaOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(ShaOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  Sha256 sha;
  const std::string thousand(1000, 'a');
  for (int i = 0; i < 1000; ++i) sha.Update(thousand.data(), thousand.size());
  EXPECT_EQ(Sha256::Hex(sha.Final()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

class ZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cv-zip-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  // Python's zipfile, where there is a Python, reads every member clean.
  void PythonReads(const fs::path& zip) {
    if (std::system("python3 -c 'pass' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    const std::string command = "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                                "sys.exit(z.testzip() is not None)\" '" + zip.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  fs::path dir;
};

TEST_F(ZipTest, MembersComeBackAndADroppedOneLeavesNoTrace) {
  const fs::path path = dir / "a.zip";
  {
    ZipWriter zip(Files(), Port(path), 6);
    zip.Begin("eins/1.txt", 10);
    zip.Write("Grüße");
    zip.End();
    zip.Begin("weg.txt", 1 << 20);
    zip.Write(std::string(100000, 'x'));
    zip.Drop();  // half-written: its space is used again
    zip.Begin("ümlaut/2.bin", 1ull << 33);  // a bound beyond 4 GB: ZIP64 sizes in the local header
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>(i * 7919 % 251);
    zip.Write(binary);
    zip.End();
    zip.Begin("leer", 0);
    zip.End();
    zip.Finish();
  }
  ZipReader reader(path);
  ASSERT_EQ(reader.Entries().size(), 3u);
  EXPECT_EQ(reader.ReadAll(*reader.Find("eins/1.txt")), "Grüße");
  EXPECT_EQ(reader.ReadAll(*reader.Find("ümlaut/2.bin")).size(), 70000u);
  {  // a read of nothing is no end: the member goes on after it, whole
    const auto stream = reader.Open(*reader.Find("ümlaut/2.bin"));
    char piece[4096];
    std::size_t total = stream->Read(piece, 0);
    for (std::size_t n; (n = stream->Read(piece, sizeof piece)) > 0; total += n) EXPECT_EQ(stream->Read(piece, 0), 0u);
    EXPECT_EQ(total, 70000u);
  }
  EXPECT_EQ(reader.ReadAll(*reader.Find("leer")), "");
  EXPECT_EQ(reader.Find("weg.txt"), nullptr);
  PythonReads(path);

  // Dropped last, a member longer than the directory that follows leaves
  // nothing behind it: the file ends with the directory's end record.
  const fs::path last = dir / "b.zip";
  {
    ZipWriter zip(Files(), Port(last), 6);
    zip.Begin("eins/1.txt", 10);
    zip.Write("Grüße");
    zip.End();
    zip.Begin("weg.bin", 4 << 20);
    std::mt19937 random(53);
    std::string noise(2 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random());  // deflate cannot make it smaller
    zip.Write(noise);
    zip.Drop();
    zip.Finish();
  }
  std::ifstream in(last, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 22u);
  EXPECT_EQ(bytes.substr(bytes.size() - 22, 4), std::string("PK\x05\x06"));
  EXPECT_LT(bytes.size(), 1000u);
}

// A member bigger than 4 GB (zeros: small once deflated) has its sizes in
// the ZIP64 extra field of its directory record, a member after it none.
TEST_F(ZipTest, AMemberOverFourGigabytesHasItsSizesInTheZip64Extra) {
  const fs::path path = dir / "gross.zip";
  constexpr std::uint64_t kBig = (1ull << 32) + 3;
  {
    ZipWriter zip(Files(), Port(path), 1);
    zip.Begin("gross.bin", kBig);
    const std::string zeros(1 << 20, '\0');
    std::uint64_t left = kBig;
    for (; left >= zeros.size(); left -= zeros.size()) zip.Write(zeros);
    zip.Write(zeros.data(), static_cast<std::size_t>(left));
    zip.End();
    zip.Begin("klein.txt", 5);
    zip.Write("klein");
    zip.End();
    zip.Finish();
  }
  ZipReader reader(path);
  ASSERT_EQ(reader.Entries().size(), 2u);
  EXPECT_EQ(reader.Entries()[0].size, kBig);
  EXPECT_LT(reader.Entries()[0].compressedSize, kBig / 100);
  EXPECT_EQ(reader.ReadAll(*reader.Find("klein.txt")), "klein");
  if (std::system("python3 -c 'pass' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  const std::string command = "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                              "i=z.infolist(); sys.exit(not (i[0].file_size==" + std::to_string(kBig) +
                              " and z.read('klein.txt')==b'klein'))\" '" + path.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

// An empty member may sit at the very end of the file: its data, none,
// starts where the file ends (here inside the end record's comment).
TEST_F(ZipTest, AnEmptyMemberWhoseDataStartsAtTheEndOfTheFileIsRead) {
  using namespace Zip;
  std::string central, end, local;
  Put32(local, 0x04034B50), Put16(local, 20), Put16(local, 0), Put16(local, 0), Put32(local, 0), Put32(local, 0);
  Put32(local, 0), Put32(local, 0), Put16(local, 1), Put16(local, 0);
  local += "a";
  Put32(central, 0x02014B50), Put16(central, 20), Put16(central, 20), Put16(central, 0), Put16(central, 0);
  Put32(central, 0), Put32(central, 0), Put32(central, 0), Put32(central, 0), Put16(central, 1);
  Put16(central, 0), Put16(central, 0), Put16(central, 0), Put16(central, 0), Put32(central, 0);
  Put32(central, 46 + 1 + 22);  // the local header: after this record and the end record
  central += "a";
  Put32(end, 0x06054B50), Put16(end, 0), Put16(end, 0), Put16(end, 1), Put16(end, 1);
  Put32(end, static_cast<std::uint32_t>(central.size())), Put32(end, 0);
  Put16(end, static_cast<std::uint16_t>(local.size()));
  const fs::path path = dir / "rand.zip";
  std::ofstream(path, std::ios::binary) << central << end << local;
  ZipReader reader(path);
  ASSERT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.ReadAll(reader.Entries()[0]), "");
}

TEST_F(ZipTest, ASecondMemberCannotBeginBeforeTheFirstEnds) {
  ZipWriter zip(Files(), Port(dir / "a.zip"), 6);
  zip.Begin("eins", 10);
  EXPECT_THROW(zip.Begin("zwei", 10), ZipError);
  zip.Write("eins");
  zip.End();
  zip.Finish();
  ZipReader reader(dir / "a.zip");
  ASSERT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.ReadAll(reader.Entries()[0]), "eins");
}

// A write that fails once on the pipeline's thread (a full disk for a
// moment) fails the export, though every later write succeeds: a member
// lost on the way must never make a container that only lacks it.
TEST_F(ZipTest, AWriteThatFailsOnceOnThePipelinesThreadReachesTheCaller) {
  Fake::FaultyFileSystem files;
  files.Plan("WriteAt", Sim::FaultPlan{Win32Error::DiskFull, 1, false});
  std::mt19937 random(49);
  std::string noise(1 << 20, '\0');  // past the writer's buffer: written at once, on that thread
  for (char& c : noise) c = static_cast<char>(random());
  ZipWriter zip(files, Port(dir / "voll.zip"), 6);
  MemberPipeline pipeline(zip, 6, std::size_t{1} << 30);
  int written = 0;
  const auto add = [&](const std::string& name) {
    pipeline.Add({name, noise.size(), noise, [&written](const ZipWriter::Member&) { ++written; }, {}});
  };
  try {
    add("eins.bin");
    add("zwei.bin");
    pipeline.Flush();
    ADD_FAILURE() << "the failed write went unseen";
  } catch (const std::exception&) {
  }
  EXPECT_EQ(files.Calls("WriteAt"), 1u);  // nothing written after the failure
  EXPECT_EQ(written, 0);
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Members deflated ahead, on both cores, give the same file whoever
// deflates them, and each reads back whole, a ZIP64 local header included.
TEST_F(ZipTest, MembersDeflatedAheadGiveTheSameFileWhicheverThreadDeflatesThem) {
  std::vector<std::pair<std::string, std::string>> members;
  std::uint32_t state = 1;
  for (int i = 0; i < 40; ++i) {
    std::string bytes;
    const std::size_t size = i == 0 ? 0 : (i * 7919u) % 300000;
    for (std::size_t k = 0; k < size; ++k) {
      state = state * 1103515245u + 12345u;
      bytes += i % 3 ? static_cast<char>('a' + (state >> 16) % 7) : static_cast<char>(state >> 16);
    }
    members.emplace_back("m/" + std::to_string(i), std::move(bytes));
  }
  const auto bound = [](std::size_t i, const std::string& bytes) { return i == 5 ? 1ull << 33 : bytes.size(); };
  const std::time_t moment = 1764576000;  // 2025-12-01 08:00 UTC
  std::tm local{};
  ASSERT_NE(localtime_r(&moment, &local), nullptr);
  const auto dosTime = static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  const auto dosDate = static_cast<std::uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  std::optional<std::string> first;
  for (const std::size_t limit : {std::size_t{1}, std::size_t{1} << 30}) {  // always helping, never helping
    SCOPED_TRACE(limit);
    const fs::path path = dir / ("ahead-" + std::to_string(limit) + ".zip");
    {
      ZipWriter zip(Files(), Port(path), 6);
      zip.SetTime(moment);
      {
        MemberPipeline pipeline(zip, 6, limit);
        int written = 0;
        for (std::size_t i = 0; i < members.size(); ++i)
          pipeline.Add({members[i].first, bound(i, members[i].second), members[i].second,
                        [&written, i](const ZipWriter::Member& m) { EXPECT_EQ(written++, static_cast<int>(i)) << m.name; }});
        pipeline.Flush();
        EXPECT_EQ(written, 40);
      }
      zip.Finish();
    }
    const std::string bytes = FileBytes(path);
    if (first) EXPECT_TRUE(bytes == *first);
    else first = bytes;
    ZipReader reader(path);
    ASSERT_EQ(reader.Entries().size(), members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
      const ZipReader::Entry& entry = reader.Entries()[i];
      EXPECT_EQ(entry.name, members[i].first);
      EXPECT_TRUE(reader.ReadAll(entry) == members[i].second) << entry.name;
      EXPECT_EQ(reader.ReadLocalHeader(entry).size, members[i].second.size()) << entry.name;
      // The local header's own size field: blank where its ZIP64 extra holds it.
      std::uint32_t stated = 0;
      std::memcpy(&stated, bytes.data() + entry.offset + 22, 4);
      EXPECT_EQ(stated == Zip::kMax32, i == 5) << entry.name;
      // Dated with the moment set, as the machine's local time.
      std::uint16_t time = 0, date = 0;
      std::memcpy(&time, bytes.data() + entry.offset + 10, 2);
      std::memcpy(&date, bytes.data() + entry.offset + 12, 2);
      EXPECT_EQ(time, dosTime) << entry.name;
      EXPECT_EQ(date, dosDate) << entry.name;
    }
    PythonReads(path);
  }
}

// The level asked for is the level used, also when a thread switches
// between levels.
TEST(MemberDeflate, EachCallDeflatesAtItsOwnLevel) {
  std::string text;
  std::uint32_t state = 7;
  for (int k = 0; k < 200000; ++k) {
    state = state * 1103515245u + 12345u;
    text += static_cast<char>('a' + (state >> 16) % 11);
    if (k % 9 == 0) text += ' ';
  }
  const std::size_t fast = Deflate(text, 1).data.size();
  const std::size_t best = Deflate(text, 9).data.size();
  EXPECT_LT(best, fast);
  EXPECT_EQ(Deflate(text, 1).data.size(), fast);
  EXPECT_GT(Deflate(text, 0).data.size(), text.size());  // stored, not deflated
  EXPECT_EQ(Deflate(text, 9).data, Deflate(text, 9).data);
  const DeflatedMember empty = Deflate("", 6);
  EXPECT_EQ(empty.size, 0u);
  EXPECT_EQ(empty.crc, 0u);
  EXPECT_FALSE(empty.data.empty());  // one final block, even for nothing
}

TEST_F(ZipTest, SeventyThousandMembersNeedZip64Records) {
  const fs::path path = dir / "many.zip";
  {
    ZipWriter zip(Files(), Port(path), 1);
    for (int i = 0; i < 70000; ++i) {
      zip.Begin("m/" + std::to_string(i), 16);
      zip.Write(std::to_string(i));
      zip.End();
    }
    zip.Finish();
  }
  ZipReader reader(path);
  ASSERT_EQ(reader.Entries().size(), 70000u);
  EXPECT_EQ(reader.ReadAll(reader.Entries()[69999]), "69999");
  PythonReads(path);
}

// An empty archive in ZIP64 form: the record, its locator, and an end
// record whose counts send the reader to them.
TEST_F(ZipTest, TheZip64RecordsAreFoundOnlyThroughTheirSignatures) {
  const auto bytes = [](std::uint64_t value, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
  };
  const auto archive = [&](std::uint32_t locatorSignature, std::uint32_t recordSignature) {
    std::string record = bytes(recordSignature, 4) + bytes(44, 8) + bytes(45, 2) + bytes(45, 2) + bytes(0, 8) +
                         bytes(0, 8) + bytes(0, 8) + bytes(0, 8) + bytes(0, 8);
    std::string locator = bytes(locatorSignature, 4) + bytes(0, 4) + bytes(0, 8) + bytes(1, 4);
    std::string end = bytes(0x06054b50, 4) + bytes(0, 4) + bytes(0xFFFF, 2) + bytes(0xFFFF, 2) +
                      bytes(0xFFFFFFFF, 4) + bytes(0xFFFFFFFF, 4) + bytes(0, 2);
    const fs::path path = dir / "zip64.zip";
    std::ofstream(path, std::ios::binary) << record + locator + end;
    return path;
  };
  EXPECT_TRUE(ZipReader(archive(0x07064b50, 0x06064b50)).Entries().empty());
  EXPECT_THROW(ZipReader{archive(0x07064b51, 0x06064b50)}, ZipError) << "the locator's signature";
  EXPECT_THROW(ZipReader{archive(0x07064b50, 0x06064b51)}, ZipError) << "the record's signature";
}

TEST_F(ZipTest, WhatIsNoZipFileIsRefused) {
  const fs::path path = dir / "no.zip";
  { std::ofstream(path) << "PK\x03\x04 but nothing more"; }
  EXPECT_THROW(ZipReader{path}, ZipError);
  EXPECT_THROW(ZipWriter(Files(), Port(dir / "missing" / "x.zip"), 6), ZipError);
}

TEST_F(ZipTest, TheSpoolLeavesNoFileAndGivesBackWhatItGot) {
  std::string expected;
  {
    SpoolFile spool(Files(), Port(dir), 7);  // pieces smaller than what was appended, and a short last one
    for (int i = 0; i < 1000; ++i) {
      const std::string text = std::to_string(i) + (i % 3 ? "," : "\n");
      spool.Append(text);
      expected += text;
    }
    for (int round = 0; round < 2; ++round) {
      std::string back;
      std::size_t largest = 0;
      spool.ReadBack([&](std::string_view piece) {
        back += piece;
        largest = std::max(largest, piece.size());
      });
      EXPECT_EQ(back, expected);
      EXPECT_EQ(largest, 7u);
    }
    spool.Append("!");  // appending goes on after a read-back
    std::string back;
    spool.ReadBack([&](std::string_view piece) { back += piece; });
    EXPECT_EQ(back, expected + "!");
  }
  EXPECT_TRUE(fs::is_empty(dir));  // gone with its handle (on POSIX outside the strict mode at once)
  EXPECT_THROW(SpoolFile(Files(), Port(dir / "missing")), WriteFailure);
}

TEST(Mime, DisplayTextsBecomeGroups) {
  const std::pair<std::u16string_view, std::string> cases[] = {
      {u"Schulz (Meier)", "\"Schulz (Meier)\": ;"},
      {u"Müller", "=?UTF-8?B?TcO8bGxlcg==?= : ;"},
      {u"say \"hi\" \\ bye", "\"say \\\"hi\\\" \\\\ bye\": ;"},
      {u"tab\there", "=?UTF-8?B?dGFiCWhlcmU=?= : ;"},
  };
  for (const auto& [text, header] : cases) EXPECT_EQ(DisplayGroup(text), header);
  const std::string words = DisplayGroup(std::u16string(100, u'ä') + u" " + std::u16string(100, u'ö'));
  EXPECT_NE(words.find("?=\r\n =?UTF-8?B?"), std::string::npos);  // split at the blank only
}

// The texts of a header's encoded words, each decoded on its own.
std::vector<std::string> DecodedWords(const std::string& header) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<std::string> words;
  for (std::size_t at = 0; (at = header.find("=?UTF-8?B?", at)) != std::string::npos;) {
    at += 10;
    std::string out;
    unsigned bits = 0, count = 0;
    for (; at < header.size() && header[at] != '?' && header[at] != '='; ++at) {
      bits = (bits << 6) | static_cast<unsigned>(alphabet.find(header[at])), count += 6;
      if (count >= 8) out += static_cast<char>((bits >> (count -= 8)) & 0xFF);
    }
    words.push_back(out);
  }
  return words;
}

// Each encoded word holds whole characters (readers decode them one by
// one), of one, two, three and four bytes, and together the whole text.
TEST(Mime, EncodedWordsNeverCutACharacter) {
  for (const std::u16string& text : {std::u16string(60, u'\u00e4'), std::u16string(60, u'\u20ac'),
                                     std::u16string(u"a\u00e4\u20ac\U0001F600") + std::u16string(90, u'\u20ac'),
                                     std::u16string(u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                                                    u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
                                                    u"\U0001F600\U0001F600\U0001F600\U0001F600x")}) {
    const std::vector<std::string> words = DecodedWords(UnstructuredText(text));
    std::string whole;
    for (const std::string& piece : words) {
      EXPECT_EQ(ToUtf8(FromUtf8(piece)), piece) << "a word ends inside a character";
      EXPECT_FALSE(piece.empty() || (static_cast<unsigned char>(piece[0]) & 0xC0) == 0x80)
          << "a word starts inside a character";
      whole += piece;
    }
    EXPECT_GT(words.size(), 1u);
    EXPECT_EQ(whole, ToUtf8(text));
  }
  // A display name cut at its blank: each word is its own bytes, however
  // many (7 here: the last base64 group holds one byte).
  const std::string group = DisplayGroup(u"J\u00fcrgen " + std::u16string(45, u'x'));
  EXPECT_EQ(DecodedWords(group), (std::vector<std::string>{"J\xc3\xbcrgen", std::string(45, 'x')}));
  std::string xs;
  for (int i = 0; i < 15; ++i) xs += "eHh4";
  EXPECT_EQ(group, "=?UTF-8?B?SsO8cmdlbg==?=\r\n =?UTF-8?B?" + xs + "?= : ;");  // padding bits zero, too
  // The blank right at the word's limit, one letter after it: still the cut.
  const std::string last = DisplayGroup(u"\u00d6" + std::u16string(43, u'a') + u" Z");
  EXPECT_EQ(DecodedWords(last), (std::vector<std::string>{"\xc3\x96" + std::string(43, 'a'), "Z"}));
}

TEST(Mime, UnstructuredTextStaysPlainOnlyWhenItCan) {
  EXPECT_EQ(UnstructuredText(u"Angebot Nr. 7"), "Angebot Nr. 7");
  for (std::u16string_view text : {u"Grüße", u"a\r\nb", u" padded", u"has =?x?= in it"})
    EXPECT_TRUE(UnstructuredText(text).starts_with("=?UTF-8?B?"));
  // Long texts: unpadded words where the characters allow it.
  const std::string long_ = UnstructuredText(std::u16string(400, u'ä'));
  EXPECT_EQ(long_.find("=?=\r\n"), std::string::npos);  // only the last word may be padded
}

TEST(Mime, DatesCarryTheMomentsOwnOffset) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  EXPECT_EQ(RfcDate(46000.5), "Tue, 09 Dec 2025 12:00:00 +0100");
  EXPECT_EQ(IsoDate(46000.5), "2025-12-09T12:00:00+01:00");
  EXPECT_EQ(IsoDate(45856.75), "2025-07-18T18:00:00+02:00");  // summer time
  EXPECT_EQ(RfcDate(2.0), "Mon, 01 Jan 1900 00:00:00 +0100");  // a mail of any year keeps its date
  EXPECT_EQ(IsoDate(-657434.0).value_or("").substr(0, 19), "0100-01-01T00:00:00");  // the first OLE day
  EXPECT_EQ(IsoDate(1e300), std::nullopt);
  EXPECT_EQ(IsoDate(2958465.0), "9999-12-31T00:00:00+01:00");  // the last day there is
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

TEST(Mime, LocationsFolderNamesCharsetsAndTypes) {
  EXPECT_EQ(UrlPath(u"Content-Dateien\\image001.png"), "Content-Dateien/image001.png");
  EXPECT_EQ(UrlPath(u"Bilder\\Gr\u00FC\u00DFe 1.png"), "Bilder/Gr%FC%DFe%201.png");  // bytes of an 8-bit body
  EXPECT_EQ(UrlPath(u"\u20AC.png"), "%E2%82%AC.png");
  EXPECT_EQ(MemberFolder(u"Persönliche Ordner\\Posteingang"), "Persönliche Ordner/Posteingang");
  EXPECT_EQ(MemberFolder(u"A%B\\a/b\\ x.\\.y\\q?*:"), "A%25B/a%2Fb/%20x%2E/%2Ey/q%3F%2A%3A");
  for (const auto& [folder, member] : {std::pair<std::u16string_view, std::string_view>{u"", "_"}, {u"a\\\\b", "a/_/b"},
                                       {u"\\a\\", "_/a/_"}})
  {
    EXPECT_EQ(MemberFolder(folder), member);
    EXPECT_TRUE(IsMailMemberName("mails/" + MemberFolder(folder) + "/000001.eml")) << member;
  }
  EXPECT_EQ(HtmlCharset("<meta http-equiv=Content-Type content=\"text/html; charset=windows-1252\">"), "windows-1252");
  EXPECT_EQ(HtmlCharset("<meta charset='UTF-8'>"), "UTF-8");
  EXPECT_EQ(HtmlCharset("\xFF\xFE<\0h\0"), "utf-16");
  EXPECT_EQ(HtmlCharset("<p>no declaration</p>"), "");
  for (const char* eightBit : {"\xFE<p>", "<\xFF", "\xFF<p>"}) EXPECT_EQ(HtmlCharset(eightBit), "") << eightBit;
  EXPECT_EQ(ContentType(u"a.PNG"), "image/png");
  EXPECT_EQ(ContentType(u"README"), "application/octet-stream");
}

}  // namespace
}  // namespace CV::Components

namespace CV::Components {
namespace {

class FixedTarget final : public IExportTargetChooser {
 public:
  explicit FixedTarget(fs::path file) : m_file(std::move(file)) {}
  std::optional<ExportTarget> Choose() override { return ExportTarget{Port(m_file), u"Referenz"}; }

 private:
  fs::path m_file;
};

// The reference mails through the writer on this platform: its members and
// manifest are the bytes the Windows build writes too (a Wine test holds it
// to the same list). CV_WRITE_REFERENCE=1 writes the list anew.
// A mail's member name must extract on Windows as it stands: a path below
// "mails/" of non-empty segments, none "." or "..", without control bytes or
// what Windows forbids in a name. Bytes of UTF-8 (0x80 and up) are welcome.
TEST(Manifest, MailMemberNamesThatExtractOnWindows) {
  const std::pair<std::string, bool> cases[] = {
      {"mails/a/000001.eml", true},
      {"mails/a", true},
      {"mails/", false},
      {"mail/a", false},
      {"Mails/a", false},
      {"xmails/a", false},
      {"mails//a", false},
      {"mails/a/", false},
      {"mails/./a", false},
      {"mails/../a", false},
      {"mails/a/..", false},
      {"mails/.a/..b", true},
      {"mails/a\x1F", false},
      {"mails/a\x01", false},
      {"mails/a b", true},  // 0x20, the first byte allowed
      {"mails/a~", true},   // 0x7E
      {"mails/a\x7F", false},
      {"mails/Gr\xC3\xBC\xC3\x9F" "e", true},
      {"mails/a\x80", true},
      {std::string("mails/a\0b", 9), false},
  };
  for (const auto& [name, valid] : cases) EXPECT_EQ(IsMailMemberName(name), valid) << name;
  for (const char forbidden : std::string_view("\\:<>\"|?*"))
    EXPECT_FALSE(IsMailMemberName(std::string("mails/a") + forbidden + "b")) << forbidden;
}

TEST(ReferenceContainer, MembersAndManifestAreTheRecordedBytes) {
  Fake::ScratchDirectory scratch;
  const auto mails = Fake::WriteReferenceMails(FS::DefaultFileSystem(), scratch.Path() + u"\\");
  // In a directory of its own: the writer clears what it takes for its
  // leftovers in the target's folder, and a fault there must not reach
  // anyone else's files.
  const fs::path file = Posix(scratch / u"Referenz.zip");
  {
    auto writer = std::make_shared<CContainerWriter>(
        WriterPorts{std::make_shared<FixedTarget>(file), nullptr, ProcessLifetime(FS::DefaultFileSystem()), 6});
    writer->Invoke(u"Option", InvokeKind::PropertyPut, {Variant::FromBool(true)});
    writer->Invoke(u"SourceApplication", InvokeKind::PropertyPut, {Variant::FromBstr(Bstr(u"Microsoft Outlook 2010"))});
    writer->Invoke(u"MailCount", InvokeKind::PropertyPut, {Variant::FromI4(3)});
    ASSERT_FALSE(writer->Invoke(u"BeginExport", InvokeKind::Method, {}).AsBool());
    for (const auto& mail : mails) {
      auto email = std::make_shared<CEMail>();
      for (const auto& [name, value] : mail.properties) email->Invoke(name, InvokeKind::PropertyPut, {value});
      for (const auto& [name, args] : mail.calls) {
        std::vector<Variant> values;
        for (const auto& arg : args) values.push_back(Variant::FromBstr(Bstr(arg)));
        email->Invoke(name, InvokeKind::Method, values);
      }
      ASSERT_FALSE(writer->Invoke(u"AddEMail", InvokeKind::Method, {Variant::FromObject(email)}).AsBool());
    }
    for (const auto& [name, value] : Fake::ReferenceProperties())
      writer->Invoke(u"SetProperty", InvokeKind::Method, {Variant::FromBstr(Bstr(name)), Variant::FromBstr(Bstr(value))});
    writer->Invoke(u"EndExport", InvokeKind::Method, {});
    // Ended, the container is the user's at once, whoever still holds the writer.
    std::unique_ptr<FS::IReadableFile> reader;
    EXPECT_EQ(Files().OpenForReading(Port(file), reader), 0) << "the writer still holds its container open";
  }
  const std::vector<std::string> digests = Fake::MemberDigests(file.string());
  fs::remove(file);
  const fs::path recorded = fs::path(CV_TEST_DATA) / "container" / "reference-sha256.txt";
  if (std::getenv("CV_WRITE_REFERENCE")) {
    std::ofstream out(recorded, std::ios::binary);
    for (const auto& line : digests) out << line << "\n";
  }
  std::ifstream in(recorded);
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  EXPECT_EQ(digests, expected);
  EXPECT_EQ(digests.size(), 5u);  // three mails, the viewer, the manifest
}

// The host's check of each composed message: what it names goes into the
// manifest with that mail, a whole mail and one the host cannot check add
// nothing, and the container stays one verify accepts.
TEST(ContentCheck, WhatAMailLacksGoesIntoTheManifest) {
  Fake::ScratchDirectory scratch;
  const fs::path file = Posix(scratch / u"Pruefung.zip");
  std::atomic<int> checks = 0;
  WriterPorts ports{std::make_shared<FixedTarget>(file), nullptr, ProcessLifetime(FS::DefaultFileSystem()), 6};
  ports.check = [&](std::u16string_view, std::u16string_view entryId) -> ContentCheck {
    if (entryId == u"E3") return nullptr;  // nothing to check with
    return [&checks, whole = entryId == u"E2"](std::string_view message) {
      ++checks;
      EXPECT_NE(message.find("Subject: Betreff"), std::string_view::npos);
      return whole ? std::vector<std::string>{} : std::vector<std::string>{"Anhang „a.pdf“ fehlt", "Bild „b“ fehlt"};
    };
  };
  {
    auto writer = std::make_shared<CContainerWriter>(ports);
    ASSERT_FALSE(writer->Invoke(u"BeginExport", InvokeKind::Method, {}).AsBool());
    for (const char16_t* id : {u"E1", u"E2", u"E3"}) {
      auto email = std::make_shared<CEMail>();
      email->Invoke(u"Subject", InvokeKind::PropertyPut, {Variant::FromBstr(Bstr(u"Betreff"))});
      email->Invoke(u"EntryID", InvokeKind::PropertyPut, {Variant::FromBstr(Bstr(id))});
      ASSERT_FALSE(writer->Invoke(u"AddEMail", InvokeKind::Method, {Variant::FromObject(email)}).AsBool());
    }
    writer->Invoke(u"EndExport", InvokeKind::Method, {});
  }
  EXPECT_EQ(checks, 2);
  ZipReader zip(file);
  const auto manifest = nlohmann::json::parse(zip.ReadAll(*zip.Find("manifest.json")));
  ASSERT_EQ(manifest["mails"].size(), 3u);
  EXPECT_EQ(manifest["mails"][0]["missing"], nlohmann::json({"Anhang „a.pdf“ fehlt", "Bild „b“ fehlt"}));
  EXPECT_FALSE(manifest["mails"][1].contains("missing"));
  EXPECT_FALSE(manifest["mails"][2].contains("missing"));
  EXPECT_EQ(CheckStructure(zip), std::vector<std::string>{});
  fs::remove(file);
}

TEST(ExportOutcome, MessageNamesTheContainerAndTheMailsOrWhyThereIsNone) {
  const std::u16string file = u"/archiv/Mailarchiv 2026-12-06.zip";
  const std::u16string head = u"Das Archiv „Mailarchiv 2026-12-06.zip“ wurde erstellt.\nOrdner: /archiv\n\n";
  const struct {
    ExportOutcome outcome;
    std::u16string message;
  } cases[] = {
      {{file, 3, 3, ""}, head + u"Es enthält alle 3 E-Mails."},
      {{file, 1, 1, ""}, head + u"Es enthält die E-Mail."},
      {{file, 0, 0, ""}, head + u"Es enthält keine E-Mails."},
      {{file, 5, 3, ""}, head + u"Es enthält 3 von 5 E-Mails; 2 E-Mails wurden nicht archiviert."},
      {{file, 2, 1, ""}, head + u"Es enthält 1 von 2 E-Mails; 1 E-Mail wurde nicht archiviert."},
      {{std::nullopt, 3, 2, "Der Datenträger ist voll: „/archiv/x“ konnte nicht geschrieben werden."},
       u"Es wurde kein Archiv erstellt.\n\nGrund: Der Datenträger ist voll: „/archiv/x“ konnte nicht geschrieben werden."},
      // Windows paths, the root of a drive among them, keep their own separators.
      {{u"C:\\Ablage \u00c4\\Mailarchiv \u0141\u00f3d\u017a \u6771\u4eac.zip", 1, 1, ""},
       u"Das Archiv „Mailarchiv \u0141\u00f3d\u017a \u6771\u4eac.zip“ wurde erstellt.\nOrdner: C:\\Ablage \u00c4\n\n"
       u"Es enthält die E-Mail."},
      {{u"D:\\a.zip", 0, 0, ""}, u"Das Archiv „a.zip“ wurde erstellt.\nOrdner: D:\\\n\nEs enthält keine E-Mails."},
      {{std::nullopt, 3, 3, ""},
       u"Es wurde kein Archiv erstellt.\n\nDie Archivierung endete, bevor alle E-Mails übergeben waren."},
  };
  for (const auto& c : cases) EXPECT_EQ(OutcomeMessage(c.outcome), c.message);
}

class NoTarget final : public IExportTargetChooser {
 public:
  explicit NoTarget(fs::path file) : m_file(std::move(file)) {}
  std::optional<ExportTarget> Choose() override { return ExportTarget{Port(m_file), u""}; }

 private:
  fs::path m_file;
};

// The recorder hears what the writer learns: the mails in the container and
// the container at its place, or the first cause of a failure.
// The first cause is the one the user reads: what followed came of it.
TEST(ExportOutcome, TheFirstCauseCounts) {
  OutcomeRecorder recorder;
  recorder.Failed("Datenträger voll");
  recorder.Failed("Schreiben fehlgeschlagen");
  EXPECT_EQ(recorder.Outcome().cause, "Datenträger voll");
}

TEST(ExportOutcome, RecorderHearsTheWriter) {
  const fs::path directory = fs::temp_directory_path() / ("cv-outcome-" + std::to_string(::getpid()));
  fs::create_directories(directory);
  const auto run = [&](const fs::path& file, int mails) {
    auto recorder = std::make_shared<OutcomeRecorder>();
    auto writer = std::make_shared<CContainerWriter>(
        WriterPorts{std::make_shared<NoTarget>(file), recorder, ProcessLifetime(FS::DefaultFileSystem()), 1});
    writer->Invoke(u"MailCount", InvokeKind::PropertyPut, {Variant::FromI4(3)});
    try {
      if (!writer->Invoke(u"BeginExport", InvokeKind::Method, {}).AsBool()) {
        for (int i = 0; i < mails; ++i) {
          auto email = std::make_shared<CEMail>();
          email->Invoke(u"Subject", InvokeKind::PropertyPut, {Variant::FromBstr(Bstr(u"Hallo"))});
          writer->Invoke(u"AddEMail", InvokeKind::Method, {Variant::FromObject(email)});
        }
        writer->Invoke(u"EndExport", InvokeKind::Method, {});
      }
    } catch (const ComError&) {
    }
    return recorder->Outcome();
  };
  const ExportOutcome written = run(directory / "a.zip", 2);
  EXPECT_EQ(written.container, FromUtf8((directory / "a.zip").string()));
  EXPECT_EQ(written.added, 2);
  EXPECT_EQ(written.announced, 3);
  EXPECT_EQ(written.cause, "");
  const ExportOutcome failed = run(directory / "fehlt" / "b.zip", 2);
  EXPECT_FALSE(failed.container);
  EXPECT_NE(failed.cause, "");
  EXPECT_FALSE(fs::exists(directory / "fehlt"));
  fs::remove_all(directory);
}

}  // namespace
}  // namespace CV::Components

namespace CV::Components {
namespace {

// The writer with a target and one mail, through the adapter that keeps
// Windows' sharing rules.
class WriterFiles : public ::testing::Test {
 protected:
  ExportOutcome Export(const std::u16string& file, bool mayReplace, const std::function<void()>& beforeEnd = {}) {
    class Chooser final : public IExportTargetChooser {
     public:
      explicit Chooser(ExportTarget target) : m_target(std::move(target)) {}
      std::optional<ExportTarget> Choose() override { return m_target; }
      ExportTarget m_target;
    };
    auto recorder = std::make_shared<OutcomeRecorder>();
    auto writer = std::make_shared<CContainerWriter>(WriterPorts{
        std::make_shared<Chooser>(ExportTarget{file, u"", mayReplace}), recorder, ProcessLifetime(Files()), 1});
    try {
      if (!writer->Invoke(u"BeginExport", InvokeKind::Method, {}).AsBool()) {
        auto email = std::make_shared<CEMail>();
        email->Invoke(u"Subject", InvokeKind::PropertyPut, {Variant::FromBstr(Bstr(u"Hallo"))});
        writer->Invoke(u"AddEMail", InvokeKind::Method, {Variant::FromObject(email)});
        if (beforeEnd) beforeEnd();
        writer->Invoke(u"EndExport", InvokeKind::Method, {});
      }
    } catch (const ComError&) {
    }
    return recorder->Outcome();
  }
  std::string Content(const std::u16string& file) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(FS::ReadWholeFile(Files(), file, bytes), 0);
    return {bytes.begin(), bytes.end()};
  }
  std::set<std::u16string> Names() {
    std::set<std::u16string> names;
    FS::FindData entry;
    std::unique_ptr<FS::IDirectorySearch> search;
    if (Files().FindFirst(dir / u"*", entry, search) == 0) do
        if (entry.name != u"." && entry.name != u"..") names.insert(entry.name);
      while (search->Next(entry) == 0);
    return names;
  }
  Fake::ScratchDirectory dir;
};

// A target another program holds open (here a reader that shares no
// deleting) is waited for: let go within the bound, it is replaced; held
// longer, the old file stays whole, nothing else is left, and the user
// reads why.
TEST_F(WriterFiles, ATargetHeldOpenIsWaitedForBriefly) {
  const std::u16string target = dir / u"Archiv.zip";
  for (const auto& [held, written] : {std::pair{std::chrono::milliseconds(300), true}, {std::chrono::milliseconds(3500), false}}) {
    SCOPED_TRACE(held.count());
    dir.WriteFile(u"Archiv.zip", "alt");
    std::thread holder;
    std::atomic<bool> holding{false};
    const ExportOutcome outcome = Export(target, true, [&] {
      holder = std::thread([&, held = held] {
        std::unique_ptr<FS::IReadableFile> reader;
        if (Files().OpenForReading(target, reader) == 0) holding = true;
        std::this_thread::sleep_for(held);
      });
      while (!holding) std::this_thread::yield();
    });
    holder.join();
    EXPECT_EQ(outcome.container.has_value(), written);
    if (written) {
      EXPECT_TRUE(Content(target).starts_with("PK"));
    } else {
      EXPECT_EQ(Content(target), "alt");
      EXPECT_EQ(outcome.cause, "Die Datei „" + ToUtf8(Files().UserPath(target)) + "“ wird von einem anderen Programm verwendet.");
    }
    EXPECT_EQ(Names(), std::set<std::u16string>{u"Archiv.zip"});
  }
}

// When an export begins, what a crashed one left in the folder goes: a
// temporary container nobody holds. One whose writer still lives stays.
TEST_F(WriterFiles, AnExportRemovesAbandonedTemporaryContainersOnly) {
  dir.WriteFile(u".Archiv.zip.part-17", "verlassen");
  dir.WriteFile(u".Archiv.zip.part-x", "kein Teil");  // not of our naming
  dir.WriteFile(u"Archiv.zip.part-18", "kein Teil");
  std::unique_ptr<FS::IWritableFile> live;
  ASSERT_EQ(Files().CreateForWriting(dir / u".Anderes.zip.part-19", FS::Creation::New, false, live), 0);
  ASSERT_EQ(live->LockRange(kOwnerLockOffset, kOwnerLockLength), 0);
  const ExportOutcome outcome = Export(dir / u"Archiv.zip", false);
  EXPECT_TRUE(outcome.container);
  EXPECT_EQ(Names(), (std::set<std::u16string>{u"Archiv.zip", u".Archiv.zip.part-x", u"Archiv.zip.part-18",
                                               u".Anderes.zip.part-19"}));
  ASSERT_EQ(live->Close(), 0);
  for (const auto& name : {u".Archiv.zip.part-x", u"Archiv.zip.part-18", u".Anderes.zip.part-19"})
    Files().RemoveFile(dir / name);
}

// A host without a progress port (no one to tell) still gets no container
// and no crash when the target cannot be used, nor when the user declined
// to choose one: the export is declined, nothing is written, and there is
// nothing to end.
TEST_F(WriterFiles, AFailureWithNobodyToTellDeclinesQuietly) {
  class Chooser final : public IExportTargetChooser {
   public:
    explicit Chooser(std::optional<std::u16string> file) : m_file(std::move(file)) {}
    std::optional<ExportTarget> Choose() override {
      return m_file ? std::optional(ExportTarget{*m_file, u""}) : std::nullopt;
    }
    std::optional<std::u16string> m_file;
  };
  for (const auto& file : {std::optional<std::u16string>(dir / u"fehlt\\a.zip"), std::optional<std::u16string>()}) {
    SCOPED_TRACE(file ? "a folder that is missing" : "declined");
    auto writer = std::make_shared<CContainerWriter>(
        WriterPorts{std::make_shared<Chooser>(file), nullptr, ProcessLifetime(Files()), 1});
    EXPECT_TRUE(writer->Invoke(u"BeginExport", InvokeKind::Method, {}).AsBool());
    EXPECT_THROW(writer->Invoke(u"EndExport", InvokeKind::Method, {}), ComError);
    EXPECT_TRUE(Names().empty());
  }
}

// A ProgID nobody registered, or one refused, creates nothing (the add-in
// then says the writer is missing); a registered one creates and is counted.
TEST(ComponentRegistry, CreatesOnlyWhatIsRegisteredAndNotRefused) {
  CComponentRegistry registry;
  EXPECT_EQ(registry.Create(u"CVMail.Unbekannt"), nullptr);
  RegisterContainerWriter(registry, WriterPorts{});
  EXPECT_NE(registry.Create(u"CVMail.CVMailExport"), nullptr);
  EXPECT_EQ(registry.Create(u"CVMail.Unbekannt"), nullptr);
  registry.refused.insert(u"CVMail.CVMailExport");
  EXPECT_EQ(registry.Create(u"CVMail.CVMailExport"), nullptr);
  EXPECT_EQ(registry.created, 1);
}

TEST(ContainerPart, NamesOfTheWritersTemporaryFiles) {
  const std::pair<std::u16string_view, bool> names[] = {
      {u".Archiv.zip.part-1", true},   {u".a.part-123456789", true}, {u"..part-1", false},
      {u".Archiv.zip.part-", false},   {u".Archiv.zip.part-1x", false}, {u"Archiv.zip.part-1", false},
      {u".part-1", false},             {u".x.part-0", true},
  };
  for (const auto& [name, part] : names) EXPECT_EQ(IsContainerPart(name), part) << ToUtf8(name);
  EXPECT_EQ(PartPathFor(u"C:\\a\\Archiv.zip", 42), u"C:\\a\\.Archiv.zip.part-42");
  EXPECT_EQ(NumberedPath(u"C:\\a\\Archiv.zip", 2), u"C:\\a\\Archiv (2).zip");
  EXPECT_EQ(NumberedPath(u"C:\\a.b\\Archiv", 3), u"C:\\a.b\\Archiv (3)");
  EXPECT_EQ(NumberedPath(u"C:\\a\\.zip", 2), u"C:\\a\\.zip (2)");
}

}  // namespace
}  // namespace CV::Components
