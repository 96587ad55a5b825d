// The reference count every COM class of ours shares: atomic, since COM
// calls AddRef and Release from any thread, and one from the start for the
// creator, who hands the object out through QueryInterface and then
// releases its own reference. The object deletes itself at zero.
#pragma once

#include <windows.h>

#include <atomic>

namespace CV::Win {

template <class... Interfaces>
class RefCounted : public Interfaces... {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~RefCounted() = default;
  // For a class whose last release must do more first (under a lock of
  // its own): the count after this release; at zero the caller deletes.
  ULONG DropReference() noexcept { return --m_references; }

 private:
  std::atomic<ULONG> m_references{1};
};

}  // namespace CV::Win
