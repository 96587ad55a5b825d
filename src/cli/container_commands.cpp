// cvmail inspect and verify: a container's properties and mails, and its
// check against its manifest; cvmail settings: the excluded folders.
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/archive_command.h"
#include "cli/body_text.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/file_settings.h"
#include "dialogs/excluded_folders.h"
#include "foundation/utf.h"
#include "standin/container/container_check.h"
#include "standin/container/zip_reader.h"
#include "standin/container/zip_writer.h"

namespace CV::Cli {
namespace {

nlohmann::ordered_json Manifest(const std::string& file) {
  try {
    return nlohmann::ordered_json::parse(Standin::ReadManifest(file));
  } catch (const Standin::ZipError& e) {
    throw Failure(Exit::Usage, file + ": " + e.what());
  } catch (const nlohmann::json::exception& e) {
    throw Failure(Exit::Usage, file + ": the manifest cannot be read: " + e.what());
  }
}

std::string MemberBodyText(const std::string& file, const std::string& member) {
  try {
    Standin::ZipReader reader(file);
    const Standin::ZipReader::Entry* entry = reader.Find(member);
    if (!entry) throw Failure(Exit::Usage, file + ": no member " + member);
    return BodyText(reader.ReadAll(*entry));
  } catch (const Failure&) {
    throw;
  } catch (const Standin::ZipError& e) {
    throw Failure(Exit::Usage, file + ": " + e.what());
  } catch (const std::runtime_error& e) {
    throw Failure(Exit::Usage, file + ": " + member + ": " + e.what());
  }
}

}  // namespace

void AddContainerCommands(CLI::App& app) {
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  CLI::App* inspect = app.add_subcommand("inspect", "Show a container's properties and mails");
  inspect->add_option("FILE", *file, "the container")->required();
  inspect->add_flag("--json", *json, "print the manifest as JSON");
  auto body = std::make_shared<std::string>();
  inspect->add_option("--body", *body, "print the visible text of the body of this mail member (mails/...)");
  inspect->callback([file, json, body] {
    if (!body->empty()) {
      std::cout << MemberBodyText(*file, *body);
      return;
    }
    const nlohmann::ordered_json manifest = Manifest(*file);
    if (*json) {
      std::cout << manifest.dump(2) << "\n";
      return;
    }
    std::cout << "Container " << *file << "\nEigenschaften\n";
    for (const auto& p : manifest["properties"]) std::cout << "  " << p[0].get<std::string>() << ": " << p[1].get<std::string>() << "\n";
    std::cout << "E-Mails (" << manifest["mails"].size() << ")\n";
    for (const auto& m : manifest["mails"])
      std::cout << "  " << m["member"].get<std::string>() << "\n    " << m["subject"].get<std::string>() << " | "
                << m["from"].get<std::string>() << " | " << (m["date"].is_null() ? "" : m["date"].get<std::string>())
                << " | " << m["size"] << " Bytes" << (m["headersOnly"].get<bool>() ? " | nur Kopfdaten" : "") << "\n";
  });

  auto verified = std::make_shared<std::string>();
  CLI::App* verify = app.add_subcommand("verify", "Check a container against its manifest");
  verify->add_option("FILE", *verified, "the container")->required();
  verify->callback([verified] {
    if (!std::filesystem::is_regular_file(*verified)) throw Failure(Exit::Usage, "no file " + *verified);
    const auto problems = Standin::VerifyContainer(*verified);
    for (const auto& problem : problems) std::cout << "Abweichung: " << problem << "\n";
    if (!problems.empty()) throw ExitStatus{Exit::Different};
    std::cout << *verified << ": intakt, " << Manifest(*verified)["mails"].size() << " E-Mails\n";
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
      std::u16string value;
      for (const auto& p : paths) value += p + u"\r\n";
      std::unique_ptr<ISettingsKey> key;
      file.OpenUserKey(AddinSettingsKey(), key);
      if (key->WriteValue(kExcludeFolderValue, RegType::Sz, RegistryString(value)) != 0)
        throw Failure(Exit::Usage, "cannot write " + DefaultSettingsFile().string());
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
