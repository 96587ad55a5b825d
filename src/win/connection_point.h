// ConnectionPointBase: what every connection point of ours shares (its
// identity, its container kept alive while it lives, the events interface
// it serves); Advise and Unadvise are the event source's own.
#pragma once

#include <ocidl.h>

#include <atomic>

namespace CV::Win {

class ConnectionPointBase : public IConnectionPoint {
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
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
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
  virtual ~ConnectionPointBase() { m_container->Release(); }
  const IID& Iid() const noexcept { return m_iid; }

 private:
  std::atomic<ULONG> m_references{1};
  IConnectionPointContainer* m_container;
  IID m_iid;
};

}  // namespace CV::Win
