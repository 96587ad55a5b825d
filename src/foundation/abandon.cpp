#include "foundation/abandon.h"

#include "foundation/com_error.h"

namespace CV {
namespace {
thread_local const std::atomic<bool>* t_flag = nullptr;
}

void BindAbandonFlag(const std::atomic<bool>* flag) noexcept { t_flag = flag; }

bool IsAbandoned() noexcept { return t_flag != nullptr && t_flag->load(std::memory_order_acquire); }

void ThrowIfAbandoned() {
  if (IsAbandoned()) ThrowComError(E_ABORT);
}

}  // namespace CV
