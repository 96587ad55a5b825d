// The owner lock on POSIX: flock(2) on the file, which the kernel drops with
// the process, however it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <regex>

#include "components/container/owner_lock.h"
#include "components/container/zip_writer.h"

namespace CV::Components {

OwnerLock::OwnerLock(const std::filesystem::path& file) {
  m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_fd < 0) throw ZipError("cannot create " + file.string(), errno);
  if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(m_fd);
    throw ZipError("cannot lock " + file.string(), error);
  }
}

OwnerLock::~OwnerLock() { ::close(m_fd); }

bool OwnerGone(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool gone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return gone;
}

bool IsContainerPart(const std::filesystem::path& file) {
  static const std::regex kPart(R"(\..+\.part-[0-9]+)");
  return std::regex_match(file.filename().string(), kPart);
}

std::vector<std::filesystem::path> RemoveAbandonedParts(const std::filesystem::path& directory) {
  std::vector<std::filesystem::path> removed;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    std::error_code e;
    if (!IsContainerPart(it->path()) || !it->is_regular_file(e) || !OwnerGone(it->path())) continue;
    if (std::filesystem::remove(it->path(), e)) removed.push_back(it->path());
  }
  return removed;
}

}  // namespace CV::Components
