#include "win/installer/msi_source.h"

#include <charconv>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "foundation/markup.h"
#include "foundation/utf.h"

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

// One DLL: its file and every value of its table, in one component whose
// key is the file, so that a repair brings a deleted DLL back.
void WriteComponent(std::ostringstream& out, const PackageOptions& options, const Registry::Table& table,
                    const std::string& fileId, const std::string& source) {
  const bool machine = options.scope == Scope::Machine;
  const std::string dll = ToUtf8(table.dllName);
  out << "            <Component Id=\"" << fileId << "\" Guid=\""
      << Text(StableGuid(dll + "|" + ScopeName(options.scope) + "|" + ArchName(options.bitness))) << "\""
      << (options.bitness == Bitness::x64 ? " Win64=\"yes\"" : "") << ">\n";
  out << "              <File Id=\"" << fileId << "\" Name=\"" << Xml(dll) << "\" Source=\"" << Xml(source)
      << "\" KeyPath=\"yes\"/>\n";
  // The folders the package made go with it (the installer removes only
  // those it was told of; the parent folder is added by PostQueries).
  if (fileId == std::string("ComponentsDll"))
    out << "              <RemoveFolder Id=\"RemoveInstallFolder\" On=\"uninstall\"/>\n";
  const std::string root = machine ? "HKLM" : "HKCU";
  for (const Registry::Value& value : table.values) {
    const std::string key = "Software\\" + ToUtf8(value.key);
    switch (value.kind) {
      case Registry::Value::Kind::Key: break;  // not in wixl's language: PostQueries adds them
      case Registry::Value::Kind::Dword:
        out << "              <RegistryValue Root=\"" << root << "\" Key=\"" << Xml(key) << "\""
            << (value.name.empty() ? "" : " Name=\"" + Xml(ToUtf8(value.name)) + "\"") << " Type=\"integer\" Value=\""
            << value.number << "\"/>\n";
        break;
      case Registry::Value::Kind::String: {
        const std::string data =
            value.text == Registry::kModulePath ? "[#" + fileId + "]" : Formatted(ToUtf8(value.text));
        out << "              <RegistryValue Root=\"" << root << "\" Key=\"" << Xml(key) << "\""
            << (value.name.empty() ? "" : " Name=\"" + Xml(ToUtf8(value.name)) + "\"") << " Type=\"string\" Value=\""
            << Xml(data) << "\"/>\n";
        break;
      }
    }
  }
  out << "            </Component>\n";
}

const char* ComponentOf(const Registry::Table& table) {
  return table.dllName == Registry::AddinTable().dllName ? "AddinDll" : "ComponentsDll";
}

}  // namespace

std::vector<std::string> PostQueries(const PackageOptions& options) {
  std::vector<std::string> queries{
      "INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `DirProperty`, `InstallMode`) VALUES "
      "('RemoveCorvaneFolder', 'ComponentsDll', 'CorvaneFolder', 2)"};
  const int root = options.scope == Scope::Machine ? 2 : 1;  // HKLM, HKCU
  for (const Registry::Table& table :
       {Registry::ComponentsTable(options.bitness), Registry::AddinTable(options.bitness)}) {
    for (const Registry::Value& value : table.values) {
      if (value.kind != Registry::Value::Kind::Key) continue;
      const std::string key = "Software\\" + ToUtf8(value.key);
      // "*": created with the component, removed with it.
      queries.push_back("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('key" +
                        std::string(ComponentOf(table)) + std::to_string(queries.size()) + "', " +
                        std::to_string(root) + ", '" + key + "', '*', '" + ComponentOf(table) + "')");
    }
  }
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
  WriteComponent(out, options, components, ComponentOf(components), options.componentsDll);
  WriteComponent(out, options, addin, ComponentOf(addin), options.addinDll);
  out << "          </Directory>\n"
      << "        </Directory>\n"
      << "      </Directory>\n"
      << "    </Directory>\n"
      << "    <Feature Id=\"Mailarchiv\" Title=\"" << Xml(name) << "\" Level=\"1\">\n"
      << "      <ComponentRef Id=\"ComponentsDll\"/>\n"
      << "      <ComponentRef Id=\"AddinDll\"/>\n"
      << "    </Feature>\n"
      << "  </Product>\n"
      << "</Wix>\n";
  return out.str();
}

}  // namespace CV::Win::Installer
