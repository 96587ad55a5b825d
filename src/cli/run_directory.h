// The temporary directory of one cvmail run: "cvmail-<pid>-XXXXXX" below
// the temporary directory, locked for as long as the run lives. TMPDIR
// points into it, so every mail's directory ("CV." and a GUID) lies inside.
// It goes with the run; what a killed run left is removed by the next one.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "foundation/file_system.h"

namespace CV::Cli {

class RunDirectory {
 public:
  // Below parent; throws Failure(Usage) when it cannot be made.
  explicit RunDirectory(const std::filesystem::path& parent);
  ~RunDirectory();
  RunDirectory(const RunDirectory&) = delete;
  RunDirectory& operator=(const RunDirectory&) = delete;

  const std::filesystem::path& Path() const noexcept { return m_path; }

 private:
  std::filesystem::path m_path;
  std::unique_ptr<FS::IWritableFile> m_lock;  // the owner's lock on the lock file
};

// Removes the run directories below parent whose runs are gone; returns them.
std::vector<std::filesystem::path> RemoveAbandonedRunDirectories(const std::filesystem::path& parent);

}  // namespace CV::Cli
