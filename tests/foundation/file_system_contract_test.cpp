// One contract for every file-system adapter: natively it checks the POSIX
// adapter, under Wine the Windows one, and on both the temporary tree kept
// in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "foundation/directory.h"
#include "foundation/file_system.h"
#include "foundation/hresult.h"
#include "foundation/utf.h"
#include "sim/memory_file_system.h"
#include "support/scratch_directory.h"

namespace CV::FS {
namespace {

using Fake::ScratchDirectory;

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::set<std::u16string> List(IFileSystem& fs, const std::u16string& directory) {
  std::set<std::u16string> names;
  FindData entry;
  std::unique_ptr<IDirectorySearch> search;
  if (fs.FindFirst(directory + u"\\*", entry, search) != 0) return names;
  do names.insert(entry.name);
  while (search->Next(entry) == 0);
  return names;
}

enum class Adapter { Disk, Memory };

std::unique_ptr<MemoryFileSystem> MemoryOrNone(Adapter adapter) {
  if (adapter == Adapter::Disk) return nullptr;
  std::u16string temp;
  EXPECT_EQ(DefaultFileSystem().TempPath(temp), 0);
  return std::make_unique<MemoryFileSystem>(DefaultFileSystem(), temp + u"cvmail-speicher");
}

class FileSystemContract : public ::testing::TestWithParam<Adapter> {
 protected:
  std::unique_ptr<MemoryFileSystem> memory = MemoryOrNone(GetParam());
  IFileSystem& fs = memory ? static_cast<IFileSystem&>(*memory) : DefaultFileSystem();
};

TEST_P(FileSystemContract, TempPathAndTempDirectories) {
  std::u16string temp;
  ASSERT_EQ(fs.TempPath(temp), 0);
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), u'\\');
  EXPECT_EQ(temp[1], u':');

  const ScratchDirectory a(fs), b(fs);
  EXPECT_NE(a.Path(), b.Path());
  const std::u16string expectedStart = u"\\\\?\\" + temp + u"CV.";
  EXPECT_TRUE(a.Path().starts_with(expectedStart)) << ToUtf8(a.Path());
  EXPECT_EQ(a.Path().size(), expectedStart.size() + 36);
  EXPECT_EQ(a.Path().find_first_of(u"{}"), std::u16string::npos);
  std::uint32_t attributes = 0;
  ASSERT_EQ(fs.ReadAttributes(a.Path(), attributes), 0);
  EXPECT_TRUE(attributes & Attribute::Directory);
  EXPECT_EQ(List(fs, a.Path()), (std::set<std::u16string>{u".", u".."}));
}

TEST_P(FileSystemContract, FilesRoundTrip) {
  const ScratchDirectory dir(fs);
  const auto content = Bytes("Inhalt\r\n\xC3\xBC");
  ASSERT_EQ(fs.WriteWholeFile(dir / u"a.txt", content), 0);
  std::vector<std::uint8_t> read;
  ASSERT_EQ(ReadWholeFile(fs, dir / u"a.txt", read), 0);
  EXPECT_EQ(read, content);
  EXPECT_TRUE(Exists(fs, dir / u"a.txt"));

  EXPECT_EQ(fs.CopyFileTo(dir / u"a.txt", dir / u"b.txt", true), 0);
  EXPECT_EQ(fs.CopyFileTo(dir / u"a.txt", dir / u"b.txt", true), Win32Error::FileExists);
  EXPECT_EQ(fs.CopyFileTo(dir / u"a.txt", dir / u"b.txt", false), 0);
  EXPECT_EQ(fs.CopyFileTo(dir / u"missing", dir / u"c.txt", false), Win32Error::FileNotFound);

  std::int32_t error = 0;
  const std::u16string path = dir / u"a.txt";
  const std::uint32_t needed = fs.LongPathName(path, {}, error);
  EXPECT_EQ(needed, path.size() + 1);  // nothing to expand; the NUL counted
  std::u16string buffer(needed, u'\0');
  EXPECT_EQ(fs.LongPathName(path, buffer, error), path.size());
  EXPECT_EQ(buffer.substr(0, path.size()), path);

  EXPECT_EQ(List(fs, dir.Path()), (std::set<std::u16string>{u".", u"..", u"a.txt", u"b.txt"}));
  EXPECT_EQ(fs.RemoveFile(dir / u"a.txt"), 0);
  EXPECT_EQ(fs.RemoveFile(dir / u"a.txt"), Win32Error::FileNotFound);
}

