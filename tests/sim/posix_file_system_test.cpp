// The POSIX adapter keeps Windows' rules that Wine forgives, so that the
// fast tests catch what only a real Windows would refuse.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "components/container/container_part.h"
#include "foundation/file_system.h"
#include "foundation/hresult.h"
#include "sim/posix_paths.h"
#include "sim/posix_sharing.h"
#include "support/scratch_directory.h"

namespace CV::FS {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

// A byte range one handle locked can be neither read nor written through
// another handle, of the same process too. So the arrangement of locking
// byte 0 and writing the file through a second handle fails at once.
TEST(PosixFileSystem, ALockedRangeRefusesEveryOtherHandle) {
  // Sharing as the old streams opened the file, which lets a second writer in.
  KeepWindowsSharingRules(false);
  struct Strict {
    ~Strict() { KeepWindowsSharingRules(true); }
  } restore;
  IFileSystem& fs = DefaultFileSystem();
  const Fake::ScratchDirectory dir(fs);
  const std::u16string path = dir / u".Archiv.zip.part-1";
  std::unique_ptr<IWritableFile> owner, writer;
  ASSERT_EQ(fs.CreateForWriting(path, Creation::New, false, owner), 0);
  ASSERT_EQ(owner->LockRange(0, 1), 0);
  ASSERT_EQ(fs.CreateForWriting(dir / u"other", Creation::New, false, writer), 0);
  writer.reset();
  // The same file through a second handle, as a second stream would open it.
  ASSERT_EQ(fs.CreateForWriting(path, Creation::Always, false, writer), 0);
  EXPECT_EQ(writer->WriteAt(0, Bytes("PK")), Win32Error::LockViolation);
  std::uint8_t byte = 0;
  std::size_t read = 0;
  EXPECT_EQ(writer->ReadAt(0, std::span(&byte, 1), read), Win32Error::LockViolation);
  EXPECT_EQ(writer->WriteAt(1, Bytes("K")), 0);  // the bytes beside it are free
  EXPECT_EQ(owner->WriteAt(0, Bytes("P")), 0);   // the holder is not refused
  EXPECT_EQ(owner->LockRange(0, 1), Win32Error::LockViolation);  // a lock is not taken twice
  EXPECT_EQ(writer->LockRange(0, 2), Win32Error::LockViolation);
  ASSERT_EQ(owner->Close(), 0);
  EXPECT_EQ(writer->WriteAt(0, Bytes("P")), 0);  // the lock went with its handle
}

// Containers are written by several threads at once (the writer's worker,
// the pipeline): each locks and closes its own files while the others do.
TEST(PosixFileSystem, ThreadsLockAndCloseTheirFilesAtOnce) {
  IFileSystem& fs = DefaultFileSystem();
  const Fake::ScratchDirectory dir(fs);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        std::unique_ptr<IWritableFile> file;
        const std::u16string path = dir / (u"f" + std::u16string(1, static_cast<char16_t>(u'a' + t)) + u".part");
        if (fs.CreateForWriting(path, Creation::Always, false, file) != 0 || file->LockRange(1000, 1) != 0 ||
            file->WriteAt(0, Bytes("PK")) != 0 || file->Close() != 0)
          ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
}

// The lock far past the data marks ownership for other processes without
// refusing a byte of the data.
TEST(PosixFileSystem, TheOwnersLockIsSeenByAnotherProcess) {
  IFileSystem& fs = DefaultFileSystem();
  const Fake::ScratchDirectory dir(fs);
  const std::u16string path = dir / u".Archiv.zip.part-7";
  std::unique_ptr<IWritableFile> owner;
  ASSERT_EQ(fs.CreateForWriting(path, Creation::New, false, owner), 0);
  ASSERT_EQ(owner->LockRange(Components::kOwnerLockOffset, Components::kOwnerLockLength), 0);
  std::string posix;
  ASSERT_EQ(ToPosix(path, posix), 0);
  const std::string probe = "python3 -c \"import fcntl,os,sys; fd=os.open(sys.argv[1],os.O_RDWR); "
                            "fcntl.lockf(fd, fcntl.LOCK_EX|fcntl.LOCK_NB, 1, " +
                            std::to_string(Components::kOwnerLockOffset) + ")\" '" + posix + "' 2>/dev/null";
  EXPECT_NE(std::system(probe.c_str()), 0) << "another process took the owner's lock";
  ASSERT_EQ(owner->Close(), 0);
  EXPECT_EQ(std::system(probe.c_str()), 0);
}

// A folder its owner may not write takes no new file, even from root.
TEST(PosixFileSystem, AReadOnlyFolderRefusesNewFilesEvenToRoot) {
  IFileSystem& fs = DefaultFileSystem();
  const Fake::ScratchDirectory dir(fs);
  dir.MakeDirectory(u"gesperrt");
  dir.WriteFile(u"a", "a");
  std::string posix;
  ASSERT_EQ(ToPosix(dir / u"gesperrt", posix), 0);
  ASSERT_EQ(::chmod(posix.c_str(), 0555), 0);
  std::unique_ptr<IWritableFile> file;
  EXPECT_EQ(fs.CreateForWriting(dir / u"gesperrt\\x", Creation::New, false, file), Win32Error::AccessDenied);
  EXPECT_EQ(fs.MoveFileTo(dir / u"a", dir / u"gesperrt\\a", false), Win32Error::AccessDenied);
  ASSERT_EQ(::chmod(posix.c_str(), 0755), 0);
  EXPECT_EQ(fs.CreateForWriting(dir / u"gesperrt\\x", Creation::New, false, file), 0);
}

}  // namespace
}  // namespace CV::FS

