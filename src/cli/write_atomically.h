// A file cvmail writes is complete under its name or not there at all: it
// is written beside it first and then renamed.
#pragma once

#include <filesystem>
#include <string_view>

namespace CV::Cli {

// Throws Failure (Exit::Usage) naming path when it cannot be written.
void WriteAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace CV::Cli
