// ExposedObject: a portable IObject offered to COM as a real IDispatch with
// connection points, so that real clients (Office, other apartments through
// the global interface table) call it by name.
#pragma once

#include <oaidl.h>
#include <ocidl.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include "foundation/object.h"
#include "win/com/ref_counted.h"

namespace CV::Win {

class ExposedObject final : public RefCounted<IDispatch, IConnectionPointContainer> {
 public:
  // The object's one COM face, with a reference more: made when it has none.
  static IDispatch* Create(ObjectPtr object);
  // The portable object behind dispatch when it is an ExposedObject of this
  // module in this apartment (a proxy is not); null otherwise.
  static ObjectPtr Unwrap(IDispatch* dispatch);

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  // The last release leaves the identity table under its lock first.
  ULONG STDMETHODCALLTYPE Release() override;

  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) override;
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override;

  ::HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  ::HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  const ObjectPtr& Object() const noexcept { return m_object; }

  // The calls this module's objects served since the last reset, by member
  // ("GetIDsOfNames" for name lookups, "QueryInterface" for the interfaces
  // the portable object answers): each call from another apartment costs the
  // owning thread a turn of its message loop.
  struct Served {
    std::uint64_t calls = 0;
    std::chrono::microseconds longest{0};  // of one call that reached the portable object
    std::chrono::microseconds total{0};
  };
  static std::map<std::string, Served> ServedCalls();
  static void ResetServedCalls();

 private:
  explicit ExposedObject(ObjectPtr object);
  ~ExposedObject() override;

  const void* m_module;  // first after the counted base, at the same place in every module
  ObjectPtr m_object;
};

}  // namespace CV::Win
