// Temporary directories and recursive deletion with faults injected into the
// file system.
#include "foundation/directory.h"

#include <gtest/gtest.h>

#include <set>

#include "foundation/com_error.h"
#include "support/faulty_file_system.h"
#include "support/scratch_directory.h"
#include "support/errors.h"

namespace CV::FS {
namespace {

using Fake::FaultyFileSystem;
using Fake::ScratchDirectory;
using Sim::FaultPlan;

class FixedGuids final : public IGuidSource {
 public:
  Guid NewGuid() override { return Guid::FromLiteral("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}"); }
};

TEST(CreateTempDirectory, NameAndBase) {
  const ScratchDirectory base;
  FixedGuids guids;
  const std::u16string made = CreateTempDirectory(base.Path(), DefaultFileSystem(), guids);
  EXPECT_EQ(made, base.Path() + u"\\CV.0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");
  EXPECT_TRUE(Exists(DefaultFileSystem(), made));
  // The same GUID again: the directory exists already.
  EXPECT_EQ(Fake::ErrorOf([&] { CreateTempDirectory(u"\"" + base.Path() + u"\"", DefaultFileSystem(), guids); }),
            HResultFromWin32(Win32Error::AlreadyExists));
}

TEST(CreateTempDirectory, FailuresArriveAsComError) {
  struct Case {
    const char* call;
    std::int32_t error;
  };
  const Case cases[] = {{"TempPath", Win32Error::NotEnoughMemory}, {"MakeDirectory", Win32Error::AccessDenied},
                        {"MakeDirectory", Win32Error::DiskFull}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    FaultyFileSystem fs;
    fs.Plan(c.call, FaultPlan{c.error, 1, true});
    EXPECT_EQ(Fake::ErrorOf([&] { CreateTempDirectory(u"", fs); }), HResultFromWin32(c.error));
  }
}

class DeleteDirectoryFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeDirectory(u"sub");
    dir.WriteFile(u"sub\\one.txt");
    dir.WriteFile(u"sub\\two.txt");
  }
  ScratchDirectory dir;
};

TEST_F(DeleteDirectoryFaults, ReadOnlyRetryDeletesOnTheSecondAttempt) {
  FaultyFileSystem fs;
  fs.Plan("RemoveFile", FaultPlan{Win32Error::AccessDenied, 1, false});
  EXPECT_EQ(DeleteDirectory(dir.Path(), false, fs), S_OK);
  EXPECT_EQ(fs.Calls("ReadAttributes"), 1u);
  EXPECT_EQ(fs.Calls("WriteAttributes"), 1u);
  EXPECT_FALSE(Exists(DefaultFileSystem(), dir / u"sub"));
}

TEST_F(DeleteDirectoryFaults, FirstFailureEndsTheWalkAndNamesTheTopLevelEntry) {
  struct Case {
    const char* name;
    const char* call;
    FaultPlan plan;
    std::int32_t expectedError;
    std::u16string expectedFailure;
  };
  const std::u16string sub = dir / u"sub";
  const Case cases[] = {
      {"file kept open", "RemoveFile", FaultPlan{Win32Error::SharingViolation, 1, true},
       Win32Error::SharingViolation, sub},
      {"search cannot start", "FindFirst", FaultPlan{Win32Error::AccessDenied, 1, true}, Win32Error::AccessDenied,
       dir.Path()},
      {"search breaks in the subdirectory", "FindNext", FaultPlan{Win32Error::GenFailure, 3, false},
       Win32Error::GenFailure, sub},
      {"subdirectory cannot be removed", "RemoveEmptyDirectory", FaultPlan{Win32Error::AccessDenied, 1, false},
       Win32Error::AccessDenied, sub},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultyFileSystem fs;
    fs.Plan(c.call, c.plan);
    std::u16string failure;
    EXPECT_EQ(DeleteDirectory(dir.Path(), true, fs, &failure), HResultFromWin32(c.expectedError));
    EXPECT_EQ(ToUtf8(failure), ToUtf8(c.expectedFailure));
    EXPECT_TRUE(Exists(DefaultFileSystem(), dir.Path()));
  }
}

TEST_F(DeleteDirectoryFaults, FileThatVanishesCountsAsDeleted) {
  FaultyFileSystem fs;
  fs.Plan("RemoveFile", FaultPlan{Win32Error::AccessDenied, 1, false});
  fs.Plan("ReadAttributes", FaultPlan{Win32Error::FileNotFound, 1, false});
  // The first file is reported gone but stays; its directory then cannot go.
  std::u16string failure;
  EXPECT_EQ(DeleteDirectory(dir.Path(), true, fs, &failure), HResultFromWin32(Win32Error::DirNotEmpty));
  EXPECT_EQ(failure, dir / u"sub");
}

