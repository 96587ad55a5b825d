#include "installer/msi_source.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "foundation/markup.h"
#include "foundation/utf.h"
#include "registration/registration_rules.h"

namespace CV::Win::Installer {
namespace {

using Registry::Bitness;

std::string Xml(std::string_view text) { return MarkupEscaped(text); }

// Brackets are properties in the installer's formatted text: a literal one
// is written as [\[] or [\]].
std::string Formatted(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '[') out += "[\\[]";
    else if (c == ']') out += "[\\]]";
    else out += c;
  }
  return out;
}

// "major.minor.build" with the installer's limits (255.255.65535); a fourth
// field is not compared by Windows Installer and is dropped.
std::string ProductVersion(const std::string& version) {
  std::vector<unsigned long> fields;
  const char* at = version.data();
  const char* const end = at + version.size();
  while (true) {
    unsigned long field = 0;
    const auto [next, error] = std::from_chars(at, end, field);
    if (error != std::errc() || next == at) throw std::invalid_argument("not a version: " + version);
    fields.push_back(field);
    at = next;
    if (at == end) break;
    if (*at != '.') throw std::invalid_argument("not a version: " + version);
    ++at;
  }
  if (fields.size() < 2 || fields.size() > 4 || fields[0] > 255 || fields[1] > 255 ||
      (fields.size() > 2 && fields[2] > 65535))
    throw std::invalid_argument("not a version Windows Installer compares: " + version);
  fields.resize(3);
  return std::to_string(fields[0]) + "." + std::to_string(fields[1]) + "." + std::to_string(fields[2]);
}

std::string Text(const Guid& guid) { return ToUtf8(guid.ToRegistryForm()); }

const char* ScopeName(Scope scope) { return scope == Scope::Machine ? "machine" : "user"; }
const char* ArchName(Bitness bitness) { return bitness == Bitness::x64 ? "x64" : "x86"; }

Registry::Hive HiveOf(Scope scope) { return scope == Scope::Machine ? Registry::Hive::Machine : Registry::Hive::User; }

// One component of the package: a DLL with the keys of its bitness alone,
// or one key that may be another's or is shared with the other bitness's
// package. A shared key's component has the same code and content in both
// bitnesses' packages, so that Windows Installer removes it with the last
// of them; it is written through the package's own view, for where the
// views keep the classes apart (Wine) each bitness needs its own. A key
// that may be another's is installed only when it is not (AppSearch reads
// its proofs first).
struct Part {
  std::string id, directory, tag;
  Guid guid;
  bool win64 = false;
  const Registry::Table* table = nullptr;
  std::string fileId;  // the DLL's component
  std::vector<const Registry::OwnedKey*> keys;
  std::string condition;
};

const char* ComponentOf(const Registry::Table& table) {
  return table.dllName == Registry::AddinTable().dllName ? "AddinDll" : "ComponentsDll";
}

// The property AppSearch sets from a proof in one hive, and the one that
// holds our own value; short, for the condition must fit in 255
// characters. Public (upper case), so that the server side sees them.
std::string SearchProperty(const Part& part, std::size_t proof, int root) {
  return "CVS" + part.tag + "_" + std::to_string(proof) + "_" + std::to_string(root);
}
std::string OursProperty(const Part& part, std::size_t proof) { return "CVO" + part.tag + "_" + std::to_string(proof); }

// The installer's roots: 1 HKCU, 2 HKLM. For one user, a machine's key of
// another's counts too: the user's would hide it.
std::vector<int> ProofRoots(Scope scope) { return scope == Scope::Machine ? std::vector<int>{2} : std::vector<int>{1, 2}; }

