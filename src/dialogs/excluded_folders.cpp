#include "dialogs/excluded_folders.h"

#include "foundation/registry_key.h"
#include "foundation/string_table.h"

namespace CV {
namespace {

constexpr std::int32_t kAlwaysExcluded[] = {Outlook::olFolderDeletedItems, Outlook::olFolderOutbox,
                                            Outlook::olFolderJunk, Outlook::olFolderRssFeeds};
constexpr std::int32_t kExchangeExcluded[] = {Outlook::olFolderSyncIssues, Outlook::olFolderConflicts,
                                              Outlook::olFolderLocalFailures, Outlook::olFolderServerFailures};

void AddDefaultSet(std::vector<std::u16string>& out, const Outlook::Application& application) {
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
}

}  // namespace

std::u16string AddinSettingsKey() {
  return std::u16string(kRegistryKeyRoot) + StringTableText(StringId::SettingsSubkey);
}

void LoadExcludedFolders(std::vector<std::u16string>& out, const Outlook::Application& application,
                         ISettings& settings) {
  out.clear();
  std::unique_ptr<ISettingsKey> key;
  if (settings.OpenUserKey(AddinSettingsKey(), key) != 0) return;
  RegType type = RegType::None;
  std::uint32_t size = 0;
  if (key->QueryValueInfo(kExcludeFolderValue, type, size) != 0 || (type != RegType::Sz && type != RegType::ExpandSz)) {
    AddDefaultSet(out, application);
    return;
  }
  std::vector<std::uint8_t> data;
  if (key->QueryValueData(kExcludeFolderValue, data) != 0 || data.size() % 2 != 0) return;
  if (!data.empty() && (data[data.size() - 2] != 0 || data[data.size() - 1] != 0)) return;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == u'\0') break;
    text.push_back(c);
  }
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of(u"\r\n", start);
    const std::size_t stop = end == std::u16string::npos ? text.size() : end;
    if (stop > start) out.push_back(text.substr(start, stop - start));
    start = stop + 1;
  }
}

}  // namespace CV
