// New GUIDs from CoCreateGuid.
#include <objbase.h>

#include "foundation/guid_source.h"
#include "win/com/com_ptr.h"

namespace CV {
namespace {

class WinGuidSource final : public IGuidSource {
 public:
  Guid NewGuid() override {
    GUID g{};
    ::CoCreateGuid(&g);
    return Win::ToGuid(g);
  }
};

}  // namespace

IGuidSource& DefaultGuidSource() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* instance = new WinGuidSource;
  return *instance;
}

}  // namespace CV
