#include "standin/standin_factory.h"

#include "standin/standin_email.h"
#include "vendor/vendor_ids.h"

namespace CV::Standin {

CStandinFactory::CStandinFactory() {
  Register(std::u16string(Vendor::kEMailProgId), [] { return std::make_shared<CEMail>(); });
}

void CStandinFactory::Register(std::u16string progId, Creator create) {
  std::lock_guard lock(m_mutex);
  m_creators[std::move(progId)] = std::move(create);
}

ObjectPtr CStandinFactory::Create(std::u16string_view progId) {
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

}  // namespace CV::Standin
