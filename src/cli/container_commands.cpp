// cvmail inspect and verify: a container's properties and mails, and its
// check against its manifest; cvmail settings: the excluded folders.
#include <gmime/gmime.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/archive_command.h"
#include "cli/body_text.h"
#include "cli/command_line.h"
#include "cli/container_content.h"
#include "cli/write_atomically.h"
#include "components/container/viewer_page.h"
#include "cli/exit_codes.h"
#include "cli/file_settings.h"
#include "cli/visible_text.h"
#include "outlook/excluded_folders.h"
#include "foundation/utf.h"
#include "components/container/container_check.h"
#include "components/container/manifest.h"
#include "components/container/zip_reader.h"
#include "components/container/zip_writer.h"

namespace CV::Cli {
namespace {

// A container is a file someone may send: only a regular file is opened
// (a FIFO would block), and a manifest of any shape is shown for what it is.
Components::ZipReader OpenContainer(const std::string& file) {
  try {
    return Components::ZipReader(file);
  } catch (const Components::ZipError& e) {
    throw Failure(Exit::Usage, file + ": " + e.what());
  }
}

const Components::ZipReader::Entry& ManifestEntry(Components::ZipReader& zip, const std::string& file) {
  const Components::ZipReader::Entry* entry = zip.Find("manifest.json");
  if (!entry) throw Failure(Exit::Usage, file + ": no manifest.json");
  return *entry;
}

std::string Shown(const std::optional<std::string>& text) { return text ? Visible(*text) : "(fehlt)"; }

std::string ShownValue(const Components::ManifestMail& mail, const std::string& name) {
  const auto it = mail.fields.find(name);
  if (it == mail.fields.end()) return "(fehlt)";
  if (it->second.is_string()) return Visible(it->second.get<std::string>());
  if (it->second.is_null()) return "";
  return Visible(it->second.dump());
}

void PrintProblems(const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) std::cout << "Abweichung: " << Visible(problem) << "\n";
}

void Inspect(const std::string& file) {
  Components::ZipReader zip = OpenContainer(file);
  const auto& manifest = ManifestEntry(zip, file);
  std::vector<std::string> problems = Components::CheckStructure(zip);
  const auto read = [&](const std::function<void(std::uint64_t, const Components::ManifestMail&,
                                                 const Components::ManifestHead&)>& mail) {
    try {
      return Components::ReadManifest(zip, manifest, mail, problems);
    } catch (const std::exception& e) {
      throw Failure(Exit::Usage, file + ": " + e.what());
    }
  };
  std::vector<std::string> structure;
  std::swap(problems, structure);
  const Components::ManifestHead head = read(nullptr);  // first the count, in flat memory
  problems = std::move(structure);  // the second pass finds the manifest's own problems again
  std::cout << "Container " << file << "\nEigenschaften\n";
  for (const auto& [name, value] : head.properties) std::cout << "  " << Shown(name) << ": " << Shown(value) << "\n";
  std::cout << "E-Mails (" << head.mails << ")\n";
  read([&](std::uint64_t index, const Components::ManifestMail& m, const Components::ManifestHead& sofar) {
    Components::CheckManifestMail(index, m, sofar.version, problems);
    const auto headersOnly = m.fields.find("headersOnly");
    std::cout << "  " << ShownValue(m, "member") << "\n    " << ShownValue(m, "subject") << " | "
              << ShownValue(m, "from") << " | " << ShownValue(m, "date") << " | " << ShownValue(m, "size")
              << " Bytes"
              << (headersOnly != m.fields.end() && headersOnly->second == true ? " | nur Kopfdaten" : "") << "\n";
    // What the mail lacked when it was archived.
    if (const auto missing = m.fields.find("missing"); missing != m.fields.end() && missing->second.is_array()) {
      std::cout << "    Unvollständig:\n";
      for (const auto& text : missing->second)
        if (text.is_string()) std::cout << "      " << Shown(text.get<std::string>()) << "\n";
    }
  });
  PrintProblems(problems);
  if (!problems.empty()) throw ExitStatus{Exit::Usage};
}

// The manifest as it is stored, once its JSON has been read through.
void InspectJson(const std::string& file) {
  Components::ZipReader zip = OpenContainer(file);
  const auto& manifest = ManifestEntry(zip, file);
  std::vector<std::string> problems = Components::CheckStructure(zip);
  try {
    Components::ReadManifest(zip, manifest,
                          [&](std::uint64_t index, const Components::ManifestMail& m, const Components::ManifestHead& sofar) {
                            Components::CheckManifestMail(index, m, sofar.version, problems);
                          },
                          problems);
    if (!problems.empty()) throw std::runtime_error("the manifest departs from its format: " + problems.front());
    std::string pending;
    zip.Read(manifest, [&](const unsigned char* data, std::size_t n) {
      std::cout << VisibleJson(std::string_view(reinterpret_cast<const char*>(data), n), pending);
    });
    std::cout << pending;
  } catch (const std::exception& e) {
    throw Failure(Exit::Usage, file + ": " + e.what());
  }
}

// The body's text, printed as it is made. At most the message's first 64 MB
// are read, whatever the container claims: memory stays bounded.
void PrintBodyText(const std::string& file, const std::string& member) {
  constexpr std::size_t kLimit = 64u << 20;
  Components::ZipReader reader = OpenContainer(file);
  const Components::ZipReader::Entry* entry = reader.Find(member);
  if (!entry) throw Failure(Exit::Usage, file + ": no member " + Visible(member));
  GByteArray* bytes = g_byte_array_new();
  bool cut = false;
  try {
    const auto stream = reader.Open(*entry);
    std::vector<char> buffer(1 << 20);
    while (bytes->len < kLimit) {
      const std::size_t n = stream->Read(buffer.data(), std::min<std::size_t>(buffer.size(), kLimit - bytes->len));
      if (n == 0) break;
      g_byte_array_append(bytes, reinterpret_cast<const guint8*>(buffer.data()), static_cast<guint>(n));
    }
    char more = 0;
    cut = bytes->len == kLimit && stream->Read(&more, 1) != 0;
  } catch (const Components::ZipError& e) {
    g_byte_array_unref(bytes);
    throw Failure(Exit::Usage, file + ": " + Visible(e.what()));
  }
  try {
    BodyText(bytes, [](std::string_view text) { std::cout << VisibleLines(text); });
  } catch (const std::runtime_error& e) {
    throw Failure(Exit::Usage, file + ": " + Visible(member) + ": " + e.what());
  }
  if (cut) std::cout << "(Gekürzt: die Nachricht ist größer als 64 MB; gezeigt ist der Text ihrer ersten 64 MB.)\n";
}

}  // namespace

