// Conversions between the portable values and the platform's BSTR, VARIANT
// and GUID, and the guard that keeps exceptions from crossing COM.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>

#include "foundation/bstr.h"
#include "foundation/com_error.h"
#include "foundation/object.h"
#include "win/com/com_ptr.h"

namespace CV::Win {

// An owned BSTR copy of value (null stays null); E_OUTOFMEMORY throws.
BSTR AllocBstr(const Bstr& value);
Bstr ToBstr(BSTR value);

// VARIANT -> Variant; by-reference values are read through. Types outside
// the subset throw ComError DISP_E_TYPEMISMATCH.
Variant ToVariant(const VARIANT& value);
// Variant -> VARIANT, which the caller clears. Portable objects are exposed
// as real IDispatch objects; bridged ones hand back their own pointer.
void FromVariant(const Variant& value, VARIANT* out);

// The portable object behind a real IDispatch: the portable object itself
// when it is one of ours in this apartment, a bridge otherwise (defined with
// the bridge, dispatch_object.cpp).
ObjectPtr WrapDispatch(IDispatch* dispatch, const Guid& iid);
// A real IDispatch for a portable object (a new reference): a bridge's own
// pointer, else the object's COM face (defined with it, exposed_object.cpp).
IDispatch* ExposeObject(const ObjectPtr& object);

// What a portable object that bridges a real IDispatch answers, so that
// exposing it again hands back that pointer instead of a second face.
class IDispatchBridge {
 public:
  virtual IDispatch* BridgedDispatch() const noexcept = 0;

 protected:
  ~IDispatchBridge() = default;
};

// Runs f and turns anything it throws into an HRESULT: every COM entry point
// goes through it so that no exception crosses COM.
template <class F>
HRESULT GuardCom(F&& f) noexcept {
  try {
    return f();
  } catch (const ComError& e) {
    return e.Error();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// Live bridge objects of both directions, for leak checks.
long LiveBridgeObjects();

}  // namespace CV::Win
