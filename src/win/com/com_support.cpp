#include "win/com/com_support.h"

#include <oleauto.h>

#include <atomic>


namespace CV::Win {

Guid ToGuid(const GUID& g) {
  Guid out;
  out.data1 = g.Data1;
  out.data2 = g.Data2;
  out.data3 = g.Data3;
  for (int i = 0; i < 8; ++i) out.data4[static_cast<std::size_t>(i)] = g.Data4[i];
  return out;
}

GUID ToGUID(const Guid& g) {
  GUID out{};
  out.Data1 = g.data1;
  out.Data2 = g.data2;
  out.Data3 = g.data3;
  for (int i = 0; i < 8; ++i) out.Data4[i] = g.data4[static_cast<std::size_t>(i)];
  return out;
}

BSTR AllocBstr(const Bstr& value) {
  if (value.IsNull()) return nullptr;
  const std::string& bytes = value.Bytes();
  BSTR b = ::SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
  if (!b) ThrowComError(E_OUTOFMEMORY);
  return b;
}

Bstr ToBstr(BSTR value) {
  if (!value) return Bstr();
  return Bstr::FromBytes(value, ::SysStringByteLen(value));
}

namespace {

std::shared_ptr<SafeArray> ToSafeArray(SAFEARRAY* psa) {
  if (!psa) return nullptr;
  const UINT dims = ::SafeArrayGetDim(psa);
  if (dims < 1 || dims > 2) ThrowComError(DISP_E_TYPEMISMATCH);
  std::vector<SafeArray::Bound> bounds;
  for (UINT d = 1; d <= dims; ++d) {
    LONG lower = 0, upper = 0;
    CheckCom(::SafeArrayGetLBound(psa, d, &lower));
    CheckCom(::SafeArrayGetUBound(psa, d, &upper));
    bounds.push_back({lower, static_cast<std::uint32_t>(upper - lower + 1)});
  }
  auto array = std::make_shared<SafeArray>(bounds);
  const std::uint32_t count2 = dims == 2 ? bounds[1].count : 1;
  for (std::uint32_t j = 0; j < count2; ++j) {
    for (std::uint32_t i = 0; i < bounds[0].count; ++i) {
      LONG index[2] = {bounds[0].lower + static_cast<LONG>(i), dims == 2 ? bounds[1].lower + static_cast<LONG>(j) : 0};
      VARIANT element;
      ::VariantInit(&element);
      CheckCom(::SafeArrayGetElement(psa, index, &element));
      Variant v;
      try {
        v = ToVariant(element);
      } catch (...) {
        ::VariantClear(&element);
        throw;
      }
      ::VariantClear(&element);
      array->Elements()[j * bounds[0].count + i] = std::move(v);
    }
  }
  return array;
}

SAFEARRAY* FromSafeArray(const SafeArray& array) {
  std::vector<SAFEARRAYBOUND> bounds;
  for (const auto& b : array.Bounds()) bounds.push_back({b.count, b.lower});
  SAFEARRAY* psa = ::SafeArrayCreate(VT_VARIANT, static_cast<UINT>(bounds.size()), bounds.data());
  if (!psa) ThrowComError(E_OUTOFMEMORY);
  const auto& b = array.Bounds();
  const std::uint32_t count2 = b.size() == 2 ? b[1].count : 1;
  for (std::uint32_t j = 0; j < count2; ++j) {
    for (std::uint32_t i = 0; i < b[0].count; ++i) {
      LONG index[2] = {b[0].lower + static_cast<LONG>(i), b.size() == 2 ? b[1].lower + static_cast<LONG>(j) : 0};
      VARIANT element;
      ::VariantInit(&element);
      FromVariant(array.Elements()[j * b[0].count + i], &element);
      const HRESULT hr = ::SafeArrayPutElement(psa, index, &element);
      ::VariantClear(&element);
      if (FAILED(hr)) {
        ::SafeArrayDestroy(psa);
        ThrowComError(hr);
      }
    }
  }
  return psa;
}

}  // namespace

Variant ToVariant(const VARIANT& value) {
  const VARTYPE vt = value.vt;
  if (vt == (VT_BYREF | VT_VARIANT)) return value.pvarVal ? ToVariant(*value.pvarVal) : Variant();
  const bool byRef = (vt & VT_BYREF) != 0;
  switch (vt & ~VT_BYREF) {
    case VT_EMPTY: return Variant();
    case VT_NULL: return Variant::FromNull();
    case VT_I1: return Variant::FromI4(byRef ? *value.pcVal : value.cVal);
    case VT_UI1: return Variant::FromI4(byRef ? *value.pbVal : value.bVal);
    case VT_I2: return Variant::FromI4(byRef ? *value.piVal : value.iVal);
    case VT_UI2: return Variant::FromI4(byRef ? *value.puiVal : value.uiVal);
    case VT_I4: return Variant::FromI4(byRef ? *value.plVal : value.lVal);
    case VT_UI4: return Variant::FromI4(static_cast<std::int32_t>(byRef ? *value.pulVal : value.ulVal));
    case VT_INT: return Variant::FromInt(byRef ? *value.pintVal : value.intVal);
    case VT_UINT: return Variant::FromI4(static_cast<std::int32_t>(byRef ? *value.puintVal : value.uintVal));
    case VT_R4: return Variant::FromR8(byRef ? *value.pfltVal : value.fltVal);
    case VT_R8: return Variant::FromR8(byRef ? *value.pdblVal : value.dblVal);
    case VT_DATE: return Variant::FromDate(byRef ? *value.pdate : value.date);
    case VT_BSTR: return Variant::FromBstr(ToBstr(byRef ? *value.pbstrVal : value.bstrVal));
    case VT_BOOL: return Variant::FromVariantBool(byRef ? *value.pboolVal : value.boolVal);
    case VT_ERROR: return Variant::FromError(byRef ? *value.pscode : value.scode);
    case VT_DISPATCH: {
      IDispatch* d = byRef ? *value.ppdispVal : value.pdispVal;
      return Variant::FromObject(d ? WrapDispatch(d, Guid::FromLiteral("00020400-0000-0000-C000-000000000046"))
                                   : nullptr);
    }
    case VT_UNKNOWN: {
      IUnknown* u = byRef ? *value.ppunkVal : value.punkVal;
      if (!u) return Variant::FromObject(nullptr);
      ComPtr<IDispatch> d = ComPtr<IUnknown>(u).Query<IDispatch>(IID_IDispatch);
      return Variant::FromObject(WrapDispatch(d.Get(), Guid::FromLiteral("00020400-0000-0000-C000-000000000046")));
    }
    case VT_ARRAY | VT_VARIANT:
      return Variant::FromArray(ToSafeArray(byRef ? *value.pparray : value.parray));
    default:
      ThrowComError(DISP_E_TYPEMISMATCH);
  }
}

void FromVariant(const Variant& value, VARIANT* out) {
  ::VariantInit(out);
  switch (value.Type()) {
    case VarType::Empty: return;
    case VarType::Null: out->vt = VT_NULL; return;
    case VarType::I4: out->vt = VT_I4; out->lVal = value.AsInt32(); return;
    case VarType::Int: out->vt = VT_INT; out->intVal = value.AsInt32(); return;
    case VarType::R8: out->vt = VT_R8; out->dblVal = value.AsDouble(); return;
    case VarType::Date: out->vt = VT_DATE; out->date = value.AsDouble(); return;
    case VarType::Bool: out->vt = VT_BOOL; out->boolVal = value.AsVariantBool(); return;
    case VarType::Error: out->vt = VT_ERROR; out->scode = value.AsError(); return;
    case VarType::Bstr: out->bstrVal = AllocBstr(value.AsBstr()); out->vt = VT_BSTR; return;
    case VarType::Dispatch:
      out->pdispVal = value.AsObject() ? ExposeObject(value.AsObject()) : nullptr;
      out->vt = VT_DISPATCH;
      return;
    case VarType::ArrayOfVariant:
      if (!value.AsArray()) ThrowComError(E_POINTER);
      out->parray = FromSafeArray(*value.AsArray());
      out->vt = VT_ARRAY | VT_VARIANT;
      return;
  }
  ThrowComError(DISP_E_TYPEMISMATCH);
}

namespace detail {
std::atomic<long> g_liveBridgeObjects{0};
}

long LiveBridgeObjects() { return detail::g_liveBridgeObjects.load(); }

}  // namespace CV::Win