std::vector<Part> Parts(const PackageOptions& options, const Registry::Table& table) {
  const bool x64 = options.bitness == Bitness::x64;
  const std::string dll = ToUtf8(table.dllName), scope = ScopeName(options.scope), arch = ArchName(options.bitness);
  std::vector<Part> parts(1);
  Part& file = parts.front();
  file.id = file.fileId = ComponentOf(table);
  file.directory = "INSTALLFOLDER";
  file.guid = StableGuid(dll + "|" + scope + "|" + arch);
  file.win64 = x64;
  file.table = &table;
  for (std::size_t i = 0; i < table.keys.size(); ++i) {
    const Registry::OwnedKey& key = table.keys[i];
    const bool shared = SharedByBothViews(HiveOf(options.scope), key.key) && !key.usedBy.empty();
    if (!shared && key.proofs.empty()) {
      parts.front().keys.push_back(&key);
      continue;
    }
    Part part;
    part.id = std::string(ComponentOf(table)) + "Key" + std::to_string(i);
    part.tag = part.id.substr(0, 1) + std::to_string(i);
    part.table = &table;
    part.keys.push_back(&key);
    part.win64 = x64;
    part.directory = shared ? "TARGETDIR" : "INSTALLFOLDER";
    part.guid = StableGuid(shared ? "shared|" + scope + "|" + ToUtf8(key.key) : dll + "|" + scope + "|" + arch + "|" + ToUtf8(key.key));
    for (std::size_t p = 0; p < key.proofs.size(); ++p)
      for (int root : ProofRoots(options.scope)) {
        const std::string property = SearchProperty(part, p, root);
        part.condition += std::string(part.condition.empty() ? "" : " AND ") + "(NOT " + property + " OR " + property +
                          "~=" + OursProperty(part, p) + ")";
      }
    parts.push_back(std::move(part));
  }
  return parts;
}

std::vector<Part> AllParts(const PackageOptions& options, const Registry::Table& components, const Registry::Table& addin) {
  std::vector<Part> parts = Parts(options, components), more = Parts(options, addin);
  parts.insert(parts.end(), more.begin(), more.end());
  return parts;
}

// One component with its values; a registry component's key path is its
// first value.
void WriteComponent(std::ostringstream& out, const PackageOptions& options, const Part& part, const std::string& source,
                    const std::string& indent) {
  const bool machine = options.scope == Scope::Machine;
  out << indent << "<Component Id=\"" << part.id << "\" Guid=\"" << Text(part.guid) << "\""
      << (part.win64 ? " Win64=\"yes\"" : "") << ">\n";
  if (!part.fileId.empty()) {
    out << indent << "  <File Id=\"" << part.fileId << "\" Name=\"" << Xml(ToUtf8(part.table->dllName))
        << "\" Source=\"" << Xml(source) << "\"" << (machine ? " KeyPath=\"yes\"" : "") << "/>\n";
    // The folders the package made go with it (the installer removes only
    // those it was told of; the parent folder is added by PostQueries).
    if (part.fileId == std::string("ComponentsDll"))
      out << indent << "  <RemoveFolder Id=\"RemoveInstallFolder\" On=\"uninstall\"/>\n";
    // The help goes with the add-in, which opens it from its own folder.
    if (part.fileId == std::string("AddinDll"))
      out << indent << "  <File Id=\"HelpFile\" Name=\"CVHilfe.chm\" Source=\"" << Xml(options.helpFile) << "\"/>\n";
  }
  const std::string root = machine ? "HKLM" : "HKCU";
  // A registry component's key path is its first value. A DLL's is the
  // file for all users; for one user Windows Installer wants a value below
  // HKCU (ICE38): the DLL's server path, so that a repair still notices it.
  bool keyPath = part.fileId.empty();
  bool serverPath = !part.fileId.empty() && !machine;
  for (const Registry::OwnedKey* owned : part.keys) {
    for (const Registry::Value& value : owned->values) {
      const std::string key = "Software\\" + ToUtf8(value.key);
      if (value.kind == Registry::Value::Kind::Key) continue;  // not in wixl's language: PostQueries adds them
      const bool dword = value.kind == Registry::Value::Kind::Dword;
      if (serverPath && !dword && value.text == Registry::kModulePath) keyPath = true, serverPath = false;
      const std::string data = dword                                   ? std::to_string(value.number)
                               : value.text == Registry::kModulePath ? "[#" + std::string(ComponentOf(*part.table)) + "]"
                                                                      : Formatted(ToUtf8(value.text));
      out << indent << "  <RegistryValue Root=\"" << root << "\" Key=\"" << Xml(key) << "\""
          << (value.name.empty() ? "" : " Name=\"" + Xml(ToUtf8(value.name)) + "\"") << " Type=\""
          << (dword ? "integer" : "string") << "\" Value=\"" << Xml(data) << "\"" << (keyPath ? " KeyPath=\"yes\"" : "")
          << "/>\n";
      keyPath = false;
    }
  }
  out << indent << "</Component>\n";
}

}  // namespace

