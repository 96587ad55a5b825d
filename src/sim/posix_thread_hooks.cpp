// Without COM a worker needs no apartment; its priority stays as it is.
#include "foundation/thread_hooks.h"

namespace CV {
namespace {

class PosixThreadHooks final : public IThreadHooks {
 public:
  void Enter(int) override {}
  void Leave() override {}
};

}  // namespace

IThreadHooks& DefaultThreadHooks() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* hooks = new PosixThreadHooks;
  return *hooks;
}

}  // namespace CV