TEST_P(FileSystemContract, ErrorsForMissingAndOccupiedPlaces) {
  const ScratchDirectory dir(fs);
  dir.MakeDirectory(u"sub");
  dir.WriteFile(u"sub\\f");
  std::uint32_t attributes = 0;
  std::int32_t error = 0;
  EXPECT_EQ(fs.ReadAttributes(dir / u"missing", attributes), Win32Error::FileNotFound);
  EXPECT_EQ(fs.ReadAttributes(dir / u"missing\\x", attributes), Win32Error::PathNotFound);
  // Unprefixed: Wine copies "\\?\" paths without looking at them.
  const std::u16string missing = (dir / u"missing").substr(4);
  EXPECT_EQ(fs.LongPathName(missing, {}, error), 0u);
  EXPECT_EQ(error, Win32Error::FileNotFound);
  EXPECT_EQ(fs.MakeDirectory(dir / u"sub"), Win32Error::AlreadyExists);
  EXPECT_EQ(fs.MakeDirectory(dir / u"missing\\x"), Win32Error::PathNotFound);
  EXPECT_EQ(fs.RemoveEmptyDirectory(dir / u"sub"), Win32Error::DirNotEmpty);
  EXPECT_EQ(fs.RemoveFile(dir / u"sub"), Win32Error::AccessDenied);
  EXPECT_EQ(fs.RemoveEmptyDirectory(dir / u"sub\\f"), Win32Error::Directory);
  FindData entry;
  std::unique_ptr<IDirectorySearch> search;
  EXPECT_EQ(fs.FindFirst(dir / u"missing\\*", entry, search), Win32Error::PathNotFound);
}

TEST_P(FileSystemContract, ReadOnlyFileCannotBeDeletedUntilCleared) {
  const ScratchDirectory dir(fs);
  dir.WriteFile(u"ro.txt");
  std::uint32_t attributes = 0;
  ASSERT_EQ(fs.ReadAttributes(dir / u"ro.txt", attributes), 0);
  ASSERT_EQ(fs.WriteAttributes(dir / u"ro.txt", attributes | Attribute::ReadOnly), 0);
  ASSERT_EQ(fs.ReadAttributes(dir / u"ro.txt", attributes), 0);
  EXPECT_TRUE(attributes & Attribute::ReadOnly);
  EXPECT_EQ(fs.RemoveFile(dir / u"ro.txt"), Win32Error::AccessDenied);
  ASSERT_EQ(fs.WriteAttributes(dir / u"ro.txt", attributes & ~Attribute::ReadOnly), 0);
  EXPECT_EQ(fs.RemoveFile(dir / u"ro.txt"), 0);
}

TEST_P(FileSystemContract, FileHeldOpenCannotBeDeleted) {
  const ScratchDirectory dir(fs);
  dir.WriteFile(u"held.txt", "held");
  {
    std::unique_ptr<IReadableFile> file;
    ASSERT_EQ(fs.OpenForReading(dir / u"held.txt", file), 0);
    EXPECT_EQ(file->Size(), 4u);
    EXPECT_EQ(fs.RemoveFile(dir / u"held.txt"), Win32Error::SharingViolation);
  }
  EXPECT_EQ(fs.RemoveFile(dir / u"held.txt"), 0);
}

