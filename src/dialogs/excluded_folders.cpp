#include "dialogs/excluded_folders.h"

#include "foundation/registry_key.h"
#include "foundation/string_table.h"

namespace CV {
namespace {

constexpr std::int32_t kAlwaysExcluded[] = {Outlook::olFolderDeletedItems, Outlook::olFolderOutbox,
                                            Outlook::olFolderJunk, Outlook::olFolderRssFeeds};
constexpr std::int32_t kExchangeExcluded[] = {Outlook::olFolderSyncIssues, Outlook::olFolderConflicts,
                                              Outlook::olFolderLocalFailures, Outlook::olFolderServerFailures};

}  // namespace

std::vector<std::u16string> DefaultExcludedFolders(const Outlook::Application& application) {
  std::vector<std::u16string> out;
  try {
    const Outlook::Stores stores = application.Session().Stores();
    const std::int32_t count = stores.Count();
    for (std::int32_t i = 1; i <= count; ++i) {
      const Outlook::Store store = stores.Item(i);
      for (const std::int32_t type : kAlwaysExcluded) out.push_back(store.GetDefaultFolder(type).FullFolderPath());
      if (store.ExchangeStoreType() != Outlook::olNotExchange)
        for (const std::int32_t type : kExchangeExcluded) out.push_back(store.GetDefaultFolder(type).FullFolderPath());
    }
  } catch (...) {
    // What was collected up to the failure stays.
  }
  return out;
}

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

void LoadExcludedFolders(std::vector<std::u16string>& out, const Outlook::Application& application,
                         ISettings& settings) {
  out.clear();
  if (std::optional<std::vector<std::u16string>> stored = StoredExcludedFolders(settings))
    out = std::move(*stored);
  else
    out = DefaultExcludedFolders(application);
}

}  // namespace CV
