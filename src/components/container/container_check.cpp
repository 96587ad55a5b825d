#include "components/container/container_check.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include "components/container/manifest.h"
#include "components/container/sha256.h"
#include "components/container/viewer_page.h"
#include "components/container/zip_format.h"
#include "components/container/zip_reader.h"

namespace CV::Components {
namespace {

constexpr const char* kManifest = "manifest.json";

}  // namespace

namespace {

std::string Hex16(std::uint16_t v) {
  static constexpr char kHex[] = "0123456789abcdef";
  return std::string("0x") + kHex[v >> 12] + kHex[(v >> 8) & 15] + kHex[(v >> 4) & 15] + kHex[v & 15];
}

// A member's ZIP flags may carry only what the writer sets: UTF-8 names,
// and sizes after the data. Anything else (encryption above all) is a
// member other readers refuse or read otherwise.
void CheckFlags(const std::string& name, std::uint16_t flags, std::vector<std::string>& problems) {
  const std::uint16_t foreign = flags & static_cast<std::uint16_t>(~(Zip::kUtf8Names | Zip::kDataDescriptor));
  if (foreign & Zip::kEncrypted) problems.push_back(name + ": marked as encrypted (ZIP flags " + Hex16(flags) + ")");
  else if (foreign) problems.push_back(name + ": ZIP flags " + Hex16(flags) + " the writer never sets");
}

// The bytes of the file before the central directory are the members'
// own, one after the other from the start: a gap can hide a local entry
// that the central directory does not list (content some readers show and
// others do not).
struct Span {
  std::uint64_t start, end;
  std::uint64_t slack;  // bytes after the data that may follow: a data descriptor
  bool operator<(const Span& other) const { return start < other.start; }
};

void CheckCoverage(ZipReader& zip, const std::vector<Span>& spans, std::vector<std::string>& problems) {
  std::uint64_t expected = 0, slack = 0;
  const auto gap = [&](std::uint64_t from, std::uint64_t to) {
    if (to <= from) return;
    std::string what = std::to_string(to - from) + " bytes at offset " + std::to_string(from) +
                       " that the central directory does not list";
    if (to - from >= 4) {
      unsigned char signature[4];
      zip.Source().ReadAt(from, signature, 4);
      if (Zip::Get32(signature) == Zip::kLocalHeader)
        what = "a local entry at offset " + std::to_string(from) + " that the central directory does not list";
    }
    problems.push_back(what);
  };
  for (const Span& span : spans) {
    if (span.start < expected) problems.push_back("members overlap at offset " + std::to_string(span.start));
    else if (span.start - expected > slack) gap(expected, span.start);
    expected = std::max(expected, span.end);
    slack = span.slack;
  }
  if (zip.DirectoryStart() < expected || zip.DirectoryStart() - expected > slack) gap(expected, zip.DirectoryStart());
}

}  // namespace

std::vector<std::string> CheckStructure(ZipReader& zip) {
  std::vector<std::string> problems;
  const auto& entries = zip.Entries();
  std::size_t manifests = 0;
  for (const auto& entry : entries) manifests += entry.name == kManifest;
  if (manifests == 0) return {"the container has no manifest.json"};
  if (manifests > 1) problems.push_back("the container holds manifest.json " + std::to_string(manifests) + " times");
  if (entries.back().name != kManifest) problems.push_back("manifest.json is not the last member");
  std::set<std::string> seen;
  std::vector<Span> spans;  // each member's bytes, header to data's end
  for (const ZipReader::Entry& member : entries) {
    if (member.name != kManifest) {
      if (!seen.insert(member.name).second) problems.push_back(member.name + ": stored twice");
      if (!IsMailMemberName(member.name) && member.name != kViewerMember)
        problems.push_back(member.name + ": no member name below mails/");
    }
    CheckFlags(member.name, member.flags, problems);
    try {
      const ZipReader::LocalHeader local = zip.ReadLocalHeader(member);
      if (local.name != member.name) problems.push_back(member.name + ": the local header names \"" + local.name + "\"");
      if (local.method != member.method || local.crc != member.crc || local.size != member.size ||
          local.compressedSize != member.compressedSize || local.flags != member.flags)
        problems.push_back(member.name + ": local header and central directory differ");
      // A data descriptor follows the data: 12 to 24 bytes, as the writer chose.
      spans.push_back({member.offset, local.dataOffset + member.compressedSize,
                       (member.flags & Zip::kDataDescriptor) ? 24u : 0u});
    } catch (const ZipError& e) {
      problems.push_back(e.what());
    }
  }
  std::sort(spans.begin(), spans.end());
  CheckCoverage(zip, spans, problems);
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

  // The viewer the manifest names must be the one in the container: a page
  // someone changed would run its script wherever the archive is opened.
  if (head.hasViewer && head.viewerMember && head.viewerSha256) {
    if (*head.viewerMember != kViewerMember)
      problems.push_back("the manifest names the viewer \"" + *head.viewerMember + "\"");
    else if (!expected.emplace(*head.viewerMember, *head.viewerSha256).second)
      problems.push_back(*head.viewerMember + ": listed twice in the manifest");
  }

  // Every member: its bytes are whole, and the manifest lists them.
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
