#include "cli/file_settings.h"

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "components/container/retry.h"
#include "components/container/write_failure.h"
#include "foundation/file_system.h"
#include "foundation/hresult.h"
#include "foundation/utf.h"
#include "sim/posix_paths.h"

namespace CV::Cli {
namespace {

std::string Hex(const std::vector<std::uint8_t>& data) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : data) text += kHex[b >> 4], text += kHex[b & 15];
  return text;
}

std::vector<std::uint8_t> Bytes(const std::string& hex) {
  if (hex.size() % 2) throw std::runtime_error("odd hex value");
  std::vector<std::uint8_t> data;
  for (std::size_t i = 0; i < hex.size(); i += 2) data.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return data;
}

}  // namespace

class FileSettingsKey final : public ISettingsKey {
 public:
  FileSettingsKey(FileSettings& owner, std::u16string path) : m_owner(owner), m_path(std::move(path)) {}
  std::int32_t QueryValueInfo(std::u16string_view name, RegType& type, std::uint32_t& size) override {
    std::lock_guard lock(m_owner.m_mutex);
    const auto* value = Find(name);
    if (!value) return Win32Error::FileNotFound;
    type = value->type;
    size = static_cast<std::uint32_t>(value->data.size());
    return 0;
  }
  std::int32_t QueryValueData(std::u16string_view name, std::vector<std::uint8_t>& data) override {
    std::lock_guard lock(m_owner.m_mutex);
    const auto* value = Find(name);
    if (!value) return Win32Error::FileNotFound;
    data = value->data;
    return 0;
  }
  std::int32_t WriteValue(std::u16string_view name, RegType type, const std::vector<std::uint8_t>& data) override {
    std::lock_guard lock(m_owner.m_mutex);
    auto& values = m_owner.m_keys[m_path];
    const auto before = values;
    values[std::u16string(name)] = {type, data};
    try {
      m_owner.Save();
    } catch (const std::exception& e) {
      values = before;  // what is kept is what the file holds
      m_owner.m_failure = e.what();
      return Win32Error::AccessDenied;
    }
    return 0;
  }

 private:
  const FileSettings::Value* Find(std::u16string_view name) {
    const auto key = m_owner.m_keys.find(m_path);
    if (key == m_owner.m_keys.end()) return nullptr;
    const auto value = key->second.find(std::u16string(name));
    return value == key->second.end() ? nullptr : &value->second;
  }
  FileSettings& m_owner;
  std::u16string m_path;
};

std::filesystem::path DefaultSettingsFile() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return std::filesystem::path(config) / "cvmail" / "settings.json";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home ? home : ".") / ".config" / "cvmail" / "settings.json";
}

FileSettings::FileSettings(std::filesystem::path file) : m_file(std::move(file)) {
  std::ifstream in(m_file);
  if (!in) return;
  try {
    const nlohmann::json json = nlohmann::json::parse(in);
    for (const auto& [key, values] : json.at("keys").items())
      for (const auto& [name, value] : values.items())
        m_keys[FromUtf8(key)][FromUtf8(name)] = {static_cast<RegType>(value.at("type").get<int>()),
                                                 Bytes(value.at("data").get<std::string>())};
  } catch (const std::exception& e) {
    throw std::runtime_error(m_file.string() + " cannot be read as settings: " + e.what());
  }
}

std::int32_t FileSettings::OpenUserKey(std::u16string_view path, std::unique_ptr<ISettingsKey>& key) {
  std::lock_guard lock(m_mutex);
  m_keys[std::u16string(path)];
  key = std::make_unique<FileSettingsKey>(*this, std::u16string(path));
  return 0;
}

void FileSettings::Remove(std::u16string_view path, std::u16string_view name) {
  std::lock_guard lock(m_mutex);
  const auto key = m_keys.find(std::u16string(path));
  if (key != m_keys.end()) key->second.erase(std::u16string(name));
}

void FileSettings::Save() {
  std::lock_guard lock(m_mutex);
  nlohmann::json keys = nlohmann::json::object();
  for (const auto& [path, values] : m_keys) {
    nlohmann::json entries = nlohmann::json::object();
    for (const auto& [name, value] : values)
      entries[ToUtf8(name)] = {{"type", static_cast<int>(value.type)}, {"data", Hex(value.data)}};
    keys[ToUtf8(path)] = entries;
  }
  const std::string text = nlohmann::json{{"keys", keys}}.dump(2) + "\n";
  FS::IFileSystem& files = FS::DefaultFileSystem();
  const std::u16string target = FS::ToWindows(m_file.string());
  const std::u16string folder = FS::ToWindows(m_file.parent_path().string());
  const auto fail = [&](std::int32_t error, Components::WriteStep step) {
    throw std::runtime_error("Die Einstellungen wurden nicht gespeichert. " +
                             ToUtf8(Components::WriteFailureText(error, step, files.UserPath(folder),
                                                                 files.UserPath(target))));
  };
  std::error_code made;
  std::filesystem::create_directories(m_file.parent_path(), made);
  if (made) fail(made == std::errc::no_space_on_device ? Win32Error::DiskFull : Win32Error::AccessDenied,
                 Components::WriteStep::Folder);
  const std::u16string temporary = target + u".part-" + FromUtf8(std::to_string(::getpid()));
  std::unique_ptr<FS::IWritableFile> file;
  std::int32_t error = files.CreateForWriting(temporary, FS::Creation::Always, false, file);
  if (error == 0) error = file->WriteAt(0, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  if (error == 0) error = file->Flush();
  if (const std::int32_t closed = file ? file->Close() : 0; error == 0) error = closed;
  if (error != 0) {
    files.RemoveFile(temporary);
    fail(error, Components::WriteStep::Folder);
  }
  error = Components::RetryWhileHeld([&] { return files.MoveFileTo(temporary, target, true); });
  if (error != 0) {
    files.RemoveFile(temporary);
    fail(error, Components::WriteStep::Target);
  }
}

std::string FileSettings::LastFailure() {
  std::lock_guard lock(m_mutex);
  return m_failure;
}

}  // namespace CV::Cli