TEST_P(FileSystemContract, FileReadExclusivelyIsSharedWithNobody) {
  const ScratchDirectory dir(fs);
  dir.WriteFile(u"body.html", "body");
  std::unique_ptr<IReadableFile> held, other;
  {
    ASSERT_EQ(fs.OpenForReading(dir / u"body.html", held), 0);
    EXPECT_EQ(fs.OpenForReadingExclusive(dir / u"body.html", other), Win32Error::SharingViolation);
    EXPECT_EQ(fs.OpenForReading(dir / u"body.html", other), 0);  // readers share with readers
    held.reset();
    other.reset();
  }
  ASSERT_EQ(fs.OpenForReadingExclusive(dir / u"body.html", held), 0);
  EXPECT_EQ(held->Size(), 4u);
  EXPECT_EQ(fs.OpenForReading(dir / u"body.html", other), Win32Error::SharingViolation);
  EXPECT_EQ(fs.OpenForReadingExclusive(dir / u"body.html", other), Win32Error::SharingViolation);
  EXPECT_EQ(fs.ProbeLock(dir / u"body.html", 0, 1), Win32Error::SharingViolation);  // not even a look at its locks
  held.reset();
  EXPECT_EQ(fs.OpenForReading(dir / u"body.html", other), 0);
}

TEST_P(FileSystemContract, HiddenEntriesAreMarked) {
  const ScratchDirectory dir(fs);
  dir.MakeDirectory(u".hidden");
  std::uint32_t attributes = 0;
  ASSERT_EQ(fs.ReadAttributes(dir / u".hidden", attributes), 0);
  // POSIX hides by the leading dot, Windows by the attribute.
  ASSERT_EQ(fs.WriteAttributes(dir / u".hidden", attributes | Attribute::Hidden), 0);
  ASSERT_EQ(fs.ReadAttributes(dir / u".hidden", attributes), 0);
  EXPECT_TRUE(attributes & Attribute::Hidden);
  EXPECT_TRUE(attributes & Attribute::Directory);
  // A directory may be named with a final backslash.
  ASSERT_EQ(fs.ReadAttributes(dir / u".hidden\\", attributes), 0);
  EXPECT_TRUE(attributes & Attribute::Hidden);
}

std::unique_ptr<IWritableFile> Create(IFileSystem& fs, const std::u16string& path, Creation creation = Creation::New,
                                      bool deleteOnClose = false) {
  std::unique_ptr<IWritableFile> file;
  EXPECT_EQ(fs.CreateForWriting(path, creation, deleteOnClose, file), 0) << ToUtf8(path);
  return file;
}

std::string ReadBack(IWritableFile& file, std::uint64_t offset, std::size_t size) {
  std::string out(size, '\0');
  std::size_t read = 0;
  EXPECT_EQ(file.ReadAt(offset, std::span(reinterpret_cast<std::uint8_t*>(out.data()), size), read), 0);
  out.resize(read);
  return out;
}

// One handle writes anywhere, reads it back, cuts the file and closes it;
// a new file never replaces one of its name.
TEST_P(FileSystemContract, WritableFilesWriteAtTheirPlaceAndReadBack) {
  const ScratchDirectory dir(fs);
  const std::u16string path = dir / u"Ablage \u00c4 \u0141\u00f3d\u017a \u6771\u4eac.zip";
  auto file = Create(fs, path);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->WriteAt(0, Bytes("Kopf____Ende")), 0);
  ASSERT_EQ(file->WriteAt(4, Bytes("MITTE")), 0);
  ASSERT_EQ(file->WriteAt(20, Bytes("!")), 0);  // a gap reads as zeros
  EXPECT_EQ(ReadBack(*file, 0, 64), std::string("KopfMITTEnde") + std::string(8, '\0') + "!");
  EXPECT_EQ(ReadBack(*file, 21, 8), "");  // the end
  ASSERT_EQ(file->Resize(9), 0);
  ASSERT_EQ(file->Flush(), 0);
  std::unique_ptr<IWritableFile> second;
  EXPECT_EQ(fs.CreateForWriting(path, Creation::New, false, second), Win32Error::FileExists);
  EXPECT_EQ(file->Close(), 0);
  EXPECT_EQ(file->WriteAt(0, Bytes("x")), Win32Error::InvalidHandle);
  EXPECT_EQ(file->Close(), Win32Error::InvalidHandle);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(ReadWholeFile(fs, path, bytes), 0);
  EXPECT_EQ(bytes, Bytes("KopfMITTE"));
  EXPECT_EQ(List(fs, dir.Path()).count(path.substr(dir.Path().size() + 1)), 1u);  // its wide name, whole
  file = Create(fs, path, Creation::Always);  // emptied
  ASSERT_EQ(file->Close(), 0);
  ASSERT_EQ(ReadWholeFile(fs, path, bytes), 0);
  EXPECT_TRUE(bytes.empty());
}

