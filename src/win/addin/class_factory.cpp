// The class factory of "Connect" and the exports COM finds it through.
#include <windows.h>

#include "addin/addin_ids.h"
#include "win/addin/connect_com.h"
#include "win/com/class_factory.h"
#include "win/com/module.h"
#include "win/com/com_support.h"

namespace {

::HRESULT CreateConnect(REFIID riid, void** ppv) {
  CV::HRESULT hr = S_OK;
  CV::Win::ConnectCom* object = CV::Win::ConnectCom::Create(hr);
  if (!object) return hr;
  hr = object->QueryInterface(riid, ppv);
  object->Release();  // gone again when the interface was refused
  return hr;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, CV::Win::ToGUID(CV::AddinIds::ClsidConnect))) return CLASS_E_CLASSNOTAVAILABLE;
  return CV::Win::GetClassFactory(&CreateConnect, riid, ppv);
}

// Every object another program may still hold counts: the add-in and the
// class factory's locks, and the bridge objects (event sinks, exposed
// objects), which can outlive the add-in when Outlook keeps a sink after a
// failed Unadvise.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return CV::Win::Module::LockCount() == 0 && CV::Win::LiveBridgeObjects() == 0 ? S_OK : S_FALSE;
}
