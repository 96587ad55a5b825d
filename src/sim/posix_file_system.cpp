// The file-system port on POSIX, presenting the Windows-shaped namespace:
// drive C: is the root; other drives and network paths do not exist.
//
// Divisions: path mapping; error translation; the open-file table that makes
// files held open undeletable; byte-range locks; files for writing; the
// searches; the port itself.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "foundation/ascii.h"
#include "foundation/file_system.h"
#include "foundation/hresult.h"
#include "foundation/utf.h"
#include "sim/posix_paths.h"
#include "sim/posix_sharing.h"

namespace CV::FS {
namespace {

// ---- path mapping

// A name Windows could not hold cannot be shown through the port.
bool IsRepresentable(std::string_view name) {
  return name.find_first_of("\\:*?\"<>|") == std::string_view::npos &&
         std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

std::string LastComponent(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const std::size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

// ---- error translation

std::int32_t ErrorFromErrno(int error, const std::string& path) {
  switch (error) {
    case 0: return Win32Error::Success;
    case ENOENT: {
      // Windows tells a missing file from a missing directory on the way.
      const std::size_t slash = path.rfind('/');
      const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
      struct stat st {};
      return (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? Win32Error::FileNotFound
                                                                       : Win32Error::PathNotFound;
    }
    case ENOTDIR: return Win32Error::PathNotFound;
    case EACCES: case EPERM: case EROFS: return Win32Error::AccessDenied;
    case EEXIST: return Win32Error::AlreadyExists;
    case ENOTEMPTY: return Win32Error::DirNotEmpty;
    case ENOSPC: case EDQUOT: return Win32Error::DiskFull;
    case EFBIG: return Win32Error::FileTooLarge;
    case ENAMETOOLONG: return Win32Error::FilenameExcedRange;
    case ENOMEM: return Win32Error::NotEnoughMemory;
    case EBUSY: return Win32Error::SharingViolation;
    case EISDIR: return Win32Error::AccessDenied;
    case ESTALE: case ENOTCONN: case ECONNRESET: case ECONNABORTED: return Win32Error::NetNameDeleted;
    case ENETDOWN: case ENETUNREACH: case EHOSTDOWN: case EHOSTUNREACH: case ETIMEDOUT:
      return Win32Error::UnexpectedNetError;
    case EBADF: return Win32Error::InvalidHandle;
    default: return Win32Error::GenFailure;
  }
}

// ---- files held open: sharing modes and deletion

using FileKey = std::pair<dev_t, ino_t>;

// Access a handle holds and what it lets others do, as CreateFileW has them.
namespace Share {
constexpr unsigned Read = 1, Write = 2, Delete = 4;
}

// Off for cvmail; the tests switch it on (KeepWindowsSharingRules).
std::atomic<bool> g_strict{false};

// The handles this adapter holds open, with the rules Windows keeps for
// them: a new handle must be allowed by every open one's sharing and must
// itself share what each holds; a file deleted while open stays, its name
// taken, until its last handle goes. Readers always take part; in the
// strict mode the writers too, with deletion pending as on Windows.
class OpenFiles {
 public:
  // Registers a handle; SharingViolation when the rules refuse it,
  // AccessDenied while the file is pending deletion.
  std::int32_t Add(FileKey key, const void* handle, unsigned access, unsigned share) {
    std::lock_guard lock(m_mutex);
    if (const std::int32_t error = CheckLocked(key, access, share); error != 0) return error;
    m_files[key].handles.push_back({handle, access, share});
    return Win32Error::Success;
  }
  // Whether a handle with this access and sharing could be opened now.
  std::int32_t Check(FileKey key, unsigned access, unsigned share) const {
    std::lock_guard lock(m_mutex);
    return CheckLocked(key, access, share);
  }
  // The last handle of a file pending deletion, or made to be deleted on
  // close, deletes it.
  void Remove(FileKey key, const void* handle) {
    std::lock_guard lock(m_mutex);
    const auto it = m_files.find(key);
    if (it == m_files.end()) return;
    std::erase_if(it->second.handles, [&](const Handle& h) { return h.handle == handle; });
    if (!it->second.handles.empty()) return;
    if (!it->second.deletePath.empty()) {
      struct stat st {};
      if (::lstat(it->second.deletePath.c_str(), &st) == 0 && FileKey{st.st_dev, st.st_ino} == key)
        ::unlink(it->second.deletePath.c_str());
    }
    m_files.erase(it);
  }
  bool IsOpen(FileKey key) const {
    std::lock_guard lock(m_mutex);
    return m_files.count(key) != 0;
  }
  // Deletes the file (at path) with its last handle; pending: its name
  // refuses every open from now on.
  void DeleteWhenClosed(FileKey key, std::string path, bool pending) {
    std::lock_guard lock(m_mutex);
    File& file = m_files[key];
    file.deletePath = std::move(path);
    file.pending = file.pending || pending;
  }
  bool DeletePending(FileKey key) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_files.find(key);
    return it != m_files.end() && it->second.pending;
  }

 private:
  struct Handle {
    const void* handle;
    unsigned access, share;
  };
  struct File {
    std::vector<Handle> handles;
    std::string deletePath;  // set: deleted with the last handle
    bool pending = false;
  };
  std::int32_t CheckLocked(FileKey key, unsigned access, unsigned share) const {
    const auto it = m_files.find(key);
    if (it == m_files.end()) return Win32Error::Success;
    if (it->second.pending) return Win32Error::AccessDenied;
    for (const Handle& h : it->second.handles)
      if ((access & ~h.share) != 0 || (h.access & ~share) != 0) return Win32Error::SharingViolation;
    return Win32Error::Success;
  }

  mutable std::mutex m_mutex;
  std::map<FileKey, File> m_files;
};

OpenFiles& TheOpenFiles() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* files = new OpenFiles;
  return *files;
}

class PosixReadableFile final : public IReadableFile {
 public:
  // The file is registered as open already.
  PosixReadableFile(int fd, FileKey key, std::uint64_t size) : m_fd(fd), m_key(key), m_size(size) {}
  ~PosixReadableFile() override {
    TheOpenFiles().Remove(m_key, this);
    ::close(m_fd);
  }
  std::uint64_t Size() const override { return m_size; }
  std::int32_t Read(std::span<std::uint8_t> buffer, std::size_t& read) override {
    ssize_t n;
    do n = ::read(m_fd, buffer.data(), buffer.size());
    while (n < 0 && errno == EINTR);
    if (n < 0) return ErrorFromErrno(errno, "");
    read = static_cast<std::size_t>(n);
    return Win32Error::Success;
  }

 private:
  int m_fd;
  FileKey m_key;
  std::uint64_t m_size;
};

// ---- byte-range locks

// The kernel's locks (open file description locks: one per handle, as on
// Windows, and seen by other processes) say who owns a range; this table
// makes them mandatory for the handles of this process, as Windows does
// for every handle: a read or write of a range another handle locked fails.
class RangeLocks {
 public:
  void Add(FileKey key, const void* owner, std::uint64_t offset, std::uint64_t length) {
    std::lock_guard lock(m_mutex);
    m_locks[key].push_back({owner, offset, length});
  }
  void RemoveOwner(FileKey key, const void* owner) {
    std::lock_guard lock(m_mutex);
    const auto it = m_locks.find(key);
    if (it == m_locks.end()) return;
    std::erase_if(it->second, [&](const Range& r) { return r.owner == owner; });
    if (it->second.empty()) m_locks.erase(it);
  }
  // True when a handle other than owner holds a lock over any of the
  // bytes; with owner null, any handle.
  bool Blocks(FileKey key, const void* owner, std::uint64_t offset, std::uint64_t length) const {
    if (length == 0) return false;
    std::lock_guard lock(m_mutex);
    const auto it = m_locks.find(key);
    if (it == m_locks.end()) return false;
    return std::any_of(it->second.begin(), it->second.end(), [&](const Range& r) {
      return r.owner != owner && offset < r.offset + r.length && r.offset < offset + length;
    });
  }

 private:
  struct Range {
    const void* owner;
    std::uint64_t offset, length;
  };
  mutable std::mutex m_mutex;
  std::map<FileKey, std::vector<Range>> m_locks;
};

RangeLocks& TheRangeLocks() {
  static auto* locks = new RangeLocks;  // never destroyed, like the open files
  return *locks;
}

struct flock RangeOf(short type, std::uint64_t offset, std::uint64_t length) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(offset);
  range.l_len = static_cast<off_t>(length);
  return range;
}

// ---- files for writing

class PosixWritableFile final : public IWritableFile {
 public:
  PosixWritableFile(int fd, FileKey key) : m_fd(fd), m_key(key) {}
  ~PosixWritableFile() override {
    if (m_fd >= 0) Close();
  }

