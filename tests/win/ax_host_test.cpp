// A control of ours in a dialog through the system's control container
// (atl.dll's AtlAxWin, as the selection dialogs host theirs): created from
// the CLSID in the dialog template, activated in place in the host window,
// sized with it, its events delivered to a sink connected through its class
// information, and released when the dialog closes.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "win/components/ax_control.h"

namespace CV::Win {
namespace {

const CLSID kSpikeClsid = {0x5b0c7e21, 0x3f4a, 0x4d8e, {0x9a, 0x61, 0x2c, 0x7d, 0x11, 0x90, 0xab, 0x01}};
const IID kSpikeEvents = {0x5b0c7e22, 0x3f4a, 0x4d8e, {0x9a, 0x61, 0x2c, 0x7d, 0x11, 0x90, 0xab, 0x01}};
constexpr wchar_t kSpikeClsidText[] = L"{5B0C7E21-3F4A-4D8E-9A61-2C7D1190AB01}";
constexpr int kControlId = 202;

std::atomic<int> alive{0};

class SpikeControl final : public AxControl {
 public:
  SpikeControl() : AxControl(kSpikeClsid, kSpikeEvents, nullptr) { ++alive; }
  ~SpikeControl() override { --alive; }

 protected:
  HWND CreateControlWindow(HWND parent, const RECT& r) override {
    static const ATOM atom = [] {
      WNDCLASSW c{};
      c.style = CS_DBLCLKS;
      c.lpfnWndProc = &Proc;
      c.hInstance = ::GetModuleHandleW(nullptr);
      c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
      c.lpszClassName = L"CVSpikeControl";
      return ::RegisterClassW(&c);
    }();
    HWND window = ::CreateWindowExW(0, MAKEINTATOM(atom), L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, r.left, r.top,
                                    r.right - r.left, r.bottom - r.top, parent, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return window;
  }

 private:
  // A double click opens "the row under the mouse": event 2 with its number.
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_LBUTTONDBLCLK) {
      auto* self = reinterpret_cast<SpikeControl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      VARIANT row;
      ::VariantInit(&row);
      row.vt = VT_I4;
      row.lVal = 42;
      self->Fire(2, {row});
      return 0;
    }
    return ::DefWindowProcW(window, message, w, l);
  }
};

class Factory final : public IClassFactory {
 public:
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  ::HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* control = new SpikeControl;
    const ::HRESULT hr = control->QueryInterface(riid, out);
    control->Release();
    return hr;
  }
  ::HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class Sink final : public IDispatch {
 public:
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kSpikeEvents) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
    events.push_back({dispid, params->cArgs == 1 && params->rgvarg[0].vt == VT_I4 ? params->rgvarg[0].lVal : -1});
    return S_OK;
  }
  std::vector<std::pair<DISPID, LONG>> events;
  std::atomic<ULONG> references{1};
};

// A dialog template in memory: the host window of class "AtlAxWin" with the
// control's CLSID as its text, and an OK button.
std::vector<WORD> Template() {
  std::vector<WORD> t;
  const auto dword = [&](DWORD d) { t.push_back(LOWORD(d)), t.push_back(HIWORD(d)); };
  const auto text = [&](const wchar_t* s) {
    for (; *s; ++s) t.push_back(*s);
    t.push_back(0);
  };
  const auto align = [&] {
    if (t.size() % 2) t.push_back(0);
  };
  dword(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
  dword(0);
  t.push_back(2);  // items
  t.push_back(10), t.push_back(10), t.push_back(220), t.push_back(140);
  t.push_back(0), t.push_back(0);  // no menu, the dialog class
  text(L"Steuerelement");
  t.push_back(8);
  text(L"MS Shell Dlg");
  align();
  dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  dword(0);
  t.push_back(7), t.push_back(7), t.push_back(206), t.push_back(100), t.push_back(kControlId);
  text(L"AtlAxWin");
  text(kSpikeClsidText);
  t.push_back(0);
  align();
  dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON);
  dword(0);
  t.push_back(160), t.push_back(115), t.push_back(50), t.push_back(14), t.push_back(IDOK);
  t.push_back(0xFFFF), t.push_back(0x0080);  // button
  text(L"OK");
  t.push_back(0);
  return t;
}

