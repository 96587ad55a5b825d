#include "components/container/owner_lock.h"

#include <regex>

namespace CV::Components {

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
