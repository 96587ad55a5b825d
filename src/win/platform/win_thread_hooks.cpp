// A worker enters the multithreaded apartment and runs at the priority asked.
#include <objbase.h>
#include <windows.h>

#include <algorithm>

#include "foundation/thread_hooks.h"

namespace CV {
namespace {

class WinThreadHooks final : public IThreadHooks {
 public:
  void Enter(int priority) override {
    ::SetThreadPriority(::GetCurrentThread(), std::clamp(priority, -1, 1));
    m_initialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  }
  void Leave() override {
    if (m_initialized) ::CoUninitialize();
  }

 private:
  static thread_local bool m_initialized;
};

thread_local bool WinThreadHooks::m_initialized = false;

}  // namespace

IThreadHooks& DefaultThreadHooks() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* hooks = new WinThreadHooks;
  return *hooks;
}

}  // namespace CV
