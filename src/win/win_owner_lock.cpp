// The owner lock on Windows: the file held open with a byte-range lock,
// which the system drops with the process, however it ends.
#include <windows.h>

#include <cerrno>

#include "components/container/owner_lock.h"
#include "components/container/zip_writer.h"

namespace CV::Components {
namespace {

HANDLE OpenShared(const std::filesystem::path& file, DWORD disposition) {
  return ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Lock(HANDLE handle) {
  OVERLAPPED at{};
  return ::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

}  // namespace

OwnerLock::OwnerLock(const std::filesystem::path& file) {
  HANDLE handle = OpenShared(file, OPEN_ALWAYS);
  if (handle == INVALID_HANDLE_VALUE) throw ZipError("cannot create " + file.string(), EACCES);
  if (!Lock(handle)) {
    ::CloseHandle(handle);
    throw ZipError("cannot lock " + file.string(), EBUSY);
  }
  m_handle = reinterpret_cast<std::intptr_t>(handle);
}

OwnerLock::~OwnerLock() { ::CloseHandle(reinterpret_cast<HANDLE>(m_handle)); }

bool OwnerGone(const std::filesystem::path& file) {
  HANDLE handle = OpenShared(file, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool gone = Lock(handle);
  ::CloseHandle(handle);
  return gone;
}

}  // namespace CV::Components