TEST_P(FileSystemContract, AFileDeletedOnCloseLeavesNothing) {
  const ScratchDirectory dir(fs);
  {
    auto spool = Create(fs, dir / u".spool-1", Creation::New, true);
    ASSERT_EQ(spool->WriteAt(0, Bytes("zwischen")), 0);
    EXPECT_EQ(ReadBack(*spool, 0, 8), "zwischen");
  }
  EXPECT_EQ(List(fs, dir.Path()), (std::set<std::u16string>{u".", u".."}));
}

// A lock belongs to its handle: another handle, and the owner check, find
// it taken until the handle closes. Past the end of the file is allowed.
TEST_P(FileSystemContract, ALockBelongsToItsHandleUntilItCloses) {
  const ScratchDirectory dir(fs);
  const std::u16string path = dir / u"a.part";
  auto owner = Create(fs, path);
  EXPECT_EQ(fs.ProbeLock(path, 1ull << 62, 1), 0);
  ASSERT_EQ(owner->LockRange(1ull << 62, 1), 0);
  EXPECT_EQ(owner->WriteAt(0, Bytes("Daten")), 0);  // the holder writes its file as before
  EXPECT_EQ(fs.ProbeLock(path, 1ull << 62, 1), Win32Error::LockViolation);
  EXPECT_EQ(fs.ProbeLock(path, 0, 5), 0);  // the data is not locked
  ASSERT_EQ(owner->Close(), 0);
  EXPECT_EQ(fs.ProbeLock(path, 1ull << 62, 1), 0);
  EXPECT_EQ(fs.ProbeLock(dir / u"missing", 1ull << 62, 1), Win32Error::FileNotFound);
}

// Moving keeps a file of the target's name unless replacing was asked; a
// file open for writing moves while it is open.
TEST_P(FileSystemContract, MovingReplacesOnlyWhenAsked) {
  const ScratchDirectory dir(fs);
  dir.WriteFile(u"alt.zip", "alt");
  auto file = Create(fs, dir / u".neu.part");
  ASSERT_EQ(file->WriteAt(0, Bytes("neu")), 0);
  EXPECT_EQ(fs.MoveFileTo(dir / u".neu.part", dir / u"alt.zip", false), Win32Error::AlreadyExists);
  EXPECT_EQ(fs.MoveFileTo(dir / u".neu.part", dir / u"fehlt\\x.zip", false), Win32Error::PathNotFound);
  EXPECT_EQ(fs.MoveFileTo(dir / u".neu.part", dir / u"alt.zip", true), 0);
  ASSERT_EQ(file->Close(), 0);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(ReadWholeFile(fs, dir / u"alt.zip", bytes), 0);
  EXPECT_EQ(bytes, Bytes("neu"));
  EXPECT_EQ(List(fs, dir.Path()), (std::set<std::u16string>{u".", u"..", u"alt.zip"}));
  dir.WriteFile(u"b", "b");
  EXPECT_EQ(fs.MoveFileTo(dir / u"b", dir / u"c", false), 0);
  EXPECT_EQ(fs.MoveFileTo(dir / u"b", dir / u"d", false), Win32Error::FileNotFound);
}

