#include "win/addin/win_dialog_host.h"

#include <oaidl.h>

#include <algorithm>

#include <vector>

#include "win/com/com_ptr.h"
#include "win/com/com_support.h"
#include "win/com/module.h"

namespace CV::Win {
namespace {

constexpr int kSizeGrip = 0xE801;

using GetControl = ::HRESULT(WINAPI*)(HWND, IUnknown**);

// atl.dll's container: registered once per process, kept loaded for good
// (its window class must outlive every dialog).
GetControl Container() {
  static const GetControl getControl = []() -> GetControl {
    HMODULE atl = ::LoadLibraryW(L"atl.dll");
    if (!atl) return nullptr;
    auto init = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")));
    auto get = reinterpret_cast<GetControl>(reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxGetControl")));
    return init && get && init() ? get : nullptr;
  }();
  return getControl;
}

// Where a child stays when the dialog changes size: the vendor's control
// grows with it, everything else keeps its distance to the right and
// bottom edges.
struct Anchor {
  HWND window;
  bool stretch;
  RECT start;  // in the client area as the dialog opened
};

struct Running {
  IDialogLogic& logic;
  ObjectPtr control;
  bool noControl = false;
  SIZE minimum{};
  SIZE client{};
  std::vector<Anchor> anchors;
  HWND grip = nullptr;
};

void CenterOnOwner(HWND dialog) {
  HWND owner = ::GetWindow(dialog, GW_OWNER);
  if (!owner || !::IsWindowVisible(owner) || ::IsIconic(owner)) return;  // DS_CENTER placed it on the screen
  RECT own{}, area{};
  ::GetWindowRect(dialog, &own);
  ::GetWindowRect(owner, &area);
  MONITORINFO monitor{sizeof monitor};
  ::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
  const int width = own.right - own.left, height = own.bottom - own.top;
  int x = (area.left + area.right - width) / 2, y = (area.top + area.bottom - height) / 2;
  const RECT& work = monitor.rcWork;
  x = std::max<int>(work.left, std::min<int>(x, work.right - width));
  y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
  ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InitResizing(HWND dialog, Running& run) {
  ::SetWindowLongW(dialog, GWL_STYLE, ::GetWindowLongW(dialog, GWL_STYLE) | WS_CLIPCHILDREN);
  RECT window{}, client{};
  ::GetWindowRect(dialog, &window);
  ::GetClientRect(dialog, &client);
  run.minimum = {window.right - window.left, window.bottom - window.top};
  run.client = {client.right, client.bottom};
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    run.anchors.push_back({child, ::GetDlgCtrlID(child) == run.logic.ControlId(), r});
  }
  const int width = ::GetSystemMetrics(SM_CXVSCROLL), height = ::GetSystemMetrics(SM_CYHSCROLL);
  run.grip = ::CreateWindowExW(0, L"SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_SIZEBOX | SBS_SIZEGRIP,
                               client.right - width, client.bottom - height, width, height, dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSizeGrip)), Module::Instance(), nullptr);
}

void Layout(HWND dialog, Running& run, WPARAM how) {
  if (run.grip) ::ShowWindow(run.grip, how == SIZE_MAXIMIZED ? SW_HIDE : SW_SHOW);
  RECT client{};
  ::GetClientRect(dialog, &client);
  const int dx = client.right - run.client.cx, dy = client.bottom - run.client.cy;
  HDWP positions = ::BeginDeferWindowPos(static_cast<int>(run.anchors.size()) + 1);
  for (const Anchor& anchor : run.anchors) {
    const RECT& r = anchor.start;
    if (!positions) break;
    positions = anchor.stretch ? ::DeferWindowPos(positions, anchor.window, nullptr, r.left, r.top,
                                                  r.right - r.left + dx, r.bottom - r.top + dy, SWP_NOZORDER)
                               : ::DeferWindowPos(positions, anchor.window, nullptr, r.left + dx, r.top + dy, 0, 0,
                                                  SWP_NOZORDER | SWP_NOSIZE);
  }
  if (positions && run.grip) {
    RECT grip{};
    ::GetWindowRect(run.grip, &grip);
    positions = ::DeferWindowPos(positions, run.grip, nullptr, client.right - (grip.right - grip.left),
                                 client.bottom - (grip.bottom - grip.top), 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  }
  if (positions) ::EndDeferWindowPos(positions);
  ::InvalidateRect(dialog, nullptr, TRUE);
}

// The control as the container made it; null when it could not.
ObjectPtr ControlOf(HWND dialog, int id) {
  ComPtr<IUnknown> unknown;
  HWND host = ::GetDlgItem(dialog, id);
  if (!host || FAILED(Container()(host, unknown.Put())) || !unknown) return nullptr;
  ComPtr<IDispatch> dispatch;
  if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Put())))) return nullptr;
  return WrapDispatch(dispatch.Get(), Guid{});
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, l);
    auto& run = *reinterpret_cast<Running*>(l);
    run.control = ControlOf(dialog, run.logic.ControlId());
    if (!run.control) {
      run.noControl = true;
      ::EndDialog(dialog, IDCANCEL);  // never shown
      return TRUE;
    }
    CenterOnOwner(dialog);
    InitResizing(dialog, run);
    run.logic.OnInitDialog(run.control);
    return TRUE;
  }
  auto* run = reinterpret_cast<Running*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (!run) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(w) != BN_CLICKED) return FALSE;
      if (LOWORD(w) == IDOK) {
        run->logic.OnOK(run->control);
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(w) == IDCANCEL) {
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      // Enter on a focused button inside the control ("Alle", "Keine"):
      // the dialog manager tells the dialog; the button's own window wants it.
      if (const auto button = reinterpret_cast<HWND>(l); button && ::IsChild(dialog, button) &&
                                                          ::GetParent(button) != dialog) {
        ::SendMessageW(::GetParent(button), WM_COMMAND, w, l);
        return TRUE;
      }
      return FALSE;
    case WM_SIZE:
      if (w != SIZE_MINIMIZED && !run->anchors.empty()) Layout(dialog, *run, w);
      return FALSE;
    case WM_GETMINMAXINFO: {
      auto& info = *reinterpret_cast<MINMAXINFO*>(l);
      if (run->minimum.cx > 0) info.ptMinTrackSize = {run->minimum.cx, run->minimum.cy};
      return TRUE;
    }
    case WM_DESTROY:
      if (!run->noControl) run->logic.OnDestroy();
      run->control.reset();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int WinDialogHost::DoModal(IDialogLogic& dialog, WindowHandle owner) {
  if (!Container()) return DialogResult::NoControl;
  Running run{dialog};
  const INT_PTR result =
      ::DialogBoxParamW(Module::Instance(), MAKEINTRESOURCEW(dialog.ResourceId()), reinterpret_cast<HWND>(owner),
                        &DialogProc, reinterpret_cast<LPARAM>(&run));
  if (result == -1 || run.noControl) return DialogResult::NoControl;
  return result == IDOK ? DialogResult::Ok : DialogResult::Cancel;
}

}  // namespace CV::Win
