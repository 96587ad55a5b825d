#include "win/win_internet_cache.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

namespace CV::Win {

std::u16string WinInternetCache::RetrieveFile(std::u16string_view url) {
  const std::wstring address(url.begin(), url.end());
  // Most entries fit 2000 bytes; a larger one says how much it needs, and
  // is asked for once more.
  std::vector<std::uint8_t> buffer(2000);
  DWORD size = static_cast<DWORD>(buffer.size());
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  BOOL found = ::RetrieveUrlCacheEntryFileW(address.c_str(), entry, &size, 0);
  if (!found && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > buffer.size()) {
    buffer.assign(size, 0);
    entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    found = ::RetrieveUrlCacheEntryFileW(address.c_str(), entry, &size, 0);
  }
  if (!found || !entry->lpszLocalFileName) return {};
  const std::wstring local(entry->lpszLocalFileName);
  return std::u16string(local.begin(), local.end());
}

void WinInternetCache::Release(std::u16string_view url) {
  const std::wstring address(url.begin(), url.end());
  ::UnlockUrlCacheEntryFileW(address.c_str(), 0);
}

}  // namespace CV::Win
