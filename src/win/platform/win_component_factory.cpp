#include "win/platform/win_component_factory.h"

#include <objbase.h>
#include <ole2.h>

#include <string>

#include "win/com/com_support.h"
#include "win/com/dispatch_object.h"

namespace CV::Win {

ObjectPtr WinComponentFactory::Create(std::u16string_view progId) {
  const std::wstring name(progId.begin(), progId.end());
  CLSID clsid{};
  if (FAILED(::CLSIDFromProgID(name.c_str(), &clsid))) return nullptr;
  ComPtr<IUnknown> unknown;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(unknown.Put()))))
    return nullptr;
  if (FAILED(::OleRun(unknown.Get()))) return nullptr;
  // A failed query leaves the reference empty: the caller's first call
  // fails with E_POINTER.
  ComPtr<IDispatch> dispatch = unknown.TryQuery<IDispatch>(IID_IDispatch);
  if (!dispatch) return nullptr;
  return std::make_shared<DispatchObject>(std::move(dispatch), Guid::FromLiteral("00020400-0000-0000-C000-000000000046"));
}

}  // namespace CV::Win
