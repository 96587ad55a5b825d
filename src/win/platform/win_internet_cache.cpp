#include "win/platform/win_internet_cache.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

namespace CV::Win {
namespace {

// WinINet is loaded at the first lookup, not with the add-in (Outlook times
// the add-in's load), and kept.
struct WinInet {
  using Retrieve = BOOL(WINAPI*)(LPCWSTR, INTERNET_CACHE_ENTRY_INFOW*, DWORD*, DWORD);
  using Unlock = BOOL(WINAPI*)(LPCWSTR, DWORD);
  Retrieve retrieve = nullptr;
  Unlock unlock = nullptr;
};

const WinInet& Api() {
  static const WinInet api = [] {
    WinInet loaded;
    if (HMODULE module = ::LoadLibraryW(L"wininet.dll")) {
      loaded.retrieve = reinterpret_cast<WinInet::Retrieve>(
          reinterpret_cast<void*>(::GetProcAddress(module, "RetrieveUrlCacheEntryFileW")));
      loaded.unlock = reinterpret_cast<WinInet::Unlock>(
          reinterpret_cast<void*>(::GetProcAddress(module, "UnlockUrlCacheEntryFileW")));
    }
    return loaded;
  }();
  return api;
}

}  // namespace

std::u16string WinInternetCache::RetrieveFile(std::u16string_view url) {
  const WinInet& api = Api();
  if (!api.retrieve) return {};  // no cache to read: nothing is cached
  const std::wstring address(url.begin(), url.end());
  // Most entries fit 2000 bytes; a larger one says how much it needs, and
  // is asked for once more.
  std::vector<std::uint8_t> buffer(2000);
  DWORD size = static_cast<DWORD>(buffer.size());
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  BOOL found = api.retrieve(address.c_str(), entry, &size, 0);
  if (!found && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > buffer.size()) {
    buffer.assign(size, 0);
    entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    found = api.retrieve(address.c_str(), entry, &size, 0);
  }
  if (!found || !entry->lpszLocalFileName) return {};
  const std::wstring local(entry->lpszLocalFileName);
  return std::u16string(local.begin(), local.end());
}

void WinInternetCache::Release(std::u16string_view url) {
  const WinInet& api = Api();
  if (!api.unlock) return;
  const std::wstring address(url.begin(), url.end());
  api.unlock(address.c_str(), 0);
}

}  // namespace CV::Win
