#include "foundation/excluded_folders_setting.h"

#include "foundation/registry_key.h"
#include "foundation/string_table.h"

namespace CV {

std::u16string AddinSettingsKey() {
  return std::u16string(kRegistryKeyRoot) + StringTableText(StringId::SettingsSubkey);
}

std::optional<std::vector<std::u16string>> StoredExcludedFolders(ISettings& settings) {
  return StoredExcludedFolders(settings, AddinSettingsKey());
}

std::optional<std::vector<std::u16string>> StoredExcludedFolders(ISettings& settings, const std::u16string& keyPath) {
  std::vector<std::u16string> paths;
  std::unique_ptr<ISettingsKey> key;
  if (settings.OpenUserKey(keyPath, key) != 0) return paths;
  RegType type = RegType::None;
  std::uint32_t size = 0;
  if (key->QueryValueInfo(kExcludeFolderValue, type, size) != 0 || (type != RegType::Sz && type != RegType::ExpandSz))
    return std::nullopt;
  std::vector<std::uint8_t> data;
  if (key->QueryValueData(kExcludeFolderValue, data) != 0 || data.size() % 2 != 0) return paths;
  if (!data.empty() && (data[data.size() - 2] != 0 || data[data.size() - 1] != 0)) return paths;
  return NonEmptyLines(RegistryText(data));
}

std::int32_t StoreExcludedFolders(ISettings& settings, const std::u16string& keyPath,
                                  const std::vector<std::u16string>& paths) {
  std::u16string lines;
  for (const std::u16string& path : paths) lines += path + u"\r\n";
  std::unique_ptr<ISettingsKey> key;
  if (const std::int32_t error = settings.OpenUserKey(keyPath, key)) return error;
  return key->WriteValue(kExcludeFolderValue, RegType::Sz, RegistryString(lines));
}

}  // namespace CV
