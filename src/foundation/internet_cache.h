// Port: the local internet cache (WinINet's URL cache on Windows). It is
// only ever looked up: a remote picture is never fetched.
#pragma once

#include <string>
#include <string_view>

namespace CV {

class IInternetCache {
 public:
  virtual ~IInternetCache() = default;
  // The local file (a full path) that holds the cached copy of url, the
  // address exactly as a document writes it; empty when the address is not
  // cached or the cache cannot be read. A found entry stays locked until
  // Release. Any thread.
  virtual std::u16string RetrieveFile(std::u16string_view url) = 0;
  // Ends the lock RetrieveFile took on the entry.
  virtual void Release(std::u16string_view url) = 0;
};

}  // namespace CV
