#include "standin/standin_factory.h"

#include "standin/standin_email.h"
#include "vendor/vendor_ids.h"

namespace CV::Standin {

ObjectPtr CStandinFactory::Create(std::u16string_view progId) {
  if (refused.count(progId)) return nullptr;
  ObjectPtr object;
  if (progId == Vendor::kEMailProgId) object = std::make_shared<CEMail>();
  if (object) ++created;
  return object;
}

}  // namespace CV::Standin
