// The internet cache on Windows: WinINet's URL cache, only ever looked up.
#pragma once

#include "foundation/internet_cache.h"

namespace CV::Win {

class WinInternetCache final : public IInternetCache {
 public:
  std::u16string RetrieveFile(std::u16string_view url) override;
  void Release(std::u16string_view url) override;
};

}  // namespace CV::Win
