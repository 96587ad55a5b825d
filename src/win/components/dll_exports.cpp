// CVMailComponents.dll's exports: the class factory of its four classes,
// DllCanUnloadNow over every object it handed out, and registration from
// its table.
#include <windows.h>

#include "components/component_ids.h"
#include "win/com/class_factory.h"
#include "win/com/com_support.h"
#include "win/components/component_com.h"
#include "win/com/module.h"
#include "win/com/registration.h"

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  using namespace CV::Win;
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualCLSID(clsid, ToGUID(CV::ComponentIds::ClsidMailExport)))
    return GetClassFactory(&Components::CreateMailExport, riid, ppv);
  if (IsEqualCLSID(clsid, ToGUID(CV::ComponentIds::ClsidEMail))) return GetClassFactory(&Components::CreateEMail, riid, ppv);
  if (IsEqualCLSID(clsid, ToGUID(CV::ComponentIds::ClsidMailSelect)))
    return GetClassFactory(&Components::CreateMailSelect, riid, ppv);
  if (IsEqualCLSID(clsid, ToGUID(CV::ComponentIds::ClsidFolderSelect)))
    return GetClassFactory(&Components::CreateFolderSelect, riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
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
