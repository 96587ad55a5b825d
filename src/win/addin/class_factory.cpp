// The class factory of "Connect" and the exports COM finds it through.
#include <windows.h>

#include "addin/addin_ids.h"
#include "win/addin/connect_com.h"
#include "win/module.h"
#include "win/com_support.h"

namespace CV::Win {
namespace {

class ClassFactory final : public IClassFactory {
 public:
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
  }

  ::HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    HRESULT hr = S_OK;
    ConnectCom* object = ConnectCom::Create(hr);
    if (!object) return hr;
    object->AddRef();
    hr = object->QueryInterface(riid, ppv);
    object->Release();  // gone again when the interface was refused
    return hr;
  }
  ::HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) Module::Lock();
    else Module::Unlock();
    return S_OK;
  }

 private:
  Module::ScopedLock m_moduleLock;
  std::atomic<ULONG> m_references{0};
};

}  // namespace
}  // namespace CV::Win

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, CV::Win::ToGUID(CV::AddinIds::ClsidConnect))) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) CV::Win::ClassFactory;
  if (!factory) return E_OUTOFMEMORY;
  factory->AddRef();
  const HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

// Every object another program may still hold counts: the add-in and the
// class factory's locks, and the bridge objects (event sinks, exposed
// objects), which can outlive the add-in when Outlook keeps a sink after a
// failed Unadvise.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return CV::Win::Module::LockCount() == 0 && CV::Win::LiveBridgeObjects() == 0 ? S_OK : S_FALSE;
}
