#include "win/components/ax_control.h"

#include <olectl.h>

#include <utility>

#include "win/com/connection_point.h"

namespace CV::Win {

// The events interface's connection point: a separate object because
// IOleObject::Unadvise and IConnectionPoint::Unadvise share their signature.
class AxControl::Point final : public ConnectionPointBase {
 public:
  explicit Point(AxControl& control) : ConnectionPointBase(&control, control.m_eventsIid), m_control(control) {}

  ::HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IDispatch> dispatch;
    // A sink answers the events interface (a dispinterface) or IDispatch.
    if (FAILED(sink->QueryInterface(Iid(), reinterpret_cast<void**>(dispatch.Put()))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Put()))))
      return CONNECT_E_CANNOTCONNECT;
    *cookie = m_control.m_nextCookie++;
    m_control.m_sinks.emplace(*cookie, std::move(dispatch));
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    return m_control.m_sinks.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
  }

 private:
  AxControl& m_control;  // kept by the base
};

AxControl::AxControl(const CLSID& clsid, const IID& eventsIid, ComPtr<ITypeInfo> classInfo)
    : m_clsid(clsid), m_eventsIid(eventsIid), m_classInfo(std::move(classInfo)) {}

AxControl::~AxControl() {
  if (m_window) ::DestroyWindow(m_window);
}

::HRESULT AxControl::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == IID_IUnknown || riid == IID_IOleObject) *out = static_cast<IOleObject*>(this);
  else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) *out = static_cast<IOleInPlaceObject*>(this);
  else if (riid == IID_IOleInPlaceActiveObject) *out = static_cast<IOleInPlaceActiveObject*>(this);
  else if (riid == IID_IOleControl) *out = static_cast<IOleControl*>(this);
  else if (riid == IID_IPersist || riid == IID_IPersistStreamInit) *out = static_cast<IPersistStreamInit*>(this);
  else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) *out = static_cast<IProvideClassInfo2*>(this);
  else if (riid == IID_IConnectionPointContainer) *out = static_cast<IConnectionPointContainer*>(this);
  else return QueryControlInterface(riid, out);
  AddRef();
  return S_OK;
}

::HRESULT AxControl::SetClientSite(IOleClientSite* site) {
  m_site = ComPtr<IOleClientSite>(site);
  if (!site) m_inPlaceSite.Reset();
  return S_OK;
}

::HRESULT AxControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = ComPtr<IOleClientSite>(m_site).Detach();
  return S_OK;
}

::HRESULT AxControl::Close(DWORD) {
  InPlaceDeactivate();
  m_sinks.clear();  // a closed control raises nothing more
  return S_OK;
}

::HRESULT AxControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      return Activate(site ? site : m_site.Get(), parent, rect);
    case OLEIVERB_HIDE:
      if (m_window) ::ShowWindow(m_window, SW_HIDE);
      return S_OK;
    default:
      return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
  }
}

::HRESULT AxControl::Activate(IOleClientSite* site, HWND parent, LPCRECT rect) {
  if (m_window) {
    ::ShowWindow(m_window, SW_SHOW);
    return S_OK;
  }
  if (!site) return E_INVALIDARG;
  ComPtr<IOleInPlaceSite> inPlace;
  if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(inPlace.Put()))))
    return E_NOINTERFACE;
  if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
  RECT position{}, clip{};
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  OLEINPLACEFRAMEINFO frameInfo{sizeof frameInfo};
  HWND host = parent;
  if (!host && FAILED(inPlace->GetWindow(&host))) return E_FAIL;
  if (SUCCEEDED(inPlace->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &frameInfo)) && !rect)
    rect = &position;
  if (!rect) return E_INVALIDARG;
  inPlace->OnInPlaceActivate();
  m_window = CreateControlWindow(host, *rect);
  if (!m_window) {
    inPlace->OnInPlaceDeactivate();
    return E_FAIL;
  }
  m_inPlaceSite = inPlace;
  ::ShowWindow(m_window, SW_SHOW);
  return S_OK;
}

::HRESULT AxControl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

::HRESULT AxControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  m_extent = *size;
  return S_OK;
}

::HRESULT AxControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = m_extent;
  return S_OK;
}

// A windowed control, activated as soon as it is visible, its site set
// before it is initialised.
::HRESULT AxControl::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
            OLEMISC_SETCLIENTSITEFIRST | OLEMISC_CANTLINKINSIDE;
  return S_OK;
}

::HRESULT AxControl::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = m_window;
  return m_window ? S_OK : E_FAIL;
}

::HRESULT AxControl::InPlaceDeactivate() {
  if (!m_window) return S_OK;
  ::DestroyWindow(std::exchange(m_window, nullptr));
  if (ComPtr<IOleInPlaceSite> site = std::exchange(m_inPlaceSite, nullptr)) site->OnInPlaceDeactivate();
  return S_OK;
}

::HRESULT AxControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (!position) return E_POINTER;
  if (m_window)
    ::MoveWindow(m_window, position->left, position->top, position->right - position->left,
                 position->bottom - position->top, TRUE);
  return S_OK;
}

::HRESULT AxControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

::HRESULT AxControl::FreezeEvents(BOOL freeze) {
  m_frozen += freeze ? 1 : (m_frozen > 0 ? -1 : 0);
  return S_OK;
}

::HRESULT AxControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = m_clsid;
  return S_OK;
}

::HRESULT AxControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

::HRESULT AxControl::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = ComPtr<ITypeInfo>(m_classInfo).Detach();
  return *info ? S_OK : E_NOTIMPL;
}

::HRESULT AxControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = m_eventsIid;
  if (IsEqualIID(m_eventsIid, GUID_NULL)) return E_NOTIMPL;  // a control without events
  return S_OK;
}

::HRESULT AxControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (iid != m_eventsIid || IsEqualIID(iid, GUID_NULL)) return CONNECT_E_NOCONNECTION;
  *point = new Point(*this);
  return S_OK;
}

void AxControl::Fire(DISPID dispid, std::vector<VARIANT> args) {
  if (m_frozen > 0) return;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // DISPPARAMS holds the last first
  DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  // A sink may disconnect while it handles the event: call a copy.
  std::vector<ComPtr<IDispatch>> sinks;
  for (const auto& [cookie, sink] : m_sinks) sinks.push_back(sink);
  // A sink's failure is its own: the control and the other sinks go on.
  for (const ComPtr<IDispatch>& sink : sinks)
    sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
}

}  // namespace CV::Win
