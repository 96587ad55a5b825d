// Port: the file system, Windows-shaped.
//
// Paths are Windows paths in UTF-16: "C:\dir\file", the long form
// "\\?\C:\dir\file", "\\?\UNC\server\share\x" or relative "dir\file". Every
// call reports failure by returning a Win32 error code (0 = success; see
// Win32Error in hresult.h), the value GetLastError would give on Windows;
// none throws except for memory exhaustion. All calls may be made from any
// thread; each is atomic with respect to the others only as far as the
// underlying file system is.
//
// On POSIX drive C: is the root; "C:\tmp\x", "\\?\C:\tmp\x" and /tmp/x are one
// file. Other drives and network paths do not exist (PathNotFound). A name
// that begins with "." is hidden; a file without owner write permission is
// read-only. Names containing a backslash cannot be represented and are not
// listed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace CV::FS {

namespace Attribute {
inline constexpr std::uint32_t ReadOnly = 0x1;
inline constexpr std::uint32_t Hidden = 0x2;
inline constexpr std::uint32_t System = 0x4;
inline constexpr std::uint32_t Directory = 0x10;
inline constexpr std::uint32_t Archive = 0x20;
inline constexpr std::uint32_t Normal = 0x80;
}  // namespace Attribute

// One directory entry, as FindFirstFileExW reports it.
struct FindData {
  std::uint32_t attributes = 0;
  std::u16string name;  // the entry's name only, "." and ".." included
  std::uint64_t size = 0;
};

// An open directory search. Next fills the following entry and returns 0, or
// NoMoreFiles at the end, or another error. Closing it ends the search.
class IDirectorySearch {
 public:
  virtual ~IDirectorySearch() = default;
  virtual std::int32_t Next(FindData& entry) = 0;
};

// A search over entries read when it started, as a large fetch reads them.
class ListedSearch final : public IDirectorySearch {
 public:
  explicit ListedSearch(std::vector<FindData> entries) : m_entries(std::move(entries)) {}
  std::int32_t Next(FindData& entry) override;

 private:
  std::vector<FindData> m_entries;
  std::size_t m_next = 0;
};

// A file open for reading. Until it is destroyed the file cannot be deleted
// (no delete sharing): RemoveFile answers SharingViolation.
class IReadableFile {
 public:
  virtual ~IReadableFile() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads up to buffer.size() bytes at the current position; read = 0 at the end.
  virtual std::int32_t Read(std::span<std::uint8_t> buffer, std::size_t& read) = 0;
};

// A file open for writing, through one handle, and for reading back what
// it holds. Positions are explicit: no call moves a file pointer. While a
// handle holds an exclusive lock on a range (LockRange), reads and writes of
// that range through every other handle fail with LockViolation, as
// Windows enforces it; the holder itself reads and writes freely. So a lock
// that only marks ownership belongs on bytes no data uses: past the end of
// any data, which may be locked.
class IWritableFile {
 public:
  // Closes the handle unchecked: call Close to learn about a late failure.
  virtual ~IWritableFile() = default;
  // Writes all of bytes at offset; a gap before it reads as zeros.
  virtual std::int32_t WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
  // Reads up to buffer.size() bytes at offset; read = 0 at the end.
  virtual std::int32_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer, std::size_t& read) = 0;
  // Cuts or extends the file to size bytes.
  virtual std::int32_t Resize(std::uint64_t size) = 0;
  // Takes an exclusive lock on length bytes at offset for as long as this
  // handle is open, without waiting: LockViolation while another handle,
  // of any process, holds a lock over any of them.
  virtual std::int32_t LockRange(std::uint64_t offset, std::uint64_t length) = 0;
  // Writes what the system still holds to the disk (FlushFileBuffers, fsync).
  virtual std::int32_t Flush() = 0;
  // Closes the handle and reports a failure the system kept until now; any
  // later call answers InvalidHandle.
  virtual std::int32_t Close() = 0;
};

enum class Creation {
  New,     // CREATE_NEW: FileExists when the name is taken
  Always,  // CREATE_ALWAYS: an existing file is emptied
};

