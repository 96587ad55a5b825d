// The POSIX adapter keeps Windows' rules that Wine forgives, so that the
// fast tests catch what only a real Windows would refuse.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "components/container/container_part.h"
#include "foundation/file_system.h"
#include "foundation/hresult.h"
#include "sim/posix_paths.h"
#include "support/scratch_directory.h"

namespace CV::FS {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

// A byte range one handle locked can be neither read nor written through
// another handle, of the same process too. So the arrangement of locking
// byte 0 and writing the file through a second handle fails at once.
TEST(PosixFileSystem, ALockedRangeRefusesEveryOtherHandle) {
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