void AddContainerCommands(CLI::App& app) {
  auto page = std::make_shared<std::string>();
  CLI::App* viewer = app.add_subcommand("viewer", "Write the viewer every archive carries (\"Archiv ansehen.html\") on its own");
  viewer->add_option("-o,--output", *page, "the HTML file to write")->required();
  viewer->callback([page] {
    WriteAtomically(*page, Components::ViewerPage());
    std::cout << *page << ": " << Components::ViewerPage().size() << " Bytes; im Browser öffnen und ein Archiv wählen\n";
  });

  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  CLI::App* inspect = app.add_subcommand("inspect", "Show a container's properties and mails");
  inspect->add_option("FILE", *file, "the container")->required();
  inspect->add_flag("--json", *json, "print the manifest as JSON");
  auto body = std::make_shared<std::string>();
  inspect->add_option("--body", *body, "print the visible text of the body of this mail member (mails/...)");
  inspect->callback([file, json, body] {
    if (!body->empty()) PrintBodyText(*file, *body);
    else if (*json) InspectJson(*file);
    else Inspect(*file);
  });

  auto verified = std::make_shared<std::string>();
  CLI::App* verify = app.add_subcommand("verify", "Check a container against its own format and its manifest");
  verify->add_option("FILE", *verified, "the container")->required();
  verify->callback([verified] {
    std::error_code error;
    if (!std::filesystem::is_regular_file(*verified, error))
      throw Failure(Exit::Usage, *verified + ": not a regular file");
    std::vector<std::string> problems;
    std::size_t mails = 0;
    try {
      Components::ZipReader zip(*verified);
      problems = Components::VerifyContainer(zip);
      for (std::string& problem : CheckContent(zip)) problems.push_back(std::move(problem));
      for (const auto& entry : zip.Entries()) mails += Components::IsMailMemberName(entry.name);
    } catch (const Components::ZipError& e) {
      problems.push_back(e.what());  // a damaged container is a difference too
    }
    PrintProblems(problems);
    if (!problems.empty()) throw ExitStatus{Exit::Different};
    std::cout << *verified << ": intakt, " << mails << " E-Mails\n";
  });
}

void AddSettings(CLI::App& app) {
  auto exclude = std::make_shared<std::vector<std::string>>();
  auto clear = std::make_shared<bool>(false);
  CLI::App* settings = app.add_subcommand(
      "settings", "Show and edit the excluded folders (the \"ExcludeFolder\" value), kept in " +
                      DefaultSettingsFile().string());
  settings->add_option("--exclude", *exclude, "add a folder path (as Outlook writes it, e.g. \"Postfach\\Archiv\")")
      ->take_all();
  settings->add_flag("--clear", *clear, "remove the value: recursive adds skip the default set again");
  settings->callback([exclude, clear] {
    FileSettings file(DefaultSettingsFile());
    const std::optional<std::vector<std::u16string>> storedPaths = StoredExcludedFolders(file);
    bool stored = storedPaths.has_value();
    std::vector<std::u16string> paths = storedPaths.value_or(std::vector<std::u16string>{});
    if (*clear) {
      file.Remove(AddinSettingsKey(), kExcludeFolderValue);
      paths.clear();
      stored = false;
    }
    for (std::string path : *exclude) {
      for (auto& c : path)
        if (c == '/') c = '\\';
      if (!path.starts_with("\\\\")) path = "\\\\" + path;
      if (std::find(paths.begin(), paths.end(), FromUtf8(path)) == paths.end()) paths.push_back(FromUtf8(path));
      stored = true;
    }
    if (!exclude->empty()) {
      if (StoreExcludedFolders(file, AddinSettingsKey(), paths) != 0) throw Failure(Exit::Usage, file.LastFailure());
    } else if (*clear) {
      try {
        file.Save();
      } catch (const std::exception& e) {
        throw Failure(Exit::Usage, e.what());
      }
    }
    if (!stored) {
      std::cout << "Kein Wert \"ExcludeFolder\": rekursives Hinzufügen überspringt die Standardordner "
                   "(Gelöschte Elemente, Postausgang, Junk-E-Mail, RSS-Feeds, bei Exchange auch die Synchronisierungsordner).\n";
      return;
    }
    std::cout << "Ausgeschlossene Ordner (" << paths.size() << "):\n";
    for (const auto& p : paths) std::cout << "  " << ToUtf8(p) << "\n";
  });
}

}  // namespace CV::Cli