  std::int32_t WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (m_fd < 0) return Win32Error::InvalidHandle;
    if (TheRangeLocks().Blocks(m_key, this, offset, bytes.size())) return Win32Error::LockViolation;
    while (!bytes.empty()) {
      const ssize_t n = ::pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrorFromErrno(errno, "");
      }
      bytes = bytes.subspan(static_cast<std::size_t>(n));
      offset += static_cast<std::uint64_t>(n);
    }
    return Win32Error::Success;
  }

  std::int32_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer, std::size_t& read) override {
    read = 0;
    if (m_fd < 0) return Win32Error::InvalidHandle;
    if (TheRangeLocks().Blocks(m_key, this, offset, buffer.size())) return Win32Error::LockViolation;
    ssize_t n;
    do n = ::pread(m_fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
    while (n < 0 && errno == EINTR);
    if (n < 0) return ErrorFromErrno(errno, "");
    read = static_cast<std::size_t>(n);
    return Win32Error::Success;
  }

  std::int32_t Resize(std::uint64_t size) override {
    if (m_fd < 0) return Win32Error::InvalidHandle;
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? Win32Error::Success : ErrorFromErrno(errno, "");
  }

  std::int32_t LockRange(std::uint64_t offset, std::uint64_t length) override {
    if (m_fd < 0) return Win32Error::InvalidHandle;
    // Windows does not lock a range twice, not even for the same handle.
    if (TheRangeLocks().Blocks(m_key, nullptr, offset, length)) return Win32Error::LockViolation;
    struct flock range = RangeOf(F_WRLCK, offset, length);
    if (::fcntl(m_fd, F_OFD_SETLK, &range) != 0)
      return errno == EAGAIN || errno == EACCES ? Win32Error::LockViolation : ErrorFromErrno(errno, "");
    TheRangeLocks().Add(m_key, this, offset, length);
    return Win32Error::Success;
  }

  std::int32_t Flush() override {
    if (m_fd < 0) return Win32Error::InvalidHandle;
    return ::fsync(m_fd) == 0 ? Win32Error::Success : ErrorFromErrno(errno, "");
  }

  std::int32_t Close() override {
    if (m_fd < 0) return Win32Error::InvalidHandle;
    TheRangeLocks().RemoveOwner(m_key, this);
    TheOpenFiles().Remove(m_key, this);
    const int fd = std::exchange(m_fd, -1);
    return ::close(fd) == 0 ? Win32Error::Success : ErrorFromErrno(errno, "");
  }

 private:
  int m_fd;
  FileKey m_key;
};

