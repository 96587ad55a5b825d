// The container's manifest, read as a stream: a manifest of a million mails
// is read in flat memory, and one someone crafted (nested without end,
// inflating to gigabytes, of any shape) is refused or shown for what it is,
// never trusted. Its shape is checked field by field against the format
// (README: the archive container), versions 1 to 3.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "components/container/zip_reader.h"

namespace CV::Components {

// The largest manifest read: ample for a million mails.
inline constexpr std::uint64_t kManifestLimit = 1536ull << 20;

// One entry of "mails": its scalar fields as found (a field that is an
// array or object is kept as null and reported).
struct ManifestMail {
  std::map<std::string, nlohmann::json> fields;
  // The field as text, or nullopt when it is missing or no string.
  std::optional<std::string> Text(const std::string& name) const;
};

struct ManifestHead {
  std::optional<std::string> format;
  std::optional<std::int64_t> version, announced, received;
  bool hasProperties = false, hasMails = false, hasViewer = false;
  // The viewer's member and its SHA-256 (version 3), nullopt where missing or no text.
  std::optional<std::string> viewerMember, viewerSha256;
  // Each property's name and value, nullopt where one is missing or no string.
  std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> properties;
  std::uint64_t mails = 0;
};

// Reads the manifest member of zip. mail is called for each entry of
// "mails" in order (may be empty), with the head as far as it has been read
// (the writer puts "version" first); the head is complete when it returns.
// Every way the manifest departs from the format is a line in problems.
// Throws ZipError when the member cannot be read or is larger than
// kManifestLimit, std::runtime_error when it is no JSON or nested deeper
// than the format goes.
ManifestHead ReadManifest(ZipReader& zip, const ZipReader::Entry& manifest,
                          const std::function<void(std::uint64_t index, const ManifestMail&,
                                                   const ManifestHead&)>& mail,
                          std::vector<std::string>& problems);

// The checks of one mail entry against the format of the given version
// (unknown: "source" may be there or not).
void CheckManifestMail(std::uint64_t index, const ManifestMail& mail, std::optional<std::int64_t> version,
                       std::vector<std::string>& problems);

// A mail member lies below mails/ and can be extracted nowhere else: no
// "..", no root, no drive, no backslash, no empty segment.
bool IsMailMemberName(const std::string& name);

}  // namespace CV::Components
