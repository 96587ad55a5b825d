// progid_probe.exe: what Outlook and the add-in find of an installed
// package: the add-in and the writer made by ProgID, a callback of the
// add-in answered by name, both type libraries loaded from the registry.
// Prints one line per check and ends with 0 only when all passed.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>

#include "addin/addin_ids.h"
#include "components/component_ids.h"
#include "win/com/com_ptr.h"
#include "win/com/com_support.h"

namespace {

int failures = 0;

void Report(const char* what, HRESULT hr, const wchar_t* detail = L"") {
  std::printf("%s: %s 0x%08lx %ls\n", what, SUCCEEDED(hr) ? "ok" : "FAILED", static_cast<unsigned long>(hr), detail);
  if (FAILED(hr)) ++failures;
}

HRESULT Create(const wchar_t* progId, CV::Win::ComPtr<IDispatch>& object) {
  CLSID clsid{};
  const HRESULT hr = ::CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(object.Put()));
}

}  // namespace

int main() {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CV::Win::ComPtr<IDispatch> addin;
    HRESULT hr = Create(L"CVMailArchiveOl.Connect", addin);
    Report("addin created by ProgID", hr);
    if (SUCCEEDED(hr)) {
      LPOLESTR name = const_cast<LPOLESTR>(L"GetMailCount");
      DISPID id = DISPID_UNKNOWN;
      hr = addin->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
      Report("callback GetMailCount found by name", hr == S_OK && id == 0x2D ? S_OK : E_FAIL);
      VARIANT control;
      ::VariantInit(&control);
      control.vt = VT_DISPATCH;
      control.pdispVal = nullptr;
      DISPPARAMS parameters{&control, nullptr, 1, 0};
      VARIANT result;
      ::VariantInit(&result);
      hr = addin->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr);
      Report("callback GetMailCount answered", hr == S_OK && result.vt == VT_BSTR ? S_OK : E_FAIL,
             result.vt == VT_BSTR ? result.bstrVal : L"");
      ::VariantClear(&result);
    }
    CV::Win::ComPtr<IDispatch> writer;
    Report("writer created by ProgID", Create(L"CVMail.CVMailExport", writer));
    CV::Win::ComPtr<ITypeLib> library;
    Report("add-in type library registered",
           ::LoadRegTypeLib(CV::Win::ToGUID(CV::AddinIds::LibId), 1, 0, 0, library.Put()));
    CV::Win::ComPtr<ITypeLib> components;
    Report("components type library registered",
           ::LoadRegTypeLib(CV::Win::ToGUID(CV::ComponentIds::LibId), 1, 0, 0, components.Put()));
  }
  ::CoUninitialize();
  return failures == 0 ? 0 : 1;
}