// A read-only file is neither replaced by a move nor emptied by a new file,
// and a directory is no file to write.
TEST_P(FileSystemContract, ReadOnlyFilesAndDirectoriesAreNotWrittenOver) {
  const ScratchDirectory dir(fs);
  dir.WriteFile(u"ro.zip", "alt");
  dir.WriteFile(u"neu", "neu");
  dir.MakeDirectory(u"ordner");
  std::uint32_t attributes = 0;
  ASSERT_EQ(fs.ReadAttributes(dir / u"ro.zip", attributes), 0);
  ASSERT_EQ(fs.WriteAttributes(dir / u"ro.zip", attributes | Attribute::ReadOnly), 0);
  std::unique_ptr<IWritableFile> file;
  EXPECT_EQ(fs.CreateForWriting(dir / u"ro.zip", Creation::Always, false, file), Win32Error::AccessDenied);
  EXPECT_EQ(fs.MoveFileTo(dir / u"neu", dir / u"ro.zip", true), Win32Error::AccessDenied);
  EXPECT_EQ(fs.MoveFileTo(dir / u"neu", dir / u"ro.zip", false), Win32Error::AlreadyExists);
  EXPECT_EQ(fs.CreateForWriting(dir / u"ordner", Creation::Always, false, file), Win32Error::AccessDenied);
  EXPECT_EQ(fs.MoveFileTo(dir / u"neu", dir / u"ordner", true), Win32Error::AccessDenied);
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(ReadWholeFile(fs, dir / u"ro.zip", bytes), 0);
  EXPECT_EQ(bytes, Bytes("alt"));
  ASSERT_EQ(fs.WriteAttributes(dir / u"ro.zip", attributes & ~Attribute::ReadOnly), 0);
}

TEST_P(FileSystemContract, TheUserReadsPathsWithoutTheLongPrefix) {
  const ScratchDirectory dir(fs);
  const std::u16string user = fs.UserPath(dir / u"a.zip");
  EXPECT_FALSE(user.starts_with(u"\\\\?\\")) << ToUtf8(user);
  EXPECT_TRUE(user.ends_with(u"a.zip"));
  EXPECT_EQ(user.size(), (dir / u"a.zip").size() - 4 - (user.starts_with(u"/") ? 2 : 0));  // "\\?\" and "C:"
}

// The whole deletion, through the real adapter.
class DeleteDirectoryContract : public FileSystemContract {
 protected:
  void MakeTree(const ScratchDirectory& dir) {
    dir.WriteFile(u"a.txt");
    dir.WriteFile(u"ro.txt");
    std::uint32_t attributes = 0;
    ASSERT_EQ(fs.ReadAttributes(dir / u"ro.txt", attributes), 0);
    ASSERT_EQ(fs.WriteAttributes(dir / u"ro.txt", attributes | Attribute::ReadOnly), 0);
    dir.MakeDirectory(u".hidden");
    ASSERT_EQ(fs.ReadAttributes(dir / u".hidden", attributes), 0);
    ASSERT_EQ(fs.WriteAttributes(dir / u".hidden", attributes | Attribute::Hidden), 0);
    dir.WriteFile(u".hidden\\inner.txt");
    dir.MakeDirectory(u"deep");
    dir.MakeDirectory(u"deep\\er");
    dir.WriteFile(u"deep\\er\\x.bin");
  }
};

TEST_P(DeleteDirectoryContract, RemovesReadOnlyFilesAndHiddenDirectories) {
  const ScratchDirectory dir(fs);
  MakeTree(dir);
  std::u16string failure;
  EXPECT_EQ(DeleteDirectory(dir.Path(), false, fs, &failure), S_OK) << ToUtf8(failure);
  EXPECT_EQ(List(fs, dir.Path()), (std::set<std::u16string>{u".", u".."}));  // the root stays
}

TEST_P(DeleteDirectoryContract, RemovesTheRootOnRequest) {
  const ScratchDirectory outer(fs);
  const std::u16string root = outer / u"root";
  ASSERT_EQ(fs.MakeDirectory(root), 0);
  ASSERT_EQ(fs.WriteWholeFile(root + u"\\f", Bytes("f")), 0);
  EXPECT_EQ(DeleteDirectory(root, true, fs), S_OK);
  EXPECT_FALSE(Exists(fs, root));
  EXPECT_EQ(DeleteDirectory(root, true, fs), HResultFromWin32(Win32Error::PathNotFound));
}

