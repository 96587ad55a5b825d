// Creates our components by the vendor's ProgIDs, where the Windows build
// creates the registered components: the e-mail object always, others once
// registered. Unknown ProgIDs, and the ones a test refuses, give null.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "foundation/component_factory.h"

namespace CV::Components {

class CComponentRegistry final : public IComponentFactory {
 public:
  using Creator = std::function<ObjectPtr()>;
  CComponentRegistry();

  ObjectPtr Create(std::u16string_view progId) override;
  void Register(std::u16string progId, Creator create);

  // For tests: the ProgIDs that cannot be created, and how many were.
  std::set<std::u16string, std::less<>> refused;
  std::atomic<int> created{0};

 private:
  std::mutex m_mutex;
  std::map<std::u16string, Creator, std::less<>> m_creators;
};

}  // namespace CV::Components