std::vector<std::string> PostQueries(const PackageOptions& options) {
  std::vector<std::string> queries{
      "INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `DirProperty`, `InstallMode`) VALUES "
      "('RemoveCorvaneFolder', 'ComponentsDll', 'CorvaneFolder', 2)"};
  const int root = options.scope == Scope::Machine ? 2 : 1;  // HKLM, HKCU
  const Registry::Table components = Registry::ComponentsTable(options.bitness), addin = Registry::AddinTable(options.bitness);
  bool searched = false;
  for (const Part& part : AllParts(options, components, addin)) {
    for (const Registry::OwnedKey* owned : part.keys)
      for (const Registry::Value& value : owned->values) {
        if (value.kind != Registry::Value::Kind::Key) continue;
        // "*": created with the component, removed with it.
        queries.push_back("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('key" +
                          part.id + std::to_string(queries.size()) + "', " + std::to_string(root) + ", 'Software\\" +
                          ToUtf8(value.key) + "', '*', '" + part.id + "')");
      }
    if (part.condition.empty()) continue;
    // wixl writes no locator for a default value: the search is added here.
    const Registry::OwnedKey& owned = *part.keys.front();
    for (std::size_t p = 0; p < owned.proofs.size(); ++p)
      for (int searchRoot : ProofRoots(options.scope)) {
        const std::string property = SearchProperty(part, p, searchRoot);
        const int type = 2 | (part.win64 ? 16 : 0);  // the raw value, in the component's view
        queries.push_back("INSERT INTO `RegLocator` (`Signature_`, `Root`, `Key`, `Type`) VALUES ('" + property +
                          "', " + std::to_string(searchRoot) + ", 'Software\\" + ToUtf8(owned.key) + "\\" +
                          ToUtf8(owned.proofs[p].subkey) + "', " + std::to_string(type) + ")");
        queries.push_back("INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('" + property + "', '" + property +
                          "')");
      }
    for (std::size_t p = 0; p < owned.proofs.size(); ++p)
      queries.push_back("INSERT INTO `Property` (`Property`, `Value`) VALUES ('" + OursProperty(part, p) + "', '" +
                        ToUtf8(owned.proofs[p].text) + "')");
    queries.push_back("UPDATE `Component` SET `Condition` = '" + part.condition + "' WHERE `Component` = '" + part.id +
                      "'");
    searched = true;
  }
  // A rebuild of the same version replaces the installed one: the
  // installer compares three fields, and wixl's row leaves the maximum out.
  // (Attributes is part of the row's key: the row is written anew.)
  queries.push_back("DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'");
  queries.push_back("INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('" +
                    Text(UpgradeCode(options.scope, options.bitness)) + "', '" + ProductVersion(options.version) +
                    "', 513, 'WIX_UPGRADE_DETECTED')");  // migrate features, maximum included
  if (searched)
    for (const char* sequence : {"InstallUISequence", "InstallExecuteSequence"})
      queries.push_back(std::string("INSERT INTO `") + sequence +
                        "` (`Action`, `Sequence`) VALUES ('AppSearch', 50)");
  return queries;
}

Guid StableGuid(std::string_view text) {
  // Two FNV-1a runs with different offsets: not cryptographic, only stable.
  const auto fnv = [&](std::uint64_t hash) {
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
    return hash;
  };
  const std::uint64_t high = fnv(0xcbf29ce484222325ULL), low = fnv(0x84222325cbf29ce4ULL ^ text.size());
  Guid guid;
  guid.data1 = static_cast<std::uint32_t>(high >> 32);
  guid.data2 = static_cast<std::uint16_t>(high >> 16);
  guid.data3 = static_cast<std::uint16_t>((high & 0x0fff) | 0x5000);  // a name-based GUID
  for (int i = 0; i < 8; ++i) guid.data4[i] = static_cast<std::uint8_t>(low >> (56 - 8 * i));
  guid.data4[0] = static_cast<std::uint8_t>((guid.data4[0] & 0x3f) | 0x80);
  return guid;
}

