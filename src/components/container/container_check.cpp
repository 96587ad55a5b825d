#include "components/container/container_check.h"

#include <map>
#include <set>
#include <stdexcept>

#include "components/container/manifest.h"
#include "components/container/sha256.h"
#include "components/container/zip_reader.h"

namespace CV::Components {
namespace {

constexpr const char* kManifest = "manifest.json";

}  // namespace

bool IsMailMemberName(const std::string& name) {
  if (name.rfind("mails/", 0) != 0 || name.size() <= 6) return false;
  if (name.find('\\') != std::string::npos || name.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string segment = name.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    start = end + 1;
  }
  return true;
}

std::vector<std::string> CheckStructure(ZipReader& zip) {
  std::vector<std::string> problems;
  const auto& entries = zip.Entries();
  std::size_t manifests = 0;
  for (const auto& entry : entries) manifests += entry.name == kManifest;
  if (manifests == 0) return {"the container has no manifest.json"};
  if (manifests > 1) problems.push_back("the container holds manifest.json " + std::to_string(manifests) + " times");
  if (entries.back().name != kManifest) problems.push_back("manifest.json is not the last member");
  std::set<std::string> seen;
  for (const ZipReader::Entry& member : entries) {
    if (member.name != kManifest) {
      if (!seen.insert(member.name).second) problems.push_back(member.name + ": stored twice");
      if (!IsMailMemberName(member.name)) problems.push_back(member.name + ": no member name below mails/");
    }
    try {
      const ZipReader::LocalHeader local = zip.ReadLocalHeader(member);
      if (local.name != member.name) problems.push_back(member.name + ": the local header names \"" + local.name + "\"");
      if (local.method != member.method || local.crc != member.crc || local.size != member.size ||
          local.compressedSize != member.compressedSize)
        problems.push_back(member.name + ": local header and central directory differ");
    } catch (const ZipError& e) {
      problems.push_back(e.what());
    }
  }
  return problems;
}

std::vector<std::string> VerifyContainer(ZipReader& zip) {
  std::vector<std::string> problems = CheckStructure(zip);
  if (!zip.Find(kManifest)) return problems;

  // The manifest, as the format has it.
  std::map<std::string, std::string> expected;  // member -> sha256
  ManifestHead head;
  try {
    head = ReadManifest(
        zip, *zip.Find(kManifest),
        [&](std::uint64_t index, const ManifestMail& mail, const ManifestHead& sofar) {
          CheckManifestMail(index, mail, sofar.version, problems);
          const auto member = mail.Text("member");
          const auto sha = mail.Text("sha256");
          if (!member) return;
          if (!expected.emplace(*member, sha.value_or("")).second)
            problems.push_back(*member + ": listed twice in the manifest");
        },
        problems);
  } catch (const std::runtime_error& e) {
    problems.push_back(e.what());
    return problems;
  }
  if (head.received && *head.received != static_cast<std::int64_t>(head.mails))
    problems.push_back("the manifest lists " + std::to_string(head.mails) + " mails but received " +
                       std::to_string(*head.received));

  // Every mail member: its bytes are whole, and the manifest lists them.
  std::set<std::string> seen;
  for (const ZipReader::Entry& member : zip.Entries()) {
    if (member.name == kManifest || !seen.insert(member.name).second) continue;
    Sha256 sha;
    try {
      zip.Read(member, [&](const unsigned char* data, std::size_t n) { sha.Update(data, n); });
    } catch (const ZipError& e) {
      problems.push_back(e.what());
      continue;
    }
    const auto it = expected.find(member.name);
    if (it == expected.end()) problems.push_back(member.name + ": not in the manifest");
    else if (Sha256::Hex(sha.Final()) != it->second) problems.push_back(member.name + ": SHA-256 differs from the manifest");
  }
  for (const auto& [member, sha] : expected)
    if (!seen.count(member)) problems.push_back(member + ": listed in the manifest but missing");
  return problems;
}

std::vector<std::string> VerifyContainer(const std::filesystem::path& container) {
  try {
    ZipReader zip(container);
    return VerifyContainer(zip);
  } catch (const ZipError& e) {
    return {e.what()};
  }
}

}  // namespace CV::Components
