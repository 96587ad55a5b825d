// The temporary tree in memory refuses the names a disk would refuse, on
// either platform, and leaves every other path to the disk.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "export/attachment_names.h"
#include "foundation/directory.h"
#include "foundation/hresult.h"
#include "foundation/utf.h"
#include "sim/memory_file_system.h"
#include "support/scratch_directory.h"

namespace CV::FS {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

// Counts the calls that reach the disk.
class CountingDisk final : public FileSystemWrapper {
 public:
  CountingDisk() : FileSystemWrapper(DefaultFileSystem()) {}
  std::int32_t WriteWholeFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    ++calls;
    return FileSystemWrapper::WriteWholeFile(path, bytes);
  }
  std::int32_t MakeDirectory(std::u16string_view path) override {
    ++calls;
    return FileSystemWrapper::MakeDirectory(path);
  }
  std::int32_t OpenForReading(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override {
    ++calls;
    return FileSystemWrapper::OpenForReading(path, file);
  }
  int calls = 0;
};

constexpr std::u16string_view kRoot = u"C:\\cv-nicht-da\\Speicher";

struct MemoryTree : ::testing::Test {
  CountingDisk disk;
  MemoryFileSystem fs{disk, std::u16string(kRoot)};
  std::u16string dir = std::u16string(kRoot) + u"\\CV.1";
  void SetUp() override { ASSERT_EQ(fs.MakeDirectory(dir), 0); }
};

TEST_F(MemoryTree, NamesADiskWouldRefuseAreRefused) {
  const std::u16string units255(255, u'a'), units256(256, u'a');
  // 128 umlauts: 128 units, but 256 bytes as a POSIX name.
  const std::u16string bytes256(128, u'\u00e4'), bytes254(127, u'\u00e4');
  const auto emoji = [](int n) {
    std::u16string text;
    for (int i = 0; i < n; ++i) text += u"\U0001F4E7";
    return text;
  };
  const std::u16string deepDirectory = dir + u"\\" + std::u16string(200, u'd');
  const std::u16string prefixed = u"\\\\?\\" + dir;  // names alone count here
  struct Case {
    std::u16string path;
    std::int32_t expected;
  } cases[] = {
      {dir + u"\\Rechnung.pdf", 0},
      {prefixed + u"\\" + units255, 0},
      {prefixed + u"\\" + units256, Win32Error::FilenameExcedRange},
      {prefixed + u"\\" + bytes254, 0},
      {prefixed + u"\\" + bytes256, Win32Error::FilenameExcedRange},
      // A character outside the BMP: two units, four bytes.
      {prefixed + u"\\" + emoji(63), 0},
      {prefixed + u"\\" + emoji(64), Win32Error::FilenameExcedRange},
      {dir + u"\\a:b.txt", Win32Error::InvalidName},
      {dir + u"\\a?.txt", Win32Error::InvalidName},
      {dir + u"\\a*.txt", Win32Error::InvalidName},
      {dir + u"\\a|b.txt", Win32Error::InvalidName},
      {dir + u"\\\"a\".txt", Win32Error::InvalidName},
      {dir + u"\\<a>.txt", Win32Error::InvalidName},
      {dir + u"\\a\u0001.txt", Win32Error::InvalidName},
      {dir + u"\\fehlt\\a.txt", Win32Error::PathNotFound},
      // MAX_PATH holds for a path without the long-path prefix only.
      {deepDirectory, 0},
      {deepDirectory + u"\\" + std::u16string(259 - deepDirectory.size() - 1, u'x'), 0},
      {deepDirectory + u"\\" + std::u16string(259 - deepDirectory.size(), u'x'), Win32Error::FilenameExcedRange},
      {u"\\\\?\\" + deepDirectory + u"\\" + std::u16string(100, u'x'), 0},
  };
  // A directory is named by the same rules; "." and ".." name no entry of their own.
  EXPECT_EQ(fs.MakeDirectory(dir + u"\\a:b"), Win32Error::InvalidName);
  EXPECT_EQ(fs.MakeDirectory(prefixed + u"\\" + units256), Win32Error::FilenameExcedRange);
  EXPECT_EQ(fs.MakeDirectory(prefixed + u"\\" + bytes256), Win32Error::FilenameExcedRange);
  EXPECT_NE(fs.WriteWholeFile(prefixed + u"\\.", Bytes("x")), 0);
  EXPECT_NE(fs.WriteWholeFile(prefixed + u"\\..", Bytes("x")), 0);
  for (const Case& c : cases) {
    const bool directory = c.path == deepDirectory;
    const std::int32_t result = directory ? fs.MakeDirectory(c.path) : fs.WriteWholeFile(c.path, Bytes("x"));
    EXPECT_EQ(result, c.expected) << ToUtf8(c.path) << " (" << c.path.size() << " units)";
    if (!directory) {
      EXPECT_EQ(Exists(fs, c.path), c.expected == 0) << ToUtf8(c.path);
    }
  }
  EXPECT_EQ(disk.calls, 0);
}

// Every call on a file that is not there says so, as Windows tells a
// missing file from a missing directory on the way.
TEST_F(MemoryTree, MissingFilesAndDirectoriesAreTold) {
  for (const auto& [path, expected] : {std::pair{dir + u"\\fehlt.txt", Win32Error::FileNotFound},
                                       std::pair{dir + u"\\fehlt\\a.txt", Win32Error::PathNotFound}}) {
    std::unique_ptr<IReadableFile> reader;
    std::uint32_t attributes = 0;
    std::int32_t error = 0;
    const std::u16string& where = path;
    EXPECT_EQ(fs.OpenForReading(where, reader), expected);
    EXPECT_EQ(fs.OpenForReadingExclusive(where, reader), expected);
    EXPECT_EQ(fs.ReadAttributes(where, attributes), expected);
    EXPECT_EQ(fs.WriteAttributes(where, 0), expected);
    EXPECT_EQ(fs.RemoveFile(where), expected);
    EXPECT_EQ(fs.RemoveEmptyDirectory(where), expected);
    EXPECT_EQ(fs.ProbeLock(where, 0, 1), expected);
    EXPECT_EQ(fs.MoveFileTo(where, dir + u"\\neu.txt", false), expected);
    EXPECT_EQ(fs.LongPathName(where, {}, error), 0u);
    EXPECT_EQ(error, expected);
    FindData entry;
    std::unique_ptr<IDirectorySearch> search;
    EXPECT_EQ(fs.FindFirst(where + u"\\*", entry, search), Win32Error::PathNotFound);
  }
  EXPECT_FALSE(Exists(fs, dir + u"\\neu.txt"));
}

// The tree's top may be given with a final backslash or the long-path
// prefix; a top too long for MAX_PATH is reached with the prefix only.
TEST(MemoryTreeTop, IsOnePlaceHoweverItIsWritten) {
  IFileSystem& disk = DefaultFileSystem();
  MemoryFileSystem slashed(disk, u"\\\\?\\C:\\cv-nicht-da\\Speicher\\\\");
  std::u16string temp;
  ASSERT_EQ(slashed.TempPath(temp), 0);
  EXPECT_EQ(temp, u"C:\\cv-nicht-da\\Speicher\\");
  EXPECT_EQ(slashed.MakeDirectory(u"c:\\CV-NICHT-DA\\speicher\\x"), 0);
  EXPECT_TRUE(Exists(slashed, u"\\\\?\\C:\\cv-nicht-da\\Speicher\\X"));
  const std::u16string deep = u"C:\\cv-nicht-da\\" + std::u16string(280, u't');
  MemoryFileSystem long_(disk, deep);
  std::uint32_t attributes = 0;
  EXPECT_EQ(long_.ReadAttributes(deep, attributes), Win32Error::FilenameExcedRange);
  ASSERT_EQ(long_.ReadAttributes(u"\\\\?\\" + deep, attributes), 0);
  EXPECT_EQ(attributes, Attribute::Directory);
}

// The export's thread writes a mail's files while the writer's thread
// reads the last one's and the tree is emptied: one lock keeps it whole.
TEST_F(MemoryTree, ThreadsShareTheTree) {
  const auto work = [this](char16_t who) {
    const std::u16string own = dir + u"\\" + who;
    for (int i = 0; i < 200; ++i) {
      ASSERT_EQ(fs.MakeDirectory(own), 0);
      std::unique_ptr<IWritableFile> file;
      ASSERT_EQ(fs.CreateForWriting(own + u"\\a.bin", Creation::New, false, file), 0);
      ASSERT_EQ(file->WriteAt(0, Bytes("abc")), 0);
      ASSERT_EQ(file->Close(), 0);
      std::vector<std::uint8_t> read;
      ASSERT_EQ(ReadWholeFile(fs, own + u"\\a.bin", read), 0);
      ASSERT_EQ(read, Bytes("abc"));
      ASSERT_EQ(DeleteDirectory(own, true, fs), S_OK);
    }
  };
  std::atomic<bool> done = false;
  // A third looks at what the first writes (opening it would keep it from deletion).
  std::thread watcher([&] {
    while (!done) {
      std::uint32_t attributes = 0;
      fs.ReadAttributes(dir + u"\\a\\a.bin", attributes);
      fs.ProbeLock(dir + u"\\a\\a.bin", 0, 1);
      FindData entry;
      std::unique_ptr<IDirectorySearch> search;
      fs.FindFirst(dir + u"\\a\\*", entry, search);
    }
  });
  std::thread a(work, u'a'), b(work, u'b');
  a.join();
  b.join();
  done = true;
  watcher.join();
  EXPECT_EQ(fs.BytesHeld(), 0u);
}

TEST_F(MemoryTree, NamesDifferingInCaseAreOneName) {
  ASSERT_EQ(fs.WriteWholeFile(dir + u"\\Bericht \u00c4.pdf", Bytes("eins")), 0);
  std::unique_ptr<IWritableFile> file;
  EXPECT_EQ(fs.CreateForWriting(dir + u"\\BERICHT \u00e4.PDF", Creation::New, false, file), Win32Error::FileExists);
  EXPECT_EQ(fs.MakeDirectory(dir + u"\\bericht \u00e4.pdf"), Win32Error::AlreadyExists);
  std::vector<std::uint8_t> read;
  ASSERT_EQ(ReadWholeFile(fs, dir + u"\\bericht \u00e4.Pdf", read), 0);
  EXPECT_EQ(read, Bytes("eins"));
  // The listing keeps the name as it was written.
  FindData entry;
  std::unique_ptr<IDirectorySearch> search;
  ASSERT_EQ(fs.FindFirst(dir + u"\\*", entry, search), 0);
  std::set<std::u16string> names{entry.name};
  while (search->Next(entry) == 0) names.insert(entry.name);
  EXPECT_EQ(names, (std::set<std::u16string>{u".", u"..", u"Bericht \u00c4.pdf"}));
  EXPECT_EQ(fs.RemoveFile(u"\\\\?\\" + dir + u"\\BERICHT \u00c4.PDF"), 0);
  // Cyrillic from its first letter to its last, and its second block from end to end.
  ASSERT_EQ(fs.WriteWholeFile(dir + u"\\\u0430\u044f\u0450\u045f.txt", Bytes("kyrillisch")), 0);
  EXPECT_TRUE(Exists(fs, dir + u"\\\u0410\u042f\u0400\u040f.TXT"));
  // Latin Extended-A pairs, shifted by one between U+0139 and U+0148 and from U+0179.
  ASSERT_EQ(fs.WriteWholeFile(dir + u"\\\u0141\u00f3d\u017a \u0101.txt", Bytes("lodz")), 0);
  EXPECT_TRUE(Exists(fs, dir + u"\\\u0142\u00d3D\u0179 \u0100.txt"));
  EXPECT_FALSE(Exists(fs, dir + u"\\Bericht \u00c4.pdf"));
}

// Two attachments whose names differ in case only would meet in one file
// on Windows: each gets its own, and keeps its name for the archive.
TEST_F(MemoryTree, AttachmentsDifferingInCaseGetFilesOfTheirOwn) {
  std::set<std::u16string> taken;
  const auto first = Office::NextAttachmentFile(dir, u"Anlage.pdf", taken, fs);
  ASSERT_EQ(fs.WriteWholeFile(first.path, Bytes("1")), 0);
  const auto second = Office::NextAttachmentFile(dir, u"ANLAGE.pdf", taken, fs);
  ASSERT_EQ(fs.WriteWholeFile(second.path, Bytes("2")), 0);
  EXPECT_NE(second.path, dir + u"\\ANLAGE.pdf");
  std::vector<std::uint8_t> read;
  ASSERT_EQ(ReadWholeFile(fs, first.path, read), 0);
  EXPECT_EQ(read, Bytes("1"));
  // A name too long for the path is cut to fit, and the file can be made.
  const auto long_ = Office::NextAttachmentFile(dir, std::u16string(250, u'n') + u".pdf", taken, fs);
  EXPECT_LE(long_.path.size(), 259u);
  EXPECT_EQ(fs.WriteWholeFile(long_.path, Bytes("3")), 0);
  EXPECT_EQ(long_.name, std::u16string(250, u'n') + u".pdf");
}

TEST_F(MemoryTree, PathsOutsideTheTreeGoToTheDisk) {
  const Fake::ScratchDirectory scratch(DefaultFileSystem());
  ASSERT_EQ(fs.WriteWholeFile(scratch / u"auf-platte.txt", Bytes("disk")), 0);
  EXPECT_EQ(disk.calls, 1);
  EXPECT_TRUE(Exists(DefaultFileSystem(), scratch / u"auf-platte.txt"));
  std::uint32_t attributes = 0;
  EXPECT_EQ(fs.ReadAttributes(scratch / u"auf-platte.txt", attributes), 0);
  EXPECT_EQ(attributes & Attribute::Directory, 0u) << "the disk's file, not a place in the tree";
  // A name that only begins like the tree's is not in it.
  EXPECT_EQ(fs.MakeDirectory(u"C:\\cv-nicht-da\\SpeicherX"), Win32Error::PathNotFound);
  EXPECT_EQ(disk.calls, 2);
  // Copies cross between the two; moves cannot, as between volumes.
  ASSERT_EQ(fs.CopyFileTo(scratch / u"auf-platte.txt", dir + u"\\kopie.txt", true), 0);
  EXPECT_EQ(fs.CopyFileTo(scratch / u"auf-platte.txt", dir + u"\\kopie.txt", true), Win32Error::FileExists);
  std::vector<std::uint8_t> read;
  ASSERT_EQ(ReadWholeFile(fs, dir + u"\\kopie.txt", read), 0);
  EXPECT_EQ(read, Bytes("disk"));
  ASSERT_EQ(fs.CopyFileTo(dir + u"\\kopie.txt", scratch / u"zurueck.txt", true), 0);
  EXPECT_TRUE(Exists(DefaultFileSystem(), scratch / u"zurueck.txt"));
  EXPECT_EQ(fs.MoveFileTo(dir + u"\\kopie.txt", scratch / u"weg.txt", false), Win32Error::NotSameDevice);
  EXPECT_TRUE(Exists(fs, dir + u"\\kopie.txt"));
  std::u16string temp;
  ASSERT_EQ(fs.TempPath(temp), 0);
  EXPECT_EQ(temp, std::u16string(kRoot) + u"\\");
}

TEST_F(MemoryTree, AFileWrittenAgainHoldsTheNewBytes) {
  ASSERT_EQ(fs.WriteWholeFile(dir + u"\\a.txt", Bytes("alt und lang")), 0);
  ASSERT_EQ(fs.WriteWholeFile(dir + u"\\A.TXT", Bytes("neu")), 0);
  std::vector<std::uint8_t> read;
  ASSERT_EQ(ReadWholeFile(fs, dir + u"\\a.txt", read), 0);
  EXPECT_EQ(read, Bytes("neu"));
}

TEST_F(MemoryTree, TheTreeHoldsOnlyWhatIsLeftInIt) {
  ASSERT_EQ(fs.WriteWholeFile(dir + u"\\a.bin", std::vector<std::uint8_t>(1000, 1)), 0);
  ASSERT_EQ(fs.MakeDirectory(dir + u"\\Content-Dateien"), 0);
  ASSERT_EQ(fs.WriteWholeFile(dir + u"\\Content-Dateien\\b.png", std::vector<std::uint8_t>(24, 2)), 0);
  EXPECT_EQ(fs.BytesHeld(), 1024u);
  EXPECT_EQ(fs.RemoveEmptyDirectory(dir + u"\\Content-Dateien"), Win32Error::DirNotEmpty);
  EXPECT_EQ(fs.RemoveEmptyDirectory(dir + u"\\a.bin"), Win32Error::Directory);
  EXPECT_EQ(DeleteDirectory(dir, false, fs), S_OK);
  EXPECT_EQ(fs.BytesHeld(), 0u);
  EXPECT_TRUE(Exists(fs, dir));
  // The tree's top stays whatever is asked.
  EXPECT_EQ(fs.RemoveEmptyDirectory(std::u16string(kRoot)), Win32Error::AccessDenied);
  EXPECT_EQ(DeleteDirectory(dir, true, fs), S_OK);
  EXPECT_FALSE(Exists(fs, dir));
  EXPECT_TRUE(Exists(fs, std::u16string(kRoot)));
}

TEST_F(MemoryTree, AWriterKeepsAFileFromReadersAndMovesAreRenames) {
  std::unique_ptr<IWritableFile> writer;
  ASSERT_EQ(fs.CreateForWriting(dir + u"\\a.part", Creation::New, false, writer), 0);
  ASSERT_EQ(writer->WriteAt(4, Bytes("xy")), 0);
  std::unique_ptr<IReadableFile> reader;
  EXPECT_EQ(fs.OpenForReading(dir + u"\\a.part", reader), Win32Error::SharingViolation);
  EXPECT_EQ(fs.OpenForReadingExclusive(dir + u"\\a.part", reader), Win32Error::SharingViolation);
  EXPECT_EQ(fs.WriteWholeFile(dir + u"\\a.part", Bytes("z")), Win32Error::SharingViolation);
  ASSERT_EQ(writer->LockRange(100, 1), 0);
  EXPECT_EQ(fs.ProbeLock(dir + u"\\a.part", 100, 1), Win32Error::LockViolation);
  EXPECT_EQ(fs.ProbeLock(dir + u"\\a.part", 101, 1), 0);
  ASSERT_EQ(fs.MoveFileTo(dir + u"\\a.part", dir + u"\\a.zip", false), 0);
  {
    // Nobody may look at a file someone reads alone, not even to probe a lock.
    ASSERT_EQ(fs.WriteWholeFile(dir + u"\\allein.txt", Bytes("x")), 0);
    std::unique_ptr<IReadableFile> alone;
    ASSERT_EQ(fs.OpenForReadingExclusive(dir + u"\\allein.txt", alone), 0);
    EXPECT_EQ(fs.ProbeLock(dir + u"\\allein.txt", 0, 1), Win32Error::SharingViolation);
  }
  ASSERT_EQ(writer->Close(), 0);
  EXPECT_EQ(writer->Close(), Win32Error::InvalidHandle);
  EXPECT_EQ(writer->LockRange(200, 1), Win32Error::InvalidHandle);
  EXPECT_EQ(writer->Resize(1), Win32Error::InvalidHandle);
  EXPECT_EQ(fs.ProbeLock(dir + u"\\a.zip", 100, 1), 0);
  std::vector<std::uint8_t> read;
  ASSERT_EQ(ReadWholeFile(fs, dir + u"\\a.zip", read), 0);
  EXPECT_EQ(read, Bytes(std::string_view("\0\0\0\0xy", 6)));
  EXPECT_FALSE(Exists(fs, dir + u"\\a.part"));
  EXPECT_EQ(fs.MoveFileTo(dir, dir + u"2", false), Win32Error::AccessDenied);
}

}  // namespace
}  // namespace CV::FS
