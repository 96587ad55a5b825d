// ComPtr<T>: an owning COM interface pointer. Query<U>() throws ComError,
// TryQuery<U>() is empty on E_NOINTERFACE and throws for other failures.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <utility>

#include "foundation/com_error.h"

namespace CV::Win {

Guid ToGuid(const GUID& g);
GUID ToGUID(const Guid& g);

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT
  // Takes a new reference.
  explicit ComPtr(T* p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.m_p = p;
    return c;
  }
  ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
  ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(m_p, o.m_p);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() noexcept {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }
  T* Get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }
  T* Detach() noexcept { return std::exchange(m_p, nullptr); }
  // For out-parameters: releases the old pointer and returns the address.
  T** Put() noexcept {
    Reset();
    return &m_p;
  }

  template <class U>
  ComPtr<U> TryQuery(const IID& iid = __uuidof(U)) const {
    if (!m_p) ThrowComError(E_POINTER);
    ComPtr<U> out;
    const HRESULT hr = m_p->QueryInterface(iid, reinterpret_cast<void**>(out.Put()));
    if (hr == E_NOINTERFACE) return {};
    if (FAILED(hr)) ThrowComError(hr, ToGuid(iid));
    return out;
  }
  template <class U>
  ComPtr<U> Query(const IID& iid = __uuidof(U)) const {
    ComPtr<U> out = TryQuery<U>(iid);
    if (!out) ThrowComError(E_NOINTERFACE, ToGuid(iid));
    return out;
  }

 private:
  T* m_p = nullptr;
};

}  // namespace CV::Win
