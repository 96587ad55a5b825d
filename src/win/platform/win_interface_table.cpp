// The interface table over IGlobalInterfaceTable. Portable objects travel as
// IDispatch (their only real interface); bridged objects as the interface
// asked for, so the proxy on the other side is of that interface.
#include <objbase.h>

#include "foundation/interface_table.h"
#include "win/com/com_support.h"
#include "win/com/dispatch_object.h"

namespace CV {
namespace {

class WinInterfaceTable final : public IInterfaceTable {
 public:
  HRESULT Register(const ObjectPtr& object, const Guid& iid, std::uint32_t& cookie) override {
    return Win::GuardCom([&] {
      if (!object) return E_INVALIDARG;
      Win::ComPtr<IGlobalInterfaceTable> table = Table();
      Win::ComPtr<IUnknown> unknown;
      GUID riid = IID_IDispatch;
      if (auto* bridged = dynamic_cast<Win::DispatchObject*>(object.get())) {
        riid = Win::ToGUID(iid);
        unknown = bridged->Dispatch().Query<IUnknown>(riid);
      } else {
        unknown = Win::ComPtr<IUnknown>::Attach(Win::ExposeObject(object));
      }
      DWORD raw = 0;
      const HRESULT hr = table->RegisterInterfaceInGlobal(unknown.Get(), riid, &raw);
      if (SUCCEEDED(hr)) cookie = raw;
      return hr;
    });
  }

  HRESULT Fetch(std::uint32_t cookie, const Guid& iid, ObjectPtr& object) override {
    return Win::GuardCom([&] {
      Win::ComPtr<IGlobalInterfaceTable> table = Table();
      Win::ComPtr<IDispatch> dispatch;
      // The registered interface is IDispatch or derives from it.
      HRESULT hr = table->GetInterfaceFromGlobal(cookie, IID_IDispatch, reinterpret_cast<void**>(dispatch.Put()));
      if (FAILED(hr)) return hr;
      object = Win::WrapDispatch(dispatch.Get(), iid);
      return S_OK;
    });
  }

  HRESULT Revoke(std::uint32_t cookie) override {
    return Win::GuardCom([&] { return Table()->RevokeInterfaceFromGlobal(cookie); });
  }

 private:
  static Win::ComPtr<IGlobalInterfaceTable> Table() {
    Win::ComPtr<IGlobalInterfaceTable> table;
    CheckCom(::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IGlobalInterfaceTable, reinterpret_cast<void**>(table.Put())));
    return table;
  }
};

}  // namespace

IInterfaceTable& DefaultInterfaceTable() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* table = new WinInterfaceTable;
  return *table;
}

}  // namespace CV
