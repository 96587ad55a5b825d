#include "cli/run_directory.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "components/container/container_part.h"
#include "components/container/write_failure.h"
#include "sim/posix_paths.h"

namespace CV::Cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockFile = ".lock";

// Whether the process that made a run directory ("cvmail-<pid>-…") still
// runs: between making the directory and locking its lock file, a run's
// directory is unlocked, and only its process tells that it is in use.
bool OwnerAlive(const std::string& name) {
  const std::size_t end = name.find('-', 7);
  if (end == std::string::npos || end == 7) return false;
  pid_t pid = 0;
  for (std::size_t i = 7; i < end; ++i) {
    if (name[i] < '0' || name[i] > '9' || pid > 4194304) return false;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace

RunDirectory::RunDirectory(const fs::path& parent) {
  std::string pattern = (parent / ("cvmail-" + std::to_string(::getpid()) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data()))
    throw Failure(Exit::Usage, "cannot make a directory in " + parent.string() + ": " + std::strerror(errno));
  m_path = pattern;
  FS::IFileSystem& files = FS::DefaultFileSystem();
  const std::u16string lock = FS::ToWindows((m_path / kLockFile).string());
  std::int32_t error = files.CreateForWriting(lock, FS::Creation::New, false, m_lock);
  if (error == 0) error = m_lock->LockRange(Components::kOwnerLockOffset, Components::kOwnerLockLength);
  if (error != 0) {
    m_lock.reset();
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
    throw Failure(Exit::Usage, "cannot lock " + (m_path / kLockFile).string() + " (error " + std::to_string(error) + ")");
  }
  ::setenv("TMPDIR", m_path.c_str(), 1);
}

RunDirectory::~RunDirectory() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);  // the lock file with it; the lock goes last
  m_lock.reset();
}

std::vector<fs::path> RemoveAbandonedRunDirectories(const fs::path& parent) {
  std::vector<fs::path> removed;
  std::error_code error;
  for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
    std::error_code e;
    if (!it->path().filename().string().starts_with("cvmail-") || !it->is_directory(e) || it->is_symlink(e)) continue;
    if (OwnerAlive(it->path().filename().string())) continue;
    if (!Components::OwnerGone(FS::DefaultFileSystem(), FS::ToWindows((it->path() / kLockFile).string()))) continue;
    if (fs::remove_all(it->path(), e) > 0 && !e) removed.push_back(it->path());
  }
  return removed;
}

}  // namespace CV::Cli
