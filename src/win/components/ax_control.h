// AxControl: a windowed ActiveX control as a control container (a dialog's
// AtlAxWin host) expects one: created, given its site, activated in place
// in the host's window, sized, closed and released; its events go to the
// sinks connected at the default source interface its class information
// names. A derived control makes its window and fires its events.
#pragma once

#include <ocidl.h>
#include <oleidl.h>

#include <map>
#include <vector>

#include "win/com/com_ptr.h"
#include "win/com/ref_counted.h"

namespace CV::Win {

class AxControl : public RefCounted<IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl,
                                    IPersistStreamInit, IProvideClassInfo2, IConnectionPointContainer> {
 public:
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;

  // IOleObject
  ::HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  ::HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  ::HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
  ::HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                     LPCRECT rect) override;
  ::HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  ::HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
  ::HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  ::HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  ::HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  ::HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  ::HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  ::HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  ::HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  ::HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }
  // Keys are the control window's own (a dialog delivers them to it).
  ::HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG) override { return S_FALSE; }
  ::HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

  // IOleControl
  ::HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  ::HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID) override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

  // IPersistStreamInit: the controls keep no state of their own.
  ::HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  ::HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  ::HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return S_OK; }
  ::HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  ::HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }

  // IProvideClassInfo2
  ::HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  ::HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer: one point, the events interface.
  ::HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  HWND Window() const noexcept { return m_window; }
  bool InPlaceActive() const noexcept { return m_window != nullptr; }
  std::size_t SinkCount() const noexcept { return m_sinks.size(); }

 protected:
  // classInfo: the coclass's type information (may be null).
  AxControl(const CLSID& clsid, const IID& eventsIid, ComPtr<ITypeInfo> classInfo);
  ~AxControl() override;

  // The control's own window, a child of parent; null on failure.
  virtual HWND CreateControlWindow(HWND parent, const RECT& position) = 0;
  // Further interfaces of the control (its dispatch interface).
  virtual ::HRESULT QueryControlInterface(REFIID, void** out) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Calls the method dispid on every connected sink; args in their order.
  // Events frozen by the container are dropped, as containers expect.
  void Fire(DISPID dispid, std::vector<VARIANT> args);

 private:
  class Point;
  ::HRESULT Activate(IOleClientSite* site, HWND parent, LPCRECT rect);

  CLSID m_clsid;
  IID m_eventsIid;
  ComPtr<ITypeInfo> m_classInfo;
  ComPtr<IOleClientSite> m_site;
  ComPtr<IOleInPlaceSite> m_inPlaceSite;
  HWND m_window = nullptr;
  SIZEL m_extent{5000, 3000};  // HIMETRIC until the container sets it
  int m_frozen = 0;
  std::map<DWORD, ComPtr<IDispatch>> m_sinks;
  DWORD m_nextCookie = 1;
};

}  // namespace CV::Win
