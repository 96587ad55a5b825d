// Telling work under way from what a killed run left behind: a file its
// owner holds locked for as long as it lives. The lock goes with the owner,
// however it ends (a kill included), so a file whose lock can be taken has
// no owner any more.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace CV::Components {

class OwnerLock {
 public:
  // Creates file if needed and locks it; throws ZipError when it cannot.
  explicit OwnerLock(const std::filesystem::path& file);
  ~OwnerLock();
  OwnerLock(const OwnerLock&) = delete;
  OwnerLock& operator=(const OwnerLock&) = delete;

 private:
  std::intptr_t m_handle;  // a file descriptor, or a Windows handle
};

// True when file exists and nobody holds its lock.
bool OwnerGone(const std::filesystem::path& file);

// The temporary file of a container while it is written, beside the target:
// ".<target name>.part-<n>".
bool IsContainerPart(const std::filesystem::path& file);

// Removes the containers' temporary files in directory whose writers are
// gone; returns their paths.
std::vector<std::filesystem::path> RemoveAbandonedParts(const std::filesystem::path& directory);

}  // namespace CV::Components
