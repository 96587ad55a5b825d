// The file-system port over the Win32 file functions; paths go through
// unchanged, long-path prefix included.
#include <windows.h>

#include <algorithm>
#include <string>

#include "foundation/file_system.h"
#include "win/platform/unique_handle.h"

namespace CV::FS {
namespace {

std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
std::u16string U(const wchar_t* s, std::size_t n) { return std::u16string(reinterpret_cast<const char16_t*>(s), n); }
std::int32_t LastError() { return static_cast<std::int32_t>(::GetLastError()); }

FindData ToFindData(const WIN32_FIND_DATAW& d) {
  return {d.dwFileAttributes, U(d.cFileName, wcslen(d.cFileName)),
          (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow};
}

class WinDirectorySearch final : public IDirectorySearch {
 public:
  explicit WinDirectorySearch(Win::UniqueFind find) : m_find(std::move(find)) {}
  std::int32_t Next(FindData& entry) override {
    WIN32_FIND_DATAW data{};
    if (!::FindNextFileW(m_find.Get(), &data)) return LastError();
    entry = ToFindData(data);
    return 0;
  }

 private:
  Win::UniqueFind m_find;
};

class WinReadableFile final : public IReadableFile {
 public:
  WinReadableFile(Win::UniqueFile file, std::uint64_t size) : m_file(std::move(file)), m_size(size) {}
  std::uint64_t Size() const override { return m_size; }
  std::int32_t Read(std::span<std::uint8_t> buffer, std::size_t& read) override {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
    if (!::ReadFile(m_file.Get(), buffer.data(), chunk, &n, nullptr)) return LastError();
    read = n;
    return 0;
  }

 private:
  Win::UniqueFile m_file;
  std::uint64_t m_size;
};

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Every position is given with the call: the handle's own pointer is never
// relied on.
class WinWritableFile final : public IWritableFile {
 public:
  explicit WinWritableFile(Win::UniqueFile file) : m_file(std::move(file)) {}

  std::int32_t WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (!m_file) return ERROR_INVALID_HANDLE;
    while (!bytes.empty()) {
      OVERLAPPED at = At(offset);
      DWORD n = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!::WriteFile(m_file.Get(), bytes.data(), chunk, &n, &at)) return LastError();
      if (n == 0) return ERROR_WRITE_FAULT;
      bytes = bytes.subspan(n);
      offset += n;
    }
    return 0;
  }

  std::int32_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer, std::size_t& read) override {
    read = 0;
    if (!m_file) return ERROR_INVALID_HANDLE;
    OVERLAPPED at = At(offset);
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
    if (!::ReadFile(m_file.Get(), buffer.data(), chunk, &n, &at))
      return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : LastError();
    read = n;
    return 0;
  }

  std::int32_t Resize(std::uint64_t size) override {
    if (!m_file) return ERROR_INVALID_HANDLE;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(m_file.Get(), FileEndOfFileInfo, &end, sizeof end) ? 0 : LastError();
  }

  std::int32_t LockRange(std::uint64_t offset, std::uint64_t length) override {
    if (!m_file) return ERROR_INVALID_HANDLE;
    OVERLAPPED at = At(offset);
    if (::LockFileEx(m_file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                     static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &at))
      return 0;
    return LastError();
  }

  std::int32_t Flush() override {
    if (!m_file) return ERROR_INVALID_HANDLE;
    return ::FlushFileBuffers(m_file.Get()) ? 0 : LastError();
  }

  std::int32_t Close() override {
    if (!m_file) return ERROR_INVALID_HANDLE;
    return ::CloseHandle(m_file.Release()) ? 0 : LastError();
  }

 private:
  Win::UniqueFile m_file;
};

class WinFileSystem final : public IFileSystem {
 public:
  NameLimits Limits() override { return NameLimits{SIZE_MAX, 255, MAX_PATH - 1}; }

  std::uint32_t LongPathName(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) override {
    const std::wstring p = W(path);
    const DWORD n = ::GetLongPathNameW(p.c_str(), reinterpret_cast<wchar_t*>(buffer.data()),
                                       static_cast<DWORD>(buffer.size()));
    error = n == 0 ? LastError() : 0;
    return n;
  }

