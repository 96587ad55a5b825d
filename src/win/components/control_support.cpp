#include "win/components/control_support.h"

#include <commctrl.h>

#include "win/components/component_com.h"
#include "win/com/module.h"

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

ATOM ControlWindowClass(const wchar_t* name, WNDPROC procedure, DWORD commonControls) {
  INITCOMMONCONTROLSEX controls{sizeof controls, commonControls};
  ::InitCommonControlsEx(&controls);
  WNDCLASSW c{};
  c.lpfnWndProc = procedure;
  c.hInstance = Module::Instance();
  c.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  c.lpszClassName = name;
  return Module::RegisterWindowClass(c);
}

// WS_EX_CONTROLPARENT: Tab goes on into the control's own children.
HWND CreateOwnedWindow(ATOM windowClass, HWND parent, const RECT& r, void* owner) {
  return ::CreateWindowExW(WS_EX_CONTROLPARENT, MAKEINTATOM(windowClass), L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                           r.left, r.top, r.right - r.left, r.bottom - r.top, parent, nullptr, Module::Instance(),
                           owner);
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
