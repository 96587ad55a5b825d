#include "cli/command_line.h"

#include <filesystem>

#include "sim/posix_paths.h"

namespace CV::Cli {

std::u16string WindowsPath(const std::string& path) {
  return FS::ToWindows(std::filesystem::absolute(path).lexically_normal().string());
}

}  // namespace CV::Cli
