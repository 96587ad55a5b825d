#include "outlook/excluded_folders.h"

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

void LoadExcludedFolders(std::vector<std::u16string>& out, const Outlook::Application& application,
                         ISettings& settings) {
  out.clear();
  if (std::optional<std::vector<std::u16string>> stored = StoredExcludedFolders(settings))
    out = std::move(*stored);
  else
    out = DefaultExcludedFolders(application);
}

}  // namespace CV
