#include "cli/run_directory.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "components/container/zip_writer.h"

namespace CV::Cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockFile = ".lock";

}  // namespace

RunDirectory::RunDirectory(const fs::path& parent) {
  std::string pattern = (parent / ("cvmail-" + std::to_string(::getpid()) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data()))
    throw Failure(Exit::Usage, "cannot make a directory in " + parent.string() + ": " + std::strerror(errno));
  m_path = pattern;
  try {
    m_lock = std::make_unique<Components::OwnerLock>(m_path / kLockFile);
  } catch (const Components::ZipError& e) {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
    throw Failure(Exit::Usage, e.what());
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
    if (!Components::OwnerGone(it->path() / kLockFile)) continue;
    if (fs::remove_all(it->path(), e) > 0 && !e) removed.push_back(it->path());
  }
  return removed;
}

}  // namespace CV::Cli