// How long a file's name and path may be for the file to be created: the
// name in UTF-8 bytes (POSIX file systems count bytes) and in UTF-16 units,
// the whole path in UTF-16 units as it is handed over (a long-path prefix
// counts). A limit that does not apply is SIZE_MAX.
struct NameLimits {
  std::size_t nameBytes = SIZE_MAX;
  std::size_t nameUnits = SIZE_MAX;
  std::size_t pathUnits = SIZE_MAX;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // The limits of names and paths: on POSIX a name of at most 255 bytes; on
  // Windows a name of at most 255 units and a path of at most 259, because
  // other programs (Outlook's SaveAsFile) take paths into MAX_PATH buffers.
  virtual NameLimits Limits() = 0;

  // GetLongPathNameW. With a buffer too small (or empty) returns the length
  // needed including the terminating NUL; on success the length written
  // without it. 0 with error set when the path does not exist.
  virtual std::uint32_t LongPathName(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) = 0;

  // The current directory, drive included, without a final backslash.
  virtual std::int32_t CurrentDirectory(std::u16string& out) = 0;

  // GetTempPathW: the user's temporary directory with a final backslash.
  virtual std::int32_t TempPath(std::u16string& out) = 0;

  // FindFirstFileExW over "<directory>\*": fills the first entry and the
  // search that yields the others. NoMoreFiles or FileNotFound for an empty
  // result, PathNotFound when the directory does not exist.
  virtual std::int32_t FindFirst(std::u16string_view pattern, FindData& first,
                                 std::unique_ptr<IDirectorySearch>& search) = 0;

  // DeleteFileW: AccessDenied for a read-only file, SharingViolation while
  // the file is open without delete sharing, FileNotFound when it is gone.
  virtual std::int32_t RemoveFile(std::u16string_view path) = 0;

  // GetFileAttributesW / SetFileAttributesW (ReadOnly and Hidden are kept;
  // on POSIX only ReadOnly can be changed).
  virtual std::int32_t ReadAttributes(std::u16string_view path, std::uint32_t& attributes) = 0;
  virtual std::int32_t WriteAttributes(std::u16string_view path, std::uint32_t attributes) = 0;

  // CreateDirectoryW (AlreadyExists when it exists) and RemoveDirectoryW
  // (DirNotEmpty unless it is empty).
  virtual std::int32_t MakeDirectory(std::u16string_view path) = 0;
  virtual std::int32_t RemoveEmptyDirectory(std::u16string_view path) = 0;

  // CopyFileW; with failIfExists an existing target gives FileExists.
  virtual std::int32_t CopyFileTo(std::u16string_view from, std::u16string_view to, bool failIfExists) = 0;

  // Creates or replaces a file with the given bytes.
  virtual std::int32_t WriteWholeFile(std::u16string_view path, std::span<const std::uint8_t> bytes) = 0;

  // Creates a file for writing and reading back. Others may read it and may
  // rename or delete it (the holder itself renames it while it is open)
  // but not write it. With deleteOnClose the file is gone once the handle
  // closes, however the process ends; where the platform cannot promise
  // that, it goes at once and only the handle knows it. A directory whose
  // owner may not write refuses new files with AccessDenied, even for a
  // privileged user.
  virtual std::int32_t CreateForWriting(std::u16string_view path, Creation creation, bool deleteOnClose,
                                        std::unique_ptr<IWritableFile>& file) = 0;

  // Whether a fresh handle on an existing file could lock length bytes at
  // offset now: Success, or LockViolation while a handle holds a lock over
  // them, or the error of opening the file.
  virtual std::int32_t ProbeLock(std::u16string_view path, std::uint64_t offset, std::uint64_t length) = 0;

  // MoveFileExW within one volume. Without replace an existing target gives
  // AlreadyExists and stays as it is; with replace it is replaced in one
  // step. A file open with delete sharing (CreateForWriting) can be moved.
  virtual std::int32_t MoveFileTo(std::u16string_view from, std::u16string_view to, bool replace) = 0;