// ---- searches

std::uint32_t AttributesOf(const struct stat& st, const std::string& name) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    attributes |= Attribute::Directory;
  } else {
    attributes |= Attribute::Archive;
    if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) attributes |= Attribute::ReadOnly;
  }
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= Attribute::Hidden;
  return attributes;
}

bool IsReadOnlyFile(const struct stat& st) { return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0; }

// A directory whose owner may not write takes no new entries, even from
// root, as a folder without write access on Windows.
bool IsReadOnlyDirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  struct stat st {};
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

std::int32_t WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno, "");
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return Win32Error::Success;
}

// ---- the port

class PosixFileSystem final : public IFileSystem {
 public:
  NameLimits Limits() override { return NameLimits{NAME_MAX, SIZE_MAX, SIZE_MAX}; }

  std::uint32_t LongPathName(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) override {
    std::string posix;
    if ((error = ToPosix(path, posix)) != 0) return 0;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) != 0) {
      error = ErrorFromErrno(errno, posix);
      return 0;
    }
    return AnswerLongPath(path, buffer, error);  // POSIX names have no short form
  }

  std::int32_t CurrentDirectory(std::u16string& out) override {
    std::string buffer(4096, '\0');
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return ErrorFromErrno(errno, "");
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    out = ToWindows(buffer);
    return Win32Error::Success;
  }

  std::int32_t TempPath(std::u16string& out) override {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp && *tmp) ? tmp : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    out = ToWindows(dir);
    if (out.back() != u'\\') out += u'\\';
    return Win32Error::Success;
  }

  std::int32_t FindFirst(std::u16string_view pattern, FindData& first,
                         std::unique_ptr<IDirectorySearch>& search) override {
    if (!pattern.ends_with(u"*")) return Win32Error::InvalidName;
    pattern.remove_suffix(1);
    std::string dir;
    if (pattern.empty()) dir = ".";
    else if (const std::int32_t error = ToPosix(pattern, dir); error != 0) return error;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) return errno == ENOENT ? Win32Error::PathNotFound : ErrorFromErrno(errno, dir);
    std::vector<std::string> names;
    while (const dirent* d = ::readdir(handle)) names.emplace_back(d->d_name);
    ::closedir(handle);
    std::sort(names.begin(), names.end());  // "." and ".." come first, as on NTFS
    std::vector<FindData> entries;
    const std::string base = dir.back() == '/' ? dir : dir + "/";
    for (const std::string& name : names) {
      if (!IsRepresentable(name)) continue;
      struct stat st {};
      if (::lstat((base + name).c_str(), &st) != 0) continue;  // vanished
      entries.push_back({AttributesOf(st, name), FromUtf8(name), static_cast<std::uint64_t>(st.st_size)});
    }
    if (entries.empty()) return Win32Error::FileNotFound;
    first = entries.front();
    entries.erase(entries.begin());
    search = std::make_unique<ListedSearch>(std::move(entries));
    return Win32Error::Success;
  }

  std::int32_t RemoveFile(std::u16string_view path) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) != 0) return ErrorFromErrno(errno, posix);
    if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Win32Error::AccessDenied;
    const FileKey key{st.st_dev, st.st_ino};
    if (const std::int32_t error = TheOpenFiles().Check(key, Share::Delete, Share::Read | Share::Write | Share::Delete);
        error != 0)
      return error;
    if (g_strict && TheOpenFiles().IsOpen(key)) {
      TheOpenFiles().DeleteWhenClosed(key, posix, true);  // gone with its last handle; the name stays taken
      return Win32Error::Success;
    }
    if (::unlink(posix.c_str()) != 0) return ErrorFromErrno(errno, posix);
    return Win32Error::Success;
  }

  std::int32_t ReadAttributes(std::u16string_view path, std::uint32_t& attributes) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) != 0) return ErrorFromErrno(errno, posix);
    attributes = AttributesOf(st, LastComponent(posix));
    return Win32Error::Success;
  }

  std::int32_t WriteAttributes(std::u16string_view path, std::uint32_t attributes) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) != 0) return ErrorFromErrno(errno, posix);
    if (S_ISLNK(st.st_mode)) return Win32Error::Success;  // chmod would follow the link
    mode_t mode = st.st_mode & 07777;
    if (attributes & Attribute::ReadOnly) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else mode |= S_IWUSR;
    if (::chmod(posix.c_str(), mode) != 0) return ErrorFromErrno(errno, posix);
    return Win32Error::Success;
  }

  std::int32_t MakeDirectory(std::u16string_view path) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    if (::mkdir(posix.c_str(), 0777) != 0) return ErrorFromErrno(errno, posix);
    return Win32Error::Success;
  }

  std::int32_t RemoveEmptyDirectory(std::u16string_view path) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    if (::rmdir(posix.c_str()) != 0) {
      if (errno == EEXIST || errno == ENOTEMPTY) return Win32Error::DirNotEmpty;
      if (errno == ENOTDIR) return Win32Error::Directory;
      return ErrorFromErrno(errno, posix);
    }
    return Win32Error::Success;
  }

  std::int32_t CopyFileTo(std::u16string_view from, std::u16string_view to, bool failIfExists) override {
    std::vector<std::uint8_t> bytes;
    if (const std::int32_t error = ReadWholeFile(*this, from, bytes); error != 0) return error;
    return Write(to, bytes, failIfExists);
  }

  std::int32_t WriteWholeFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    return Write(path, bytes, false);
  }

  std::int32_t OpenForReading(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override {
    return Open(path, false, file);
  }

  std::int32_t CreateForWriting(std::u16string_view path, Creation creation, bool deleteOnClose,
                                std::unique_ptr<IWritableFile>& file) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    if (IsReadOnlyDirectoryOf(posix)) return Win32Error::AccessDenied;
    constexpr unsigned kAccess = Share::Read | Share::Write | Share::Delete, kShare = Share::Read | Share::Delete;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) == 0) {
      if (const std::int32_t error = TheOpenFiles().Check({st.st_dev, st.st_ino}, kAccess, kShare);
          error == Win32Error::AccessDenied || (error != 0 && creation == Creation::Always))
        return error;
      if (creation == Creation::Always && (S_ISDIR(st.st_mode) || IsReadOnlyFile(st))) return Win32Error::AccessDenied;
    }
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (creation == Creation::New ? O_EXCL : O_TRUNC);
    const int fd = ::open(posix.c_str(), flags, 0666);
    if (fd < 0) return errno == EEXIST ? Win32Error::FileExists : ErrorFromErrno(errno, posix);
    if (::fstat(fd, &st) != 0) {
      const int error = errno;
      ::close(fd);
      return ErrorFromErrno(error, posix);
    }
    const FileKey key{st.st_dev, st.st_ino};
    auto writable = std::make_unique<PosixWritableFile>(fd, key);
    if (g_strict) {
      if (const std::int32_t error = TheOpenFiles().Add(key, writable.get(), kAccess, kShare); error != 0) return error;
      if (deleteOnClose) TheOpenFiles().DeleteWhenClosed(key, posix, false);  // the name stays until then
    } else if (deleteOnClose) {
      ::unlink(posix.c_str());  // gone at once: the handle keeps it, and nothing is left after a crash
    }
    file = std::move(writable);
    return Win32Error::Success;
  }

  std::int32_t ProbeLock(std::u16string_view path, std::uint64_t offset, std::uint64_t length) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) == 0)
      if (const std::int32_t error = TheOpenFiles().Check({st.st_dev, st.st_ino}, Share::Read, Share::Read | Share::Write | Share::Delete); error != 0)
        return error;
    const int fd = ::open(posix.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno, posix);
    struct flock range = RangeOf(F_WRLCK, offset, length);
    const int result = ::fcntl(fd, F_OFD_GETLK, &range);
    const int error = errno;
    ::close(fd);
    if (result != 0) return ErrorFromErrno(error, posix);
    return range.l_type == F_UNLCK ? Win32Error::Success : Win32Error::LockViolation;
  }

  std::int32_t MoveFileTo(std::u16string_view from, std::u16string_view to, bool replace) override {
    std::string source, target;
    if (const std::int32_t error = ToPosix(from, source); error != 0) return error;
    if (const std::int32_t error = ToPosix(to, target); error != 0) return error;
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) return ErrorFromErrno(errno, source);
    // Moving takes delete access to the source and to a target it replaces.
    if (const std::int32_t error = TheOpenFiles().Check({st.st_dev, st.st_ino}, Share::Delete, Share::Read | Share::Write | Share::Delete);
        error != 0)
      return error;
    if (IsReadOnlyDirectoryOf(target)) return Win32Error::AccessDenied;
    if (::lstat(target.c_str(), &st) == 0) {
      if (TheOpenFiles().DeletePending({st.st_dev, st.st_ino})) return Win32Error::AccessDenied;
      if (!replace) return Win32Error::AlreadyExists;
      if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Win32Error::AccessDenied;
      if (const std::int32_t error = TheOpenFiles().Check({st.st_dev, st.st_ino}, Share::Delete, Share::Read | Share::Write | Share::Delete);
          error != 0)
        return error;
    }
    if (replace) return ::rename(source.c_str(), target.c_str()) == 0 ? Win32Error::Success : ErrorFromErrno(errno, target);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return Win32Error::Success;
    if (errno == EEXIST) return Win32Error::AlreadyExists;
    if (errno != EINVAL && errno != ENOSYS) return ErrorFromErrno(errno, target);
    // A file system without the flag: a second name fails as well when taken.
    if (::link(source.c_str(), target.c_str()) != 0)
      return errno == EEXIST ? Win32Error::AlreadyExists : ErrorFromErrno(errno, target);
    ::unlink(source.c_str());
    return Win32Error::Success;
  }

  std::u16string UserPath(std::u16string_view path) override {
    std::string posix;
    if (ToPosix(path, posix) != 0) return IFileSystem::UserPath(path);
    return FromUtf8(posix);
  }
  std::int32_t OpenForReadingExclusive(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override {
    return Open(path, true, file);
  }

 private:
  std::int32_t Open(std::u16string_view path, bool exclusive, std::unique_ptr<IReadableFile>& file) {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    const int fd = ::open(posix.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno, posix);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      const int error = S_ISDIR(st.st_mode) ? EACCES : errno;
      ::close(fd);
      return ErrorFromErrno(error, posix);
    }
    const FileKey key{st.st_dev, st.st_ino};
    auto readable = std::make_unique<PosixReadableFile>(fd, key, static_cast<std::uint64_t>(st.st_size));
    if (const std::int32_t error = TheOpenFiles().Add(key, readable.get(), Share::Read, exclusive ? 0 : Share::Read);
        error != 0)
      return error;  // closed again with the object
    file = std::move(readable);
    return Win32Error::Success;
  }

  std::int32_t Write(std::u16string_view path, std::span<const std::uint8_t> bytes, bool failIfExists) {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) == 0) {
      if (TheOpenFiles().DeletePending({st.st_dev, st.st_ino})) return Win32Error::AccessDenied;
      if (failIfExists) return Win32Error::FileExists;
      if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Win32Error::AccessDenied;
      // Written without sharing: any handle open on it refuses.
      if (const std::int32_t error = TheOpenFiles().Check({st.st_dev, st.st_ino}, Share::Write, 0); error != 0)
        return error;
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    const int fd = ::open(posix.c_str(), flags, 0666);
    if (fd < 0) return errno == EEXIST ? Win32Error::FileExists : ErrorFromErrno(errno, posix);
    std::int32_t error = WriteAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 && error == 0) error = ErrorFromErrno(errno, posix);
    return error;
  }
};

}  // namespace

void KeepWindowsSharingRules(bool on) { g_strict = on; }

IFileSystem& DefaultFileSystem() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* instance = new PosixFileSystem;
  return *instance;
}

}  // namespace CV::FS
