// What the two selection controls share: IDispatch through the DLL's type
// library, their German texts from the string table, and the look of the
// dialog they stand in.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "win/com/com_ptr.h"

namespace CV::Win::Components {

// String resources of the components DLL.
namespace TextId {
inline constexpr UINT FolderColumn = 400;
inline constexpr UINT CountColumn = 401;
inline constexpr UINT ImportanceColumn = 402;
inline constexpr UINT AttachmentColumn = 403;
inline constexpr UINT SenderColumn = 404;
inline constexpr UINT SubjectColumn = 405;
inline constexpr UINT DateColumn = 406;
inline constexpr UINT SizeColumn = 407;
inline constexpr UINT ImportanceHigh = 408;
inline constexpr UINT HasAttachments = 410;
inline constexpr UINT SelectAll = 411;
inline constexpr UINT SelectNone = 412;
inline constexpr UINT SizeUnit = 413;
}  // namespace TextId

std::wstring ResourceText(UINT id);

// The font of the dialog the control stands in (the system's when none).
HFONT DialogFont(HWND control);

// Pixels for a length given at 96 dots per inch.
int Scaled(HWND window, int pixels);

// The window class of a control's own window, registered once per load of
// the DLL (with the common controls it holds) and unregistered when the DLL
// is unloaded; its windows find their control through OwnerOf.
ATOM ControlWindowClass(const wchar_t* name, WNDPROC procedure, DWORD commonControls);
HWND CreateOwnedWindow(ATOM windowClass, HWND parent, const RECT& position, void* owner);
// The owner given at creation; null before WM_NCCREATE and once released.
template <class Owner>
Owner* OwnerOf(HWND window, UINT message, LPARAM l) {
  if (message == WM_NCCREATE)
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
  return reinterpret_cast<Owner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// A class factory's instance of a control: Control::Create(hr) makes it
// with one reference.
template <class Control>
::HRESULT CreateControl(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  ::HRESULT hr = S_OK;
  Control* control = Control::Create(hr);
  if (!control) return hr;
  hr = control->QueryInterface(riid, ppv);
  control->Release();
  return hr;
}

// IDispatch of a dual interface, driven by its type information.
class TypedDispatch {
 public:
  ::HRESULT Load(REFIID iid);
  ::HRESULT Count(UINT* count) const;
  ::HRESULT Info(UINT index, ITypeInfo** info) const;
  ::HRESULT Ids(REFIID riid, LPOLESTR* names, UINT count, DISPID* dispids) const;
  ::HRESULT Call(void* object, DISPID dispid, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError) const;

 private:
  ComPtr<ITypeInfo> m_info;
};

#define CV_TYPED_DISPATCH(member, Interface)                                                                   \
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return member.Count(count); }          \
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {                      \
    return member.Info(index, info);                                                                           \
  }                                                                                                            \
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* dispids)  \
      override {                                                                                               \
    return member.Ids(riid, names, count, dispids);                                                            \
  }                                                                                                            \
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params,        \
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override {         \
    return member.Call(static_cast<Interface*>(this), dispid, riid, flags, params, result, exception, argError); \
  }

// A control's IUnknown is its AxControl base's; its dual interface is
// driven by member's type information.
#define CV_AX_DUAL(member, Interface)                                                                         \
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {                              \
    return AxControl::QueryInterface(riid, out);                                                               \
  }                                                                                                            \
  ULONG STDMETHODCALLTYPE AddRef() override { return AxControl::AddRef(); }                                   \
  ULONG STDMETHODCALLTYPE Release() override { return AxControl::Release(); }                                 \
  CV_TYPED_DISPATCH(member, Interface)

}  // namespace CV::Win::Components