  std::int32_t CurrentDirectory(std::u16string& out) override {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return LastError();
    std::wstring buffer(needed, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(needed, buffer.data());
    if (n == 0 || n >= needed) return n == 0 ? LastError() : ERROR_INSUFFICIENT_BUFFER;
    out = U(buffer.c_str(), n);
    return 0;
  }

  std::int32_t TempPath(std::u16string& out) override {
    wchar_t buffer[MAX_PATH];
    const DWORD n = ::GetTempPathW(MAX_PATH, buffer);
    if (n == 0) return LastError();
    if (n > MAX_PATH) return ERROR_INSUFFICIENT_BUFFER;
    out = U(buffer, n);
    return 0;
  }

  std::int32_t FindFirst(std::u16string_view pattern, FindData& first,
                         std::unique_ptr<IDirectorySearch>& search) override {
    WIN32_FIND_DATAW data{};
    Win::UniqueFind find(::FindFirstFileExW(W(pattern).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                            nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return LastError();
    first = ToFindData(data);
    search = std::make_unique<WinDirectorySearch>(std::move(find));
    return 0;
  }

  std::int32_t RemoveFile(std::u16string_view path) override {
    return ::DeleteFileW(W(path).c_str()) ? 0 : LastError();
  }

  std::int32_t ReadAttributes(std::u16string_view path, std::uint32_t& attributes) override {
    const DWORD a = ::GetFileAttributesW(W(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return LastError();
    attributes = a;
    return 0;
  }

  std::int32_t WriteAttributes(std::u16string_view path, std::uint32_t attributes) override {
    return ::SetFileAttributesW(W(path).c_str(), attributes) ? 0 : LastError();
  }

  std::int32_t MakeDirectory(std::u16string_view path) override {
    return ::CreateDirectoryW(W(path).c_str(), nullptr) ? 0 : LastError();
  }

  std::int32_t RemoveEmptyDirectory(std::u16string_view path) override {
    return ::RemoveDirectoryW(W(path).c_str()) ? 0 : LastError();
  }

  std::int32_t CopyFileTo(std::u16string_view from, std::u16string_view to, bool failIfExists) override {
    return ::CopyFileW(W(from).c_str(), W(to).c_str(), failIfExists ? TRUE : FALSE) ? 0 : LastError();
  }

  std::int32_t WriteWholeFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    Win::UniqueFile file(::CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD n = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
      if (!::WriteFile(file.Get(), bytes.data() + done, chunk, &n, nullptr)) return LastError();
      done += n;
    }
    return 0;
  }

  std::int32_t OpenForReading(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override {
    return Open(path, FILE_SHARE_READ, file);
  }
  std::int32_t OpenForReadingExclusive(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override {
    return Open(path, 0, file);
  }

  // Shared for reading and deleting: the holder renames the file while it
  // is open, and others (a scanner, the owner check) may look into it.
  std::int32_t CreateForWriting(std::u16string_view path, Creation creation, bool deleteOnClose,
                                std::unique_ptr<IWritableFile>& file) override {
    const DWORD flags = deleteOnClose ? FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE : FILE_ATTRIBUTE_NORMAL;
    // Windows refuses to write a read-only file; Wine, run by root, would
    // empty it.
    if (creation == Creation::Always) {
      const DWORD attributes = ::GetFileAttributesW(W(path).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
    }
    Win::UniqueFile handle(::CreateFileW(W(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         creation == Creation::New ? CREATE_NEW : CREATE_ALWAYS, flags, nullptr));
    if (!handle) return LastError();
    file = std::make_unique<WinWritableFile>(std::move(handle));
    return 0;
  }

  std::int32_t ProbeLock(std::u16string_view path, std::uint64_t offset, std::uint64_t length) override {
    Win::UniqueFile handle(::CreateFileW(W(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return LastError();
    OVERLAPPED at = At(offset);
    if (!::LockFileEx(handle.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, static_cast<DWORD>(length),
                      static_cast<DWORD>(length >> 32), &at))
      return LastError();
    ::UnlockFileEx(handle.Get(), 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &at);
    return 0;
  }

  std::int32_t MoveFileTo(std::u16string_view from, std::u16string_view to, bool replace) override {
    // Windows replaces neither a read-only file nor a directory; Wine, run
    // by root, would.
    if (replace) {
      const DWORD attributes = ::GetFileAttributesW(W(to).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return ERROR_ACCESS_DENIED;
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return ::MoveFileExW(W(from).c_str(), W(to).c_str(), flags) ? 0 : LastError();
  }

 private:
  std::int32_t Open(std::u16string_view path, DWORD sharing, std::unique_ptr<IReadableFile>& file) {
    Win::UniqueFile handle(::CreateFileW(W(path).c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return LastError();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle.Get(), &size)) return LastError();
    file = std::make_unique<WinReadableFile>(std::move(handle), static_cast<std::uint64_t>(size.QuadPart));
    return 0;
  }
};

}  // namespace

IFileSystem& DefaultFileSystem() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* instance = new WinFileSystem;
  return *instance;
}

}  // namespace CV::FS