TEST_P(DeleteDirectoryContract, FileHeldOpenStopsTheDeletion) {
  const ScratchDirectory dir(fs);
  dir.MakeDirectory(u"m");
  dir.WriteFile(u"m\\held.txt");
  dir.WriteFile(u"a.txt");
  dir.WriteFile(u"z.txt");
  std::unique_ptr<IReadableFile> file;
  ASSERT_EQ(fs.OpenForReading(dir / u"m\\held.txt", file), 0);

  std::u16string failure;
  EXPECT_EQ(DeleteDirectory(dir.Path(), true, fs, &failure), HResultFromWin32(Win32Error::SharingViolation));
  EXPECT_EQ(failure, dir / u"m");  // the top-level entry under which it happened
  EXPECT_TRUE(Exists(fs, dir / u"m\\held.txt"));
  EXPECT_TRUE(Exists(fs, dir.Path()));

  file.reset();  // what was deleted stays deleted; the rest goes now
  EXPECT_EQ(DeleteDirectory(dir.Path(), false, fs), S_OK);
}

const auto kAdapterName = [](const ::testing::TestParamInfo<Adapter>& info) {
  return std::string(info.param == Adapter::Disk ? "Disk" : "Memory");
};
// A file system whose files come in pieces of at most three bytes, and fail
// where told: a read may return less than asked, and a later read may fail.
class PiecewiseFileSystem final : public FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  std::int32_t OpenForReading(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override {
    std::unique_ptr<IReadableFile> whole;
    if (const std::int32_t error = FileSystemWrapper::OpenForReading(path, whole)) return error;
    file = std::make_unique<Pieces>(std::move(whole), failAtRead);
    return 0;
  }
  int failAtRead = -1;  // the read (from 0) that fails with SharingViolation; -1: none

 private:
  class Pieces final : public IReadableFile {
   public:
    Pieces(std::unique_ptr<IReadableFile> file, int failAt) : m_file(std::move(file)), m_failAt(failAt) {}
    std::uint64_t Size() const override { return m_file->Size(); }
    std::int32_t Read(std::span<std::uint8_t> buffer, std::size_t& read) override {
      if (m_reads++ == m_failAt) return Win32Error::SharingViolation;
      return m_file->Read(buffer.first(std::min<std::size_t>(buffer.size(), 3)), read);
    }

   private:
    std::unique_ptr<IReadableFile> m_file;
    int m_failAt, m_reads = 0;
  };
};

TEST(ReadWholeFile, AFileThatComesInPiecesIsReadWholeAndAFailedPieceFailsIt) {
  const ScratchDirectory scratch(DefaultFileSystem());
  const std::u16string path = scratch.Path() + u"\\teile.bin";
  std::unique_ptr<IWritableFile> out;
  ASSERT_EQ(DefaultFileSystem().CreateForWriting(path, Creation::New, false, out), 0);
  ASSERT_EQ(out->WriteAt(0, Bytes("zehn Bytes")), 0);
  ASSERT_EQ(out->Close(), 0);
  PiecewiseFileSystem pieces(DefaultFileSystem());
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(ReadWholeFile(pieces, path, bytes), 0);
  EXPECT_EQ(bytes, Bytes("zehn Bytes"));
  for (const int failAt : {0, 1, 3}) {
    SCOPED_TRACE(failAt);
    pieces.failAtRead = failAt;
    EXPECT_EQ(ReadWholeFile(pieces, path, bytes), Win32Error::SharingViolation);
  }
}

INSTANTIATE_TEST_SUITE_P(Adapters, FileSystemContract, ::testing::Values(Adapter::Disk, Adapter::Memory), kAdapterName);
INSTANTIATE_TEST_SUITE_P(Adapters, DeleteDirectoryContract, ::testing::Values(Adapter::Disk, Adapter::Memory),
                         kAdapterName);

}  // namespace
}  // namespace CV::FS
