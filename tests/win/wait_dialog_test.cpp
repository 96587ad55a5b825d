// CWaitDialog on a real window under Wine: created hidden on the UI thread,
// shown, fed, cancelled and closed from a worker while the UI thread serves
// its messages, and dropped from a worker without waiting for it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "win/platform/wait_dialog.h"

namespace CV {
namespace {

using namespace std::chrono_literals;
using Win::CWaitDialog;

HINSTANCE ThisModule() { return ::GetModuleHandleW(nullptr); }

// Serves this thread's messages until done() or the bound.
bool Serve(const std::function<bool()>& done, std::chrono::milliseconds bound = 10s) {
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  return true;
}

// Runs work on a worker while this thread serves the window.
void OnWorker(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  EXPECT_TRUE(Serve([&] { return done.load(); })) << "the worker hangs";
  worker.join();
}

std::wstring Text(HWND dialog, int id) {
  wchar_t text[256] = {};
  ::GetDlgItemTextW(dialog, id, text, 256);
  return text;
}

TEST(CWaitDialog, HiddenAtCreationThenFedAndClosedFromTheWorker) {
  CWaitDialog dialog(ThisModule());
  dialog.SetTitle(u"Erfasse Mails");
  EXPECT_FALSE(dialog.Exists());
  dialog.Create(0);
  ASSERT_TRUE(dialog.Exists());
  HWND window = dialog.Window();
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(Text(window, CWaitDialog::kTitleId), L"Erfasse Mails");
  EXPECT_EQ(Text(window, IDCANCEL), L"Abbrechen");

  bool goOn = false;
  OnWorker([&] {
    dialog.Show();
    dialog.SetText(u"\\\\Postfach\\Posteingang");
    goOn = dialog.Progress(5, 10, 50);
    dialog.SetTitle(u"Erfasse Ordner");
  });
  EXPECT_TRUE(goOn);
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_EQ(Text(window, CWaitDialog::kTextId), L"\\\\Postfach\\Posteingang");
  EXPECT_EQ(::SendDlgItemMessageW(window, CWaitDialog::kBarId, PBM_GETPOS, 0, 0), 50);
  EXPECT_EQ(Text(window, CWaitDialog::kTitleId), L"Erfasse Ordner");

  OnWorker([&] { dialog.Close(); });
  EXPECT_FALSE(::IsWindow(window)) << "Close returns when the window is gone";
  EXPECT_FALSE(dialog.Exists());
  OnWorker([&] {
    dialog.SetText(u"nichts");  // without a window: nothing happens
    dialog.PressCancel();
    goOn = dialog.Progress(10, 10, 100);
  });
  EXPECT_TRUE(goOn) << "a cancel without window sets nothing";
}

TEST(CWaitDialog, CancelSetsTheFlagAndLeavesTheWindowUntilClose) {
  struct Case {
    const char* name;
    std::function<void(CWaitDialog&)> cancel;
  };
  const Case cases[] = {
      {"the button", [](CWaitDialog& d) { ::SendMessageW(::GetDlgItem(d.Window(), IDCANCEL), BM_CLICK, 0, 0); }},
      {"PressCancel from the worker", [](CWaitDialog& d) { OnWorker([&] { d.PressCancel(); }); }},
      // The user's close: the system menu, the task bar's "close window".
      {"SC_CLOSE", [](CWaitDialog& d) { ::SendMessageW(d.Window(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"Alt+F4",
       [](CWaitDialog& d) {
         ::SendMessageW(d.Window(), WM_SYSKEYDOWN, VK_F4, 0x20000001);  // bit 29: Alt is down
         Serve([] { return false; }, 100ms);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CWaitDialog dialog(ThisModule());
    dialog.Create(0);
    ASSERT_TRUE(dialog.Exists());
    EXPECT_TRUE(dialog.Progress(0, 10, 0));
    c.cancel(dialog);
    EXPECT_FALSE(dialog.Progress(1, 10, 10));
    EXPECT_TRUE(::IsWindow(dialog.Window())) << "cancel does not close";
    dialog.Close();
    // A new window starts without the old cancel.
    dialog.Create(0);
    EXPECT_TRUE(dialog.Progress(0, 10, 0));
    dialog.Close();
  }
}

// The program's own WM_CLOSE (the job ending) closes without cancelling.
TEST(CWaitDialog, TheProgramsCloseIsNoCancel) {
  CWaitDialog dialog(ThisModule());
  dialog.Create(0);
  HWND window = dialog.Window();
  ASSERT_NE(window, nullptr);
  ::SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_TRUE(dialog.Progress(1, 10, 10));
}

// The writer's window: its caption, over the window the user worked in and
// kept in front of it while that window is in front, without an owner.
// Its own ctest entry, run alone: the tests' processes share one Wine
// server, whose foreground window another test's dialog could take.
TEST(CWaitDialogForeground, TheWritersWindowStandsOverTheWindowItWasPlacedNear) {
  WNDCLASSW c{};
  c.lpfnWndProc = ::DefWindowProcW;
  c.hInstance = ThisModule();
  c.lpszClassName = L"CVTestOutlookWindow";
  ::RegisterClassW(&c);
  HWND outlook = ::CreateWindowExW(0, c.lpszClassName, L"Outlook", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 60, 500, 400,
                                   nullptr, nullptr, ThisModule(), nullptr);
  ASSERT_NE(outlook, nullptr);
  ::SetForegroundWindow(outlook);
  Serve([] { return false; }, 200ms);

  CWaitDialog dialog(ThisModule(), 210);
  dialog.PlaceNear(outlook);
  dialog.Create(0);
  HWND window = dialog.Window();
  ASSERT_NE(window, nullptr);
  dialog.Show();
  wchar_t caption[64] = {};
  ::GetWindowTextW(window, caption, 64);
  EXPECT_EQ(std::wstring(caption), L"Corvane Mail-Export");
  EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr);
  EXPECT_TRUE(::GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU) << "the user can close it";
  RECT self{}, over{};
  ::GetWindowRect(window, &self);
  ::GetWindowRect(outlook, &over);
  EXPECT_NEAR((self.left + self.right) / 2, (over.left + over.right) / 2, 1);
  EXPECT_NEAR((self.top + self.bottom) / 2, (over.top + over.bottom) / 2, 1);

  // The user clicks Outlook: it comes to the front, over the progress.
  const auto inFront = [&] {
    for (HWND below = ::GetWindow(window, GW_HWNDNEXT); below; below = ::GetWindow(below, GW_HWNDNEXT))
      if (below == outlook) return true;
    return false;
  };
  ::SetForegroundWindow(outlook);
  ::SetWindowPos(outlook, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ASSERT_FALSE(inFront()) << "Outlook did not come to the front";  // the timer needs this thread's loop
  // Under X the foreground follows the focus events: they come through the loop.
  ASSERT_TRUE(Serve([&] { return ::GetForegroundWindow() == outlook || (::SetForegroundWindow(outlook), false); }, 3s))
      << "Outlook's window did not become the foreground window";
  EXPECT_TRUE(Serve(inFront, 2s)) << "the progress stayed behind Outlook";
  EXPECT_EQ(::GetForegroundWindow(), outlook) << "brought forward without taking the focus";

  // Another window in front (another program's, here one of this test's):
  // the progress does not push itself before it.
  HWND other = ::CreateWindowExW(0, c.lpszClassName, L"Anderes Programm", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 80,
                                 500, 400, nullptr, nullptr, ThisModule(), nullptr);
  ::SetForegroundWindow(other);
  ::SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ASSERT_TRUE(Serve([&] { return ::GetForegroundWindow() == other || (::SetForegroundWindow(other), false); }, 3s));
  Serve([] { return false; }, 1s);
  bool behindOther = false;
  for (HWND below = ::GetWindow(other, GW_HWNDNEXT); below; below = ::GetWindow(below, GW_HWNDNEXT))
    behindOther = behindOther || below == window;
  EXPECT_TRUE(behindOther) << "the progress came before a window that is not Outlook's";
  ::DestroyWindow(other);
  dialog.Close();
  ::DestroyWindow(outlook);
}

TEST(CWaitDialog, DroppedOnAWorkerItNeverWaitsAndTheWindowClosesOnItsOwnThread) {
  auto dialog = std::make_unique<CWaitDialog>(ThisModule());
  dialog->Create(0);
  HWND window = dialog->Window();
  ASSERT_NE(window, nullptr);
  std::atomic<bool> dropped{false};
  std::thread worker([&] {
    dialog.reset();
    dropped = true;
  });
  // This thread does not serve its messages meanwhile: a drop that waited
  // for the window would not return.
  for (int i = 0; i < 200 && !dropped; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(dropped.load());
  Serve([&] { return dropped.load(); });  // frees a worker that did wait
  worker.join();
  EXPECT_TRUE(Serve([&] { return !::IsWindow(window); }, 5s)) << "the window outlived its dialog";
}

}  // namespace
}  // namespace CV
