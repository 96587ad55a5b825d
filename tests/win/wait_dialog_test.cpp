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

#include "win/wait_dialog.h"

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
