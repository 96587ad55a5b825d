// The per-user settings of cvmail: the registry's keys and typed values,
// kept in a JSON file ($XDG_CONFIG_HOME/cvmail/settings.json, else
// ~/.config/cvmail/settings.json). Values keep the registry's raw bytes.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>

#include "foundation/settings.h"

namespace CV::Cli {

std::filesystem::path DefaultSettingsFile();

class FileSettings final : public ISettings {
 public:
  struct Value {
    RegType type;
    std::vector<std::uint8_t> data;
  };

  // Reads the file when it exists; throws std::runtime_error when it cannot
  // be read as settings.
  explicit FileSettings(std::filesystem::path file);

  std::int32_t OpenUserKey(std::u16string_view path, std::unique_ptr<ISettingsKey>& key) override;

  // Writes the file whole or not at all (its directory is made when
  // missing): a complete temporary file, flushed to the disk, then moved
  // over the old one. Throws std::runtime_error with the German cause when
  // it cannot; the old file stays as it was.
  void Save();
  // Why the last write of a value failed, in German.
  std::string LastFailure();
  void Remove(std::u16string_view path, std::u16string_view name);

 private:
  friend class FileSettingsKey;

  std::filesystem::path m_file;
  std::recursive_mutex m_mutex;
  std::map<std::u16string, std::map<std::u16string, Value>> m_keys;
  std::string m_failure;
};

}  // namespace CV::Cli
