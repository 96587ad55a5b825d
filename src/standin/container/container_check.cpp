#include "standin/container/container_check.h"

#include <nlohmann/json.hpp>

#include <map>
#include <set>

#include "standin/container/sha256.h"
#include "standin/container/zip_reader.h"

namespace CV::Standin {

std::string ReadManifest(const std::filesystem::path& container) {
  ZipReader zip(container);
  const ZipReader::Entry* manifest = zip.Find("manifest.json");
  if (!manifest) throw ZipError("no manifest.json");
  return zip.ReadAll(*manifest);
}

std::vector<std::string> VerifyContainer(const std::filesystem::path& container) {
  std::vector<std::string> problems;
  try {
    ZipReader zip(container);
    const ZipReader::Entry* entry = zip.Find("manifest.json");
    if (!entry) return {"the container has no manifest.json"};
    const nlohmann::json manifest = nlohmann::json::parse(zip.ReadAll(*entry));
    const int version = manifest.value("version", 0);
    if (manifest.value("format", "") != "corvane-archive" || (version != 1 && version != 2))
      problems.push_back("the manifest is not of format corvane-archive, version 1 or 2");
    std::map<std::string, std::string> expected;  // member -> sha256
    for (const auto& mail : manifest.at("mails")) expected[mail.at("member").get<std::string>()] = mail.at("sha256");
    if (manifest.value("received", -1) != static_cast<int>(manifest.at("mails").size()))
      problems.push_back("the manifest lists " + std::to_string(manifest.at("mails").size()) + " mails but received " +
                         std::to_string(manifest.value("received", -1)));
    std::set<std::string> seen;
    for (const ZipReader::Entry& member : zip.Entries()) {
      if (member.name == "manifest.json") continue;
      if (!seen.insert(member.name).second) problems.push_back(member.name + ": stored twice");
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
  } catch (const ZipError& e) {
    problems.push_back(e.what());
  } catch (const nlohmann::json::exception& e) {
    problems.push_back(std::string("the manifest cannot be read: ") + e.what());
  }
  return problems;
}

}  // namespace CV::Standin
