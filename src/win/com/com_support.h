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
// when it is one of ours in this apartment, a bridge otherwise.
ObjectPtr WrapDispatch(IDispatch* dispatch, const Guid& iid);
// A real IDispatch for a portable object (a new reference).
IDispatch* ExposeObject(const ObjectPtr& object);

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
