// CVMailComponents.dll's exports: the class factory of its two classes,
// DllCanUnloadNow over every object it handed out, and registration from
// its table.
#include <windows.h>

#include <atomic>
#include <new>

#include "components/component_ids.h"
#include "win/com_support.h"
#include "win/components/component_com.h"
#include "win/module.h"
#include "win/registration.h"

namespace CV::Win::Components {
namespace {

using Create = ::HRESULT (*)(REFIID, void**);

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(Create create) : m_create(create) {}
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
    return m_create(riid, ppv);
  }
  ::HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) Module::Lock();
    else Module::Unlock();
    return S_OK;
  }

 private:
  Create m_create;
  Module::ScopedLock m_moduleLock;
  std::atomic<ULONG> m_references{0};
};

}  // namespace
}  // namespace CV::Win::Components

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  using namespace CV::Win;
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  Components::Create create = nullptr;
  if (IsEqualCLSID(clsid, ToGUID(CV::ComponentIds::ClsidMailExport))) create = &Components::CreateMailExport;
  else if (IsEqualCLSID(clsid, ToGUID(CV::ComponentIds::ClsidEMail))) create = &Components::CreateEMail;
  else return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) Components::ClassFactory(create);
  if (!factory) return E_OUTOFMEMORY;
  factory->AddRef();
  const HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return CV::Win::Module::LockCount() == 0 && CV::Win::LiveBridgeObjects() == 0 ? S_OK : S_FALSE;
}

using CV::Win::Registration::Scope;

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return CV::Win::Registration::Register(CV::Win::Registry::ComponentsTable(), Scope::Machine, CV::Win::Module::Path());
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return CV::Win::Registration::Unregister(CV::Win::Registry::ComponentsTable(), Scope::Machine);
}

// regsvr32 /n /i:user registers for the current user alone; with /u it
// removes that registration again.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
  return CV::Win::Registration::Install(CV::Win::Registry::ComponentsTable(), install, commandLine,
                                        CV::Win::Module::Path());
}
