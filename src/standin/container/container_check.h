// Reading a container back: its manifest, and the check of every member
// against it (each member's CRC, each mail's SHA-256, nothing missing and
// nothing unlisted).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace CV::Standin {

// The manifest's text; throws ZipError when the file is no container.
std::string ReadManifest(const std::filesystem::path& container);

// What differs between the container and its manifest; empty when the
// container is intact.
std::vector<std::string> VerifyContainer(const std::filesystem::path& container);

}  // namespace CV::Standin
