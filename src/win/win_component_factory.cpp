#include "win/win_component_factory.h"

#include <objbase.h>
#include <ole2.h>

#include <string>

#include "win/com_support.h"
#include "win/dispatch_object.h"

namespace CV::Win {

ObjectPtr WinComponentFactory::Create(std::u16string_view progId) {
  const std::wstring name(progId.begin(), progId.end());
  CLSID clsid{};
  if (FAILED(::CLSIDFromProgID(name.c_str(), &clsid))) return nullptr;
  ComPtr<IDispatch> dispatch;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(dispatch.Put()))))
    return nullptr;
  if (FAILED(::OleRun(dispatch.Get()))) return nullptr;
  return std::make_shared<DispatchObject>(std::move(dispatch), Guid::FromLiteral("00020400-0000-0000-C000-000000000046"));
}

}  // namespace CV::Win