// Fails every call of a deletion in turn: each run succeeds or reports its
// fault, and a clean run afterwards removes whatever is left.
TEST_F(DeleteDirectoryFaults, FaultSweep) {
  std::uint64_t total = 0;
  {
    ScratchDirectory probe;
    probe.MakeDirectory(u"sub");
    probe.WriteFile(u"sub\\one.txt");
    probe.WriteFile(u"top.txt");
    FaultyFileSystem counting;
    ASSERT_EQ(DeleteDirectory(probe.Path(), false, counting), S_OK);
    total = counting.TotalCalls();
  }
  ASSERT_GT(total, 5u);
  for (const std::int32_t error : {Win32Error::AccessDenied, Win32Error::SharingViolation, Win32Error::GenFailure}) {
    for (std::uint64_t n = 1; n <= total; ++n) {
      SCOPED_TRACE(testing::Message() << "call " << n << " fails with " << error);
      ScratchDirectory run;
      run.MakeDirectory(u"sub");
      run.WriteFile(u"sub\\one.txt");
      run.WriteFile(u"top.txt");
      FaultyFileSystem fs;
      fs.FailNthCall(n, error);
      std::u16string failure;
      const HRESULT hr = DeleteDirectory(run.Path(), false, fs, &failure);
      if (hr == S_OK) {
        EXPECT_FALSE(Exists(DefaultFileSystem(), run / u"top.txt"));
      } else {
        EXPECT_TRUE(Failed(hr));
        EXPECT_FALSE(failure.empty());
      }
    }
  }
}

}  // namespace
}  // namespace CV::FS

namespace CV::FS {
namespace {

// A policy that only records what the walk hands it, with the filters set.
class RecordingWalk final : public CFileSystemEnumT<RecordingWalk> {
 public:
  RecordingWalk(IFileSystem& fs, bool includeHidden, std::u16string include, std::u16string exclude)
      : CFileSystemEnumT(fs, includeHidden) {
    m_includePattern = std::move(include);
    m_excludePattern = std::move(exclude);
  }
  HRESULT OnDirectory(const std::u16string& path, int depth, bool& recurse) {
    seen.push_back(Name(path) + u"/" + std::u16string(1, char16_t(u'0' + depth)));
    recurse = true;
    return S_OK;
  }
  HRESULT AfterDirectory(const std::u16string&) { return S_OK; }
  HRESULT OnFile(const std::u16string& path, const FindData&) {
    seen.push_back(Name(path));
    return S_OK;
  }
  std::vector<std::u16string> seen;

 private:
  static std::u16string Name(const std::u16string& path) { return path.substr(path.rfind(u'\\') + 1); }
};

TEST(CFileSystemEnumT, HiddenEntriesAndPatterns) {
  Fake::ScratchDirectory dir;
  dir.WriteFile(u"a.txt");
  dir.WriteFile(u"b.tmp");
  dir.MakeDirectory(u".versteckt");
  dir.WriteFile(u".versteckt\\c.txt");
  dir.MakeDirectory(u"sub");
  dir.WriteFile(u"sub\\d.TXT");
  std::uint32_t attributes = 0;
  IFileSystem& fs = DefaultFileSystem();
  ASSERT_EQ(fs.ReadAttributes(dir / u".versteckt", attributes), 0);
  ASSERT_EQ(fs.WriteAttributes(dir / u".versteckt", attributes | Attribute::Hidden), 0);
  struct Case {
    const char* name;
    bool includeHidden;
    const char16_t* include;
    const char16_t* exclude;
    std::set<std::u16string> expected;
  };
  const Case cases[] = {
      {"everything", true, u"", u"", {u".versteckt/1", u"c.txt", u"a.txt", u"b.tmp", u"sub/1", u"d.TXT"}},
      {"hidden skipped", false, u"", u"", {u"a.txt", u"b.tmp", u"sub/1", u"d.TXT"}},
      {"include *.txt (any case)", false, u"*.txt", u"", {u"a.txt", u"sub/1", u"d.TXT"}},
      {"exclude *.tmp", true, u"", u"*.tmp", {u".versteckt/1", u"c.txt", u"a.txt", u"sub/1", u"d.TXT"}},
      {"directories are not filtered by patterns", false, u"*.none", u"", {u"sub/1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWalk walk(fs, c.includeHidden, c.include, c.exclude);
    EXPECT_EQ(walk.InternalEnum(dir.Path(), 0), S_OK);
    EXPECT_EQ(std::set<std::u16string>(walk.seen.begin(), walk.seen.end()), c.expected);
  }
}

}  // namespace
}  // namespace CV::FS
