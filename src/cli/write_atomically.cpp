#include "cli/write_atomically.h"

#include <fstream>

#include "cli/command_line.h"
#include "cli/exit_codes.h"

namespace CV::Cli {

void WriteAtomically(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path temporary = path.string() + ".cvmail-part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw Failure(Exit::Usage, "cannot write " + path.string());
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw Failure(Exit::Usage, "cannot write " + path.string());
  }
}

}  // namespace CV::Cli
