#include "components/component_registry.h"

#include "components/email_object.h"
#include "contracts/vendor_ids.h"

namespace CV::Components {

CComponentRegistry::CComponentRegistry() {
  Register(std::u16string(Vendor::kEMailProgId), [] { return std::make_shared<CEMail>(); });
}

void CComponentRegistry::Register(std::u16string progId, Creator create) {
  std::lock_guard lock(m_mutex);
  m_creators[std::move(progId)] = std::move(create);
}

ObjectPtr CComponentRegistry::Create(std::u16string_view progId) {
  Creator create;
  {
    std::lock_guard lock(m_mutex);
    if (refused.count(progId)) return nullptr;
    const auto it = m_creators.find(progId);
    if (it == m_creators.end()) return nullptr;
    create = it->second;
  }
  ObjectPtr object = create();
  if (object) ++created;
  return object;
}

}  // namespace CV::Components
