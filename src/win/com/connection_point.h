// ConnectionPointBase: what every connection point of ours shares (its
// identity, its container kept alive while it lives, the events interface
// it serves); Advise and Unadvise are the event source's own.
#pragma once

#include <ocidl.h>

#include "win/com/ref_counted.h"

namespace CV::Win {

class ConnectionPointBase : public RefCounted<IConnectionPoint> {
 public:
  ConnectionPointBase(IConnectionPointContainer* container, const IID& iid) : m_container(container), m_iid(iid) {
    m_container->AddRef();
  }

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
      *out = static_cast<IConnectionPoint*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ::HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out) return E_POINTER;
    *out = m_container;
    m_container->AddRef();
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 protected:
  ~ConnectionPointBase() override { m_container->Release(); }
  const IID& Iid() const noexcept { return m_iid; }

 private:
  IConnectionPointContainer* m_container;
  IID m_iid;
};

}  // namespace CV::Win
