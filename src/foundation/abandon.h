// Abandoned work: when a job does not stop in time it is abandoned, and from
// then on every object-model, vendor or progress call its worker thread makes
// fails with E_ABORT, so the worker unwinds and releases what it holds.
#pragma once

#include <atomic>

namespace CV {

// Binds the calling thread to flag (null unbinds). The flag outlives the thread.
void BindAbandonFlag(const std::atomic<bool>* flag) noexcept;
bool IsAbandoned() noexcept;
// Throws ComError E_ABORT when the calling thread's work was abandoned.
void ThrowIfAbandoned();

}  // namespace CV