namespace CV::FS {
namespace {

std::set<std::u16string> Names(IFileSystem& fs, const std::u16string& directory) {
  std::set<std::u16string> names;
  FindData entry;
  std::unique_ptr<IDirectorySearch> search;
  if (fs.FindFirst(directory + u"\\*", entry, search) != 0) return names;
  do
    if (entry.name != u"." && entry.name != u"..") names.insert(entry.name);
  while (search->Next(entry) == 0);
  return names;
}

// Among the handles of this process, the sharing rules of Windows: a file
// open for writing shares reading and deleting only; a reader shares
// reading only; an exclusive reader nothing.
TEST(PosixFileSystemStrict, OpenHandlesRefuseWhatTheyDoNotShare) {
  IFileSystem& fs = DefaultFileSystem();
  const Fake::ScratchDirectory dir(fs);
  dir.WriteFile(u"gelesen", "r");
  dir.WriteFile(u"frei", "f");
  std::unique_ptr<IWritableFile> writer, second;
  std::unique_ptr<IReadableFile> reader, other;
  ASSERT_EQ(fs.CreateForWriting(dir / u"geschrieben", Creation::New, false, writer), 0);
  ASSERT_EQ(fs.OpenForReading(dir / u"gelesen", reader), 0);
  const struct {
    const char* name;
    std::function<std::int32_t()> call;
    std::int32_t expected;
  } cases[] = {
      {"reading what is written", [&] { return fs.OpenForReading(dir / u"geschrieben", other); },
       Win32Error::SharingViolation},
      {"a second writer", [&] { return fs.CreateForWriting(dir / u"geschrieben", Creation::Always, false, second); },
       Win32Error::SharingViolation},
      {"writing what is read", [&] { return fs.CreateForWriting(dir / u"gelesen", Creation::Always, false, second); },
       Win32Error::SharingViolation},
      {"writing it whole", [&] { return fs.WriteWholeFile(dir / u"gelesen", Bytes("x")); },
       Win32Error::SharingViolation},
      {"a second reader", [&] { return fs.OpenForReading(dir / u"gelesen", other); }, 0},
      {"moving over what is read", [&] { return fs.MoveFileTo(dir / u"frei", dir / u"gelesen", true); },
       Win32Error::SharingViolation},
      {"moving what is read", [&] { return fs.MoveFileTo(dir / u"gelesen", dir / u"neu", false); },
       Win32Error::SharingViolation},
      {"the owner check of what is written", [&] { return fs.ProbeLock(dir / u"geschrieben", 1ull << 62, 1); }, 0},
      {"moving what is written, by its writer", [&] { return fs.MoveFileTo(dir / u"geschrieben", dir / u"fertig", false); },
       0},
      {"writing what is no longer held", [&] {
         reader.reset(), other.reset();
         return fs.CreateForWriting(dir / u"gelesen", Creation::Always, false, second);
       }, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), c.expected) << c.name;
  EXPECT_EQ(Names(fs, dir.Path()), (std::set<std::u16string>{u"fertig", u"frei", u"gelesen"}));
}

// A file deleted while open stays until its last handle goes, and its name
// cannot be used meanwhile; a file deleted on close is there until then.
TEST(PosixFileSystemStrict, AFileDeletedWhileOpenIsPendingUntilItsLastHandleCloses) {
  IFileSystem& fs = DefaultFileSystem();
  const Fake::ScratchDirectory dir(fs);
  dir.WriteFile(u"b", "b");
  std::unique_ptr<IWritableFile> held, again, spool;
  std::unique_ptr<IReadableFile> reader;
  ASSERT_EQ(fs.CreateForWriting(dir / u"a", Creation::New, false, held), 0);
  ASSERT_EQ(fs.CreateForWriting(dir / u".spool", Creation::New, true, spool), 0);
  EXPECT_EQ(fs.RemoveFile(dir / u"a"), 0);
  EXPECT_EQ(Names(fs, dir.Path()), (std::set<std::u16string>{u"a", u"b", u".spool"}));
  EXPECT_EQ(fs.CreateForWriting(dir / u"a", Creation::New, false, again), Win32Error::AccessDenied);
  EXPECT_EQ(fs.OpenForReading(dir / u"a", reader), Win32Error::AccessDenied);
  EXPECT_EQ(fs.MoveFileTo(dir / u"b", dir / u"a", true), Win32Error::AccessDenied);
  EXPECT_EQ(fs.RemoveFile(dir / u"a"), Win32Error::AccessDenied);
  EXPECT_EQ(held->WriteAt(0, Bytes("still")), 0);  // the holder goes on
  ASSERT_EQ(held->Close(), 0);
  spool.reset();
  EXPECT_EQ(Names(fs, dir.Path()), (std::set<std::u16string>{u"b"}));
  EXPECT_EQ(fs.CreateForWriting(dir / u"a", Creation::New, false, again), 0);
}

}  // namespace
}  // namespace CV::FS
