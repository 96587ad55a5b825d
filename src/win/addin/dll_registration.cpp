// The add-in DLL's registration entry points, from its table.
#include <windows.h>

#include "win/com/module.h"
#include "win/com/registration.h"

using CV::Win::Registration::Scope;

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return CV::Win::Registration::Register(CV::Win::Registry::AddinTable(), Scope::Machine, CV::Win::Module::Path());
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return CV::Win::Registration::Unregister(CV::Win::Registry::AddinTable(), Scope::Machine);
}

// regsvr32 /n /i:user registers for the current user alone; with /u it
// removes that registration again.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
  return CV::Win::Registration::Install(CV::Win::Registry::AddinTable(), install, commandLine, CV::Win::Module::Path());
}
