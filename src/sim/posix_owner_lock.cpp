// The owner lock on POSIX: flock(2) on the file, which the kernel drops with
// the process, however it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "components/container/owner_lock.h"
#include "components/container/zip_writer.h"

namespace CV::Components {

OwnerLock::OwnerLock(const std::filesystem::path& file) {
  m_handle = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_handle < 0) throw ZipError("cannot create " + file.string(), errno);
  if (::flock(static_cast<int>(m_handle), LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(static_cast<int>(m_handle));
    throw ZipError("cannot lock " + file.string(), error);
  }
}

OwnerLock::~OwnerLock() { ::close(static_cast<int>(m_handle)); }

bool OwnerGone(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool gone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return gone;
}

}  // namespace CV::Components