Guid UpgradeCode(Scope scope, Bitness bitness) {
  static constexpr Guid kCodes[2][2] = {
      {Guid::FromLiteral("8D3F2A10-6C4B-4E71-9A5D-1B2C3D4E5F60"), Guid::FromLiteral("8D3F2A11-6C4B-4E71-9A5D-1B2C3D4E5F60")},
      {Guid::FromLiteral("8D3F2A12-6C4B-4E71-9A5D-1B2C3D4E5F60"), Guid::FromLiteral("8D3F2A13-6C4B-4E71-9A5D-1B2C3D4E5F60")}};
  return kCodes[scope == Scope::Machine ? 0 : 1][bitness == Bitness::x64 ? 0 : 1];
}

std::string ProductName(const PackageOptions& options) {
  return std::string("Corvane Mailarchiv f\u00fcr Microsoft Outlook (") +
         (options.bitness == Bitness::x64 ? "64" : "32") + "-Bit" +
         (options.scope == Scope::Machine ? "" : ", nur f\u00fcr Sie") + ")";
}

std::vector<std::string> SummaryFields(const PackageOptions& options) {
  return {ProductName(options), "Corvanworks",
          std::string(options.bitness == Bitness::x64 ? "x64" : "Intel") + ";1031"};
}

std::string MsiSource(const PackageOptions& options) {
  const bool machine = options.scope == Scope::Machine, x64 = options.bitness == Bitness::x64;
  const std::string version = ProductVersion(options.version);
  const std::string name = ProductName(options);
  std::ostringstream out;
  out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      << "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
      << "  <Product Id=\"*\" Name=\"" << Xml(name) << "\" Language=\"1031\" Codepage=\"1252\" Version=\"" << version
      << "\" Manufacturer=\"Corvanworks\" UpgradeCode=\"" << Text(UpgradeCode(options.scope, options.bitness))
      << "\">\n"
      << "    <Package InstallerVersion=\"500\" Compressed=\"yes\" Languages=\"1031\" SummaryCodepage=\"1252\""
      << " InstallScope=\"" << (machine ? "perMachine" : "perUser") << "\""
      << " Description=\"" << Xml(name) << "\" Manufacturer=\"Corvanworks\" Comments=\"Das Add-In und die "
         "Komponenten, die den Archiv-Container schreiben.\"/>\n"
      << "    <MajorUpgrade DowngradeErrorMessage=\"Eine neuere Version des Corvane Mailarchivs ist bereits "
         "installiert.\"/>\n"
      << "    <Media Id=\"1\" Cabinet=\"corvane.cab\" EmbedCab=\"yes\"/>\n"
      << "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n"
      << "      <Directory Id=\"" << (machine ? (x64 ? "ProgramFiles64Folder" : "ProgramFilesFolder") : "LocalAppDataFolder")
      << "\">\n"
      << "        <Directory Id=\"CorvaneFolder\" Name=\"Corvane\">\n"
      << "          <Directory Id=\"INSTALLFOLDER\" Name=\"Mailarchiv\">\n";
  const Registry::Table components = Registry::ComponentsTable(options.bitness), addin = Registry::AddinTable(options.bitness);
  const std::vector<Part> parts = AllParts(options, components, addin);
  const auto sourceOf = [&](const Part& part) {
    return part.table == &components ? options.componentsDll : options.addinDll;
  };
  for (const Part& part : parts)
    if (part.directory == "INSTALLFOLDER") WriteComponent(out, options, part, sourceOf(part), "            ");
  out << "          </Directory>\n"
      << "        </Directory>\n"
      << "      </Directory>\n";
  // The keys both bitnesses share lie in no folder of either.
  for (const Part& part : parts)
    if (part.directory == "TARGETDIR") WriteComponent(out, options, part, sourceOf(part), "      ");
  out << "    </Directory>\n"
      << "    <Feature Id=\"Mailarchiv\" Title=\"" << Xml(name) << "\" Level=\"1\">\n";
  for (const Part& part : parts) out << "      <ComponentRef Id=\"" << part.id << "\"/>\n";
  out << "    </Feature>\n"
      << "  </Product>\n"
      << "</Wix>\n";
  return out.str();
}

}  // namespace CV::Win::Installer
