#include "win/platform/wait_dialog.h"

#include <commctrl.h>

#include <atomic>
#include <mutex>
#include <string>

namespace CV::Win {

struct CWaitDialog::State {
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> cancelled{false};
  std::atomic<bool> adopted{false};  // the window holds its reference
  std::atomic<HWND> anchor{nullptr};
  std::mutex titleLock;
  std::wstring title;

  std::wstring Title() {
    std::lock_guard lock(titleLock);
    return title;
  }
};

namespace {

using State = CWaitDialog::State;

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

constexpr UINT_PTR kFrontTimer = 1;
constexpr UINT kFrontMilliseconds = 250;

// Over the owner, or the window it was placed near, kept on that window's
// screen; without either the template's DS_CENTER has centred it on the
// screen.
void CentreOverOwner(HWND dialog, HWND anchor) {
  HWND owner = ::GetWindow(dialog, GW_OWNER);
  if (!owner) owner = anchor && ::IsWindow(anchor) ? anchor : nullptr;
  if (!owner) return;
  RECT self{}, over{};
  if (!::GetWindowRect(dialog, &self) || !::GetWindowRect(owner, &over)) return;
  const LONG width = self.right - self.left, height = self.bottom - self.top;
  LONG x = over.left + (over.right - over.left - width) / 2;
  LONG y = over.top + (over.bottom - over.top - height) / 2;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
  }
  ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Brought back over the window it stands near when that window came to the
// front (the user clicked Outlook): without an owner nothing else keeps it
// there.
void KeepInFront(HWND dialog, HWND anchor) {
  if (!anchor || ::GetForegroundWindow() != anchor) return;
  for (HWND below = ::GetWindow(dialog, GW_HWNDNEXT); below; below = ::GetWindow(below, GW_HWNDNEXT))
    if (below == anchor) return;  // already in front of it
  ::SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* holder = reinterpret_cast<std::shared_ptr<State>*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      holder = reinterpret_cast<std::shared_ptr<State>*>(lParam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      State& state = **holder;
      state.adopted = true;
      state.window = dialog;
      state.cancelled = false;
      ::SetDlgItemTextW(dialog, CWaitDialog::kTitleId, state.Title().c_str());
      CentreOverOwner(dialog, state.anchor);
      if (state.anchor) ::SetTimer(dialog, kFrontTimer, kFrontMilliseconds, nullptr);
      return TRUE;
    }
    case WM_TIMER:
      if (wParam != kFrontTimer || !holder) return FALSE;
      KeepInFront(dialog, (*holder)->anchor);
      return TRUE;
    case WM_SYSCOMMAND:
      // The user's close is "Abbrechen": the window stays until the job
      // closes it, as after the button.
      if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
      if (holder) (*holder)->cancelled = true;
      return TRUE;
    case WM_CLOSE:
      if (holder) (*holder)->window = nullptr;
      ::DestroyWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      // The button, and Escape: the job sees the flag at its next report;
      // the window stays until the job closes it.
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      if (holder) (*holder)->cancelled = true;
      ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_NCDESTROY:
      if (holder) {
        (*holder)->window = nullptr;
        ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
        delete holder;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

CWaitDialog::CWaitDialog(HINSTANCE module, int templateId)
    : m_module(module), m_templateId(templateId), m_state(std::make_shared<State>()) {}

// Never waits: a window that is left is closed by its own thread.
CWaitDialog::~CWaitDialog() {
  if (HWND window = m_state->window.load()) ::PostMessageW(window, WM_CLOSE, 0, 0);
}

bool CWaitDialog::Progress(std::uint64_t, std::uint64_t, int percent) {
  if (m_state->cancelled) return false;
  if (HWND window = m_state->window.load()) ::SendDlgItemMessageW(window, kBarId, PBM_SETPOS, percent, 0);
  return true;
}

void CWaitDialog::SetText(const std::u16string& text) {
  if (HWND window = m_state->window.load()) ::SetDlgItemTextW(window, kTextId, Wide(text).c_str());
}

void CWaitDialog::SetTitle(const std::u16string& title) {
  {
    std::lock_guard lock(m_state->titleLock);
    m_state->title = Wide(title);
  }
  if (HWND window = m_state->window.load()) ::SetDlgItemTextW(window, kTitleId, Wide(title).c_str());
}

void CWaitDialog::Create(WindowHandle owner) {
  // The common controls are loaded at the first dialog, not with the add-in:
  // Outlook times the add-in's load.
  static const bool commonControls = [] {
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    HMODULE controls = ::LoadLibraryW(L"comctl32.dll");
    const auto init = controls ? reinterpret_cast<Init>(reinterpret_cast<void*>(
                                     ::GetProcAddress(controls, "InitCommonControlsEx")))
                               : nullptr;
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
    return init && init(&classes);
  }();
  (void)commonControls;  // without the class the dialog is not created, which Exists reports
  m_state->adopted = false;
  auto* holder = new std::shared_ptr<State>(m_state);
  ::CreateDialogParamW(m_module, MAKEINTRESOURCEW(m_templateId), reinterpret_cast<HWND>(owner), DialogProc,
                       reinterpret_cast<LPARAM>(holder));
  if (!m_state->adopted) delete holder;  // refused before the window took it
}

bool CWaitDialog::Exists() const { return m_state->window.load() != nullptr; }

HWND CWaitDialog::Window() const { return m_state->window.load(); }

void CWaitDialog::PlaceNear(HWND window) { m_state->anchor = window; }

void CWaitDialog::Show() {
  if (HWND window = m_state->window.load()) ::ShowWindow(window, SW_SHOW);
}

void CWaitDialog::PressCancel() {
  if (HWND window = m_state->window.load()) ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void CWaitDialog::Close() {
  if (HWND window = m_state->window.load()) ::SendMessageW(window, WM_CLOSE, 0, 0);
}

}  // namespace CV::Win
