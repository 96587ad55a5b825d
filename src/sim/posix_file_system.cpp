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

// ---- files held open without delete sharing

using FileKey = std::pair<dev_t, ino_t>;

class OpenFiles {
 public:
  // False when the file is held exclusively, or when exclusive is asked
  // for a file held at all.
  bool Add(FileKey key, bool exclusive) {
    std::lock_guard lock(m_mutex);
    if (m_exclusive.count(key) || (exclusive && m_count.count(key))) return false;
    ++m_count[key];
    if (exclusive) m_exclusive.insert(key);
    return true;
  }
  void Remove(FileKey key) {
    std::lock_guard lock(m_mutex);
    if (--m_count[key] == 0) {
      m_count.erase(key);
      m_exclusive.erase(key);
    }
  }
  bool IsOpen(FileKey key) const {
    std::lock_guard lock(m_mutex);
    return m_count.count(key) != 0;
  }

 private:
  mutable std::mutex m_mutex;
  std::map<FileKey, int> m_count;
  std::set<FileKey> m_exclusive;
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
    TheOpenFiles().Remove(m_key);
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

// Every entry is read when the search starts, as a large fetch does.
class PosixDirectorySearch final : public IDirectorySearch {
 public:
  explicit PosixDirectorySearch(std::vector<FindData> entries) : m_entries(std::move(entries)) {}
  std::int32_t Next(FindData& entry) override {
    if (m_next >= m_entries.size()) return Win32Error::NoMoreFiles;
    entry = m_entries[m_next++];
    return Win32Error::Success;
  }

 private:
  std::vector<FindData> m_entries;
  std::size_t m_next = 0;
};

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
    // POSIX names have no short form: the long name is the path as given.
    const auto length = static_cast<std::uint32_t>(path.size());
    if (buffer.size() < path.size() + 1) return length + 1;
    std::copy(path.begin(), path.end(), buffer.begin());
    buffer[path.size()] = u'\0';
    error = Win32Error::Success;
    return length;
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
    search = std::make_unique<PosixDirectorySearch>(std::move(entries));
    return Win32Error::Success;
  }

  std::int32_t RemoveFile(std::u16string_view path) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) != 0) return ErrorFromErrno(errno, posix);
    if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Win32Error::AccessDenied;
    if (TheOpenFiles().IsOpen({st.st_dev, st.st_ino})) return Win32Error::SharingViolation;
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
    struct stat st {};
    if (creation == Creation::Always && ::lstat(posix.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Win32Error::AccessDenied;
      if (TheOpenFiles().IsOpen({st.st_dev, st.st_ino})) return Win32Error::SharingViolation;
    }
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (creation == Creation::New ? O_EXCL : O_TRUNC);
    const int fd = ::open(posix.c_str(), flags, 0666);
    if (fd < 0) return errno == EEXIST ? Win32Error::FileExists : ErrorFromErrno(errno, posix);
    if (::fstat(fd, &st) != 0) {
      const int error = errno;
      ::close(fd);
      return ErrorFromErrno(error, posix);
    }
    // Gone at once: the open handle keeps it, and nothing is left after a crash.
    if (deleteOnClose) ::unlink(posix.c_str());
    file = std::make_unique<PosixWritableFile>(fd, FileKey{st.st_dev, st.st_ino});
    return Win32Error::Success;
  }

  std::int32_t ProbeLock(std::u16string_view path, std::uint64_t offset, std::uint64_t length) override {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
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
    if (TheOpenFiles().IsOpen({st.st_dev, st.st_ino})) return Win32Error::SharingViolation;
    if (IsReadOnlyDirectoryOf(target)) return Win32Error::AccessDenied;
    if (::lstat(target.c_str(), &st) == 0) {
      if (!replace) return Win32Error::AlreadyExists;
      if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Win32Error::AccessDenied;
      if (TheOpenFiles().IsOpen({st.st_dev, st.st_ino})) return Win32Error::SharingViolation;
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
    if (!TheOpenFiles().Add(key, exclusive)) {
      ::close(fd);
      return Win32Error::SharingViolation;
    }
    file = std::make_unique<PosixReadableFile>(fd, key, static_cast<std::uint64_t>(st.st_size));
    return Win32Error::Success;
  }

  std::int32_t Write(std::u16string_view path, std::span<const std::uint8_t> bytes, bool failIfExists) {
    std::string posix;
    if (const std::int32_t error = ToPosix(path, posix); error != 0) return error;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) == 0) {
      if (failIfExists) return Win32Error::FileExists;
      if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Win32Error::AccessDenied;
      if (TheOpenFiles().IsOpen({st.st_dev, st.st_ino})) return Win32Error::SharingViolation;
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

IFileSystem& DefaultFileSystem() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* instance = new PosixFileSystem;
  return *instance;
}

}  // namespace CV::FS
