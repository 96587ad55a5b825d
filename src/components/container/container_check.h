// The check of a container against its own format, strictly: exactly one
// manifest, the last member, of the format's shape; every other member a
// mail below mails/ that the manifest lists with its SHA-256; local headers
// and central directory agreeing; every CRC right; nothing missing and
// nothing unlisted.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace CV::Components {

class ZipReader;

// What differs, one line each; empty when the container is intact.
std::vector<std::string> VerifyContainer(const std::filesystem::path& container);
std::vector<std::string> VerifyContainer(ZipReader& zip);

// The checks that read no member's data: one manifest, the last member;
// every other member a mail below mails/, stored once; local headers and
// central directory agreeing. Enough to show a container's manifest.
std::vector<std::string> CheckStructure(ZipReader& zip);


}  // namespace CV::Components