struct Seen {
  HRESULT control = E_FAIL, advised = E_FAIL, sourceIid = E_FAIL;
  bool inPlace = false, childIsControl = false, resized = false;
  Sink sink;
};

using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);
GetControl getControl = nullptr;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM, LPARAM l) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, l);
    ::PostMessageW(dialog, WM_APP, 0, 0);
    return TRUE;
  }
  if (message != WM_APP) return FALSE;
  auto& seen = *reinterpret_cast<Seen*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  HWND host = ::GetDlgItem(dialog, kControlId);
  ComPtr<IUnknown> unknown;
  seen.control = getControl(host, unknown.Put());
  if (SUCCEEDED(seen.control)) {
    ComPtr<IOleObject> object;
    unknown->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(object.Put()));
    auto* control = static_cast<AxControl*>(object.Get());
    seen.inPlace = control->InPlaceActive();
    seen.childIsControl = ::GetWindow(host, GW_CHILD) == control->Window();
    // The sink goes where the class information says the events come from.
    ComPtr<IProvideClassInfo2> info;
    GUID source{};
    unknown->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(info.Put()));
    seen.sourceIid = info ? info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) : E_NOINTERFACE;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    unknown->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.Put()));
    if (container && SUCCEEDED(container->FindConnectionPoint(source, point.Put())))
      seen.advised = point->Advise(&seen.sink, &cookie);
    ::SendMessageW(control->Window(), WM_LBUTTONDBLCLK, 0, MAKELPARAM(5, 5));
    // The host passes its new size on to the control's window.
    ::SetWindowPos(host, nullptr, 0, 0, 300, 180, SWP_NOMOVE | SWP_NOZORDER);
    RECT r{};
    ::GetClientRect(control->Window(), &r);
    seen.resized = r.right == 300 && r.bottom == 180;
    if (point) point->Unadvise(cookie);
  }
  ::EndDialog(dialog, IDOK);
  return TRUE;
}

TEST(AxHost, AControlOfOursStandsInADialogThroughTheSystemsContainer) {
  Seen seen;
  std::thread ui([&] {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    HMODULE atl = ::LoadLibraryW(L"atl.dll");
    ASSERT_NE(atl, nullptr);
    auto init = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")));
    getControl = reinterpret_cast<GetControl>(reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxGetControl")));
    ASSERT_TRUE(init && getControl);
    ASSERT_TRUE(init());
    static Factory factory;
    DWORD registration = 0;
    ASSERT_EQ(::CoRegisterClassObject(kSpikeClsid, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                      &registration),
              S_OK);
    const std::vector<WORD> dialog = Template();
    EXPECT_EQ(::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
                                        reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), nullptr, &DialogProc,
                                        reinterpret_cast<LPARAM>(&seen)),
              IDOK);
    ::CoRevokeClassObject(registration);
    ::OleUninitialize();
  });
  ui.join();
  EXPECT_EQ(seen.control, S_OK);
  EXPECT_TRUE(seen.inPlace);
  EXPECT_TRUE(seen.childIsControl);
  EXPECT_EQ(seen.sourceIid, S_OK);
  EXPECT_EQ(seen.advised, S_OK);
  EXPECT_EQ(seen.sink.events, (std::vector<std::pair<DISPID, LONG>>{{2, 42}}));
  EXPECT_TRUE(seen.resized);
  EXPECT_EQ(seen.sink.references, 1u);  // disconnected
  EXPECT_EQ(alive, 0);                  // the host released the control with the dialog
}

}  // namespace
}  // namespace CV::Win
