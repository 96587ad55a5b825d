#include "win/com/class_factory.h"

#include <new>

#include "win/com/module.h"
#include "win/com/ref_counted.h"

namespace CV::Win {
namespace {

class ClassFactory final : public RefCounted<IClassFactory> {
 public:
  explicit ClassFactory(CreateObject create) : m_create(create) {}
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return m_create(riid, ppv);
  }
  ::HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) Module::Lock();
    else Module::Unlock();
    return S_OK;
  }

 private:
  CreateObject m_create;
  Module::ScopedLock m_moduleLock;
};

}  // namespace

::HRESULT GetClassFactory(CreateObject create, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  auto* factory = new (std::nothrow) ClassFactory(create);
  if (!factory) return E_OUTOFMEMORY;
  const ::HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

}  // namespace CV::Win
