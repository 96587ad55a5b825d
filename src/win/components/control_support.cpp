#include "win/components/control_support.h"

#include "win/components/component_com.h"
#include "win/module.h"

namespace CV::Win::Components {

std::wstring ResourceText(UINT id) {
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(Module::Instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

HFONT DialogFont(HWND control) {
  HWND dialog = ::GetAncestor(control, GA_ROOT);
  if (auto font = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0))) return font;
  return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

int Scaled(HWND window, int pixels) {
  HDC dc = ::GetDC(window);
  const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ::ReleaseDC(window, dc);
  return ::MulDiv(pixels, dpi, 96);
}

::HRESULT TypedDispatch::Load(REFIID iid) { return TypeInfoOf(iid, m_info); }

::HRESULT TypedDispatch::Count(UINT* count) const {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

::HRESULT TypedDispatch::Info(UINT index, ITypeInfo** info) const {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = ComPtr<ITypeInfo>(m_info).Detach();
  return S_OK;
}

::HRESULT TypedDispatch::Ids(REFIID riid, LPOLESTR* names, UINT count, DISPID* dispids) const {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return ::DispGetIDsOfNames(m_info.Get(), names, count, dispids);
}

::HRESULT TypedDispatch::Call(void* object, DISPID dispid, REFIID riid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) const {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return ::DispInvoke(object, m_info.Get(), dispid, flags, params, result, exception, argError);
}

}  // namespace CV::Win::Components