  // The path as the user knows it, for messages: without the long-path
  // prefix; on POSIX the POSIX path.
  virtual std::u16string UserPath(std::u16string_view path) {
    if (path.starts_with(u"\\\\?\\UNC\\")) return u"\\\\" + std::u16string(path.substr(8));
    if (path.starts_with(u"\\\\?\\")) return std::u16string(path.substr(4));
    return std::u16string(path);
  }

  // Opens an existing file for reading, shared for reading only.
  virtual std::int32_t OpenForReading(std::u16string_view path, std::unique_ptr<IReadableFile>& file) = 0;
  // Opens an existing file for reading and shares it with nobody while it
  // is open (where the platform has no sharing modes, as OpenForReading).
  virtual std::int32_t OpenForReadingExclusive(std::u16string_view path, std::unique_ptr<IReadableFile>& file) {
    return OpenForReading(path, file);
  }
};

// Forwards every call; derive from it to change a few (fault injection).
class FileSystemWrapper : public IFileSystem {
 public:
  explicit FileSystemWrapper(IFileSystem& target) : m_target(target) {}

  NameLimits Limits() override { return m_target.Limits(); }
  std::uint32_t LongPathName(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) override {
    return m_target.LongPathName(path, buffer, error);
  }
  std::int32_t CurrentDirectory(std::u16string& out) override { return m_target.CurrentDirectory(out); }
  std::int32_t TempPath(std::u16string& out) override { return m_target.TempPath(out); }
  std::int32_t FindFirst(std::u16string_view pattern, FindData& first,
                         std::unique_ptr<IDirectorySearch>& search) override {
    return m_target.FindFirst(pattern, first, search);
  }
  std::int32_t RemoveFile(std::u16string_view path) override { return m_target.RemoveFile(path); }
  std::int32_t ReadAttributes(std::u16string_view path, std::uint32_t& attributes) override {
    return m_target.ReadAttributes(path, attributes);
  }
  std::int32_t WriteAttributes(std::u16string_view path, std::uint32_t attributes) override {
    return m_target.WriteAttributes(path, attributes);
  }
  std::int32_t MakeDirectory(std::u16string_view path) override { return m_target.MakeDirectory(path); }
  std::int32_t RemoveEmptyDirectory(std::u16string_view path) override { return m_target.RemoveEmptyDirectory(path); }
  std::int32_t CopyFileTo(std::u16string_view from, std::u16string_view to, bool failIfExists) override {
    return m_target.CopyFileTo(from, to, failIfExists);
  }
  std::int32_t WriteWholeFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    return m_target.WriteWholeFile(path, bytes);
  }
  std::int32_t OpenForReading(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override {
    return m_target.OpenForReading(path, file);
  }
  std::int32_t OpenForReadingExclusive(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override {
    return m_target.OpenForReadingExclusive(path, file);
  }
  std::int32_t CreateForWriting(std::u16string_view path, Creation creation, bool deleteOnClose,
                                std::unique_ptr<IWritableFile>& file) override {
    return m_target.CreateForWriting(path, creation, deleteOnClose, file);
  }
  std::int32_t ProbeLock(std::u16string_view path, std::uint64_t offset, std::uint64_t length) override {
    return m_target.ProbeLock(path, offset, length);
  }
  std::int32_t MoveFileTo(std::u16string_view from, std::u16string_view to, bool replace) override {
    return m_target.MoveFileTo(from, to, replace);
  }
  std::u16string UserPath(std::u16string_view path) override { return m_target.UserPath(path); }

 protected:
  IFileSystem& target() { return m_target; }

 private:
  IFileSystem& m_target;
};

// The adapter linked into this build.
IFileSystem& DefaultFileSystem();

// Helpers on the port.
// LongPathName for a file system without short names, once the path is
// known to exist: the long name is the path as given.
std::uint32_t AnswerLongPath(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error);
bool Exists(IFileSystem& fs, std::u16string_view path);
std::int32_t ReadWholeFile(IFileSystem& fs, std::u16string_view path, std::vector<std::uint8_t>& bytes);

}  // namespace CV::FS
