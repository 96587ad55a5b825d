// The WinINet adapter of the internet cache, on Wine's URL cache: entries
// placed there the way a browser does are found, also when their entry
// needs more than the first buffer.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/utf.h"
#include "win/platform/win_internet_cache.h"

namespace CV {
namespace {

// Puts bytes into the cache under url, as a download would.
bool Cache(const std::wstring& url, const std::string& bytes) {
  wchar_t file[MAX_PATH + 1] = {};
  if (!::CreateUrlCacheEntryW(url.c_str(), 0, L"png", file, 0)) return false;
  {
    std::ofstream out(std::filesystem::path(file), std::ios::binary);
    out << bytes;
  }
  FILETIME none{};
  return ::CommitUrlCacheEntryW(url.c_str(), file, none, none, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr) !=
         FALSE;
}

std::string Contents(const std::u16string& path) {
  std::ifstream in(std::filesystem::path(std::wstring(path.begin(), path.end())), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(WinInternetCache, FindsCachedAddressesAndOnlyThose) {
  struct Case {
    const char* name;
    std::wstring url;
  };
  // An entry's record holds its address: 3000 characters outgrow the first
  // 2000-byte buffer, so the second request must find it.
  const Case cases[] = {
      {"short address", L"http://bilder.example/logo.png"},
      {"address beyond the first buffer", L"http://bilder.example/" + std::wstring(3000, L'a') + L".png"},
  };
  Win::WinInternetCache cache;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = std::string("PNG bytes of ") + c.name;
    ASSERT_TRUE(Cache(c.url, bytes));
    const std::u16string url(c.url.begin(), c.url.end());
    const std::u16string local = cache.RetrieveFile(url);
    ASSERT_FALSE(local.empty());
    EXPECT_EQ(Contents(local), bytes);
    cache.Release(url);
  }
  EXPECT_EQ(cache.RetrieveFile(u"http://bilder.example/nicht-im-cache.png"), u"");
  EXPECT_EQ(cache.RetrieveFile(u""), u"");
}

}  // namespace
}  // namespace CV
