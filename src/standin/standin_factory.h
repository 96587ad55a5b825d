// Creates our stand-ins by the vendor's ProgIDs, where the Windows build
// creates the registered components. Unknown ProgIDs, and the ones a test
// refuses, give null.
#pragma once

#include <atomic>
#include <set>
#include <string>

#include "foundation/component_factory.h"

namespace CV::Standin {

class CStandinFactory final : public IComponentFactory {
 public:
  ObjectPtr Create(std::u16string_view progId) override;

  // For tests: the ProgIDs that cannot be created, and how many were.
  std::set<std::u16string, std::less<>> refused;
  std::atomic<int> created{0};
};

}  // namespace CV::Standin
