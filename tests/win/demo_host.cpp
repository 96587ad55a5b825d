// The add-in's whole job on Windows, as Office and Outlook would run it:
// both DLLs registered (for the user, and for the machine as Wine needs),
// the store of a snapshot
// (cvmail snapshot) played by the simulated Outlook, "Ordner rekursiv
// hinzufügen" on the store's root and "Archiv erstellen" pressed by name.
// The container goes into OUTDIR (TargetFolder), the writer's progress
// window is kept as a screenshot, its outcome message is read and closed.
//
//   demo_host.exe SNAPSHOT OUTDIR [--bench]      (Windows paths, ASCII)
//
// With --bench it prints the mails per second of the archive creation and
// the longest stretch in which this (the UI) thread did not get back to
// its message loop.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "snapshot/store_snapshot.h"
#include "win/addin_host.h"
#include "win/com/com_support.h"
#include "win/com/exposed_object.h"

namespace CV {
namespace {

using Clock = std::chrono::steady_clock;

std::chrono::microseconds g_longestStretch{0};
std::chrono::microseconds g_longestBurst{0};
wchar_t g_longestWhat[128] = L"";

std::chrono::microseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
}

// Serves messages until done() or the bound. The stretch is the longest
// time one message kept the thread from its loop, where the user's input
// would be taken; the burst the longest run of messages that came one after
// the other (a worker's calls, each sent as soon as the last returned).
// done() looks for windows, which costs Wine a round trip per window: it is
// asked every 20 ms, not after every message, as no host asks on every call.
bool Serve(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto end = Clock::now() + bound;
  auto asked = Clock::now();
  for (bool first = true;; first = false) {
    if (first || Clock::now() - asked >= std::chrono::milliseconds(20)) {
      if (done()) break;
      asked = Clock::now();
    }
    if (Clock::now() >= end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    const auto burst = Clock::now();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const auto start = Clock::now();
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
      if (Since(start) > g_longestStretch) {
        g_longestStretch = Since(start);
        wchar_t name[64] = L"";
        if (msg.hwnd) ::GetClassNameW(msg.hwnd, name, 64);
        std::swprintf(g_longestWhat, 128, L"message 0x%04X to %ls", msg.message, name);
      }
    }
    g_longestBurst = std::max(g_longestBurst, Since(burst));
  }
  return true;
}

HWND Dialog(const std::function<bool(HWND)>& accept) { return Host::FindDialog(accept); }
HWND Titled(const std::wstring& title) { return Host::FindMessageBox(title); }
HWND ProgressWindow() {
  return Dialog([](HWND w) { return ::GetDlgItem(w, 207) && ::GetDlgItem(w, 204); });
}

int Fail(const char* what) {
  std::fprintf(stderr, "demo_host: %s\n", what);
  return 1;
}

std::wstring Wide(const char* text) {
  std::wstring out;
  for (const char* c = text; *c; ++c) out += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return out;
}

}  // namespace

// The calls the host's objects served while the archive was made, per mail
// and by member, the most first: name lookups count as calls of their own.
void PrintServedCalls(const std::map<std::string, Win::ExposedObject::Served>& served, int mails) {
  std::vector<std::pair<std::uint64_t, std::string>> members;
  std::uint64_t total = 0;
  std::chrono::microseconds busy{0};
  for (const auto& [member, counted] : served) {
    members.emplace_back(counted.calls, member);
    total += counted.calls;
    busy += counted.total;
  }
  std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  const double per = mails > 0 ? 1.0 / mails : 0.0;
  std::printf("bench: %llu calls served by the host = %.2f per mail, %.1f ms per mail inside them\n",
              static_cast<unsigned long long>(total), static_cast<double>(total) * per, busy.count() / 1000.0 * per);
  for (const auto& [calls, member] : members)
    std::printf("bench:   %-24s %8llu %7.2f  longest %.1f ms, %.2f ms per mail\n", member.c_str(),
                static_cast<unsigned long long>(calls), static_cast<double>(calls) * per,
                served.at(member).longest.count() / 1000.0, served.at(member).total.count() / 1000.0 * per);
}

int RunDemo(int argc, char** argv) {
  if (argc < 3) return Fail("usage: demo_host.exe SNAPSHOT OUTDIR [--bench]");
  const bool bench = argc > 3 && std::string(argv[3]) == "--bench";
  const std::wstring outdir = Wide(argv[2]);
  std::wstring components = L"Z:";
  for (const char* c = CV_COMPONENTS_DLL; *c; ++c) components += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  Host::Sta sta;
  if (FAILED(sta.Result())) return Fail("no apartment");
  if (FAILED(Host::RegisterOutlookInterfaces())) return Fail("the Outlook interfaces cannot be registered");
  // For the user first, as a user without administrator rights installs
  // them; Wine's COM looks up classes in the machine's registry only, so
  // the private prefix gets the machine's registration too.
  for (const std::wstring& dll : {Host::AddinDll(), components}) {
    if (Host::Run(L"regsvr32.exe /s /n /i:user \"" + dll + L"\"") != 0) return Fail("regsvr32 /n /i:user failed");
    if (Host::Run(L"regsvr32.exe /s \"" + dll + L"\"") != 0) return Fail("regsvr32 failed");
  }
  ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Corvanworks\\Corvane\\CVMailExport", L"TargetFolder", REG_SZ,
                    outdir.c_str(), static_cast<DWORD>((outdir.size() + 1) * sizeof(wchar_t)));

  Sim::SimOutlook outlook;
  std::shared_ptr<Sim::SimStore> store;
  {
    std::ifstream in(std::filesystem::path(Wide(argv[1])), std::ios::binary);
    if (!in) return Fail("the snapshot cannot be read");
    std::stringstream document;
    document << in.rdbuf();
    store = Snapshot::Load(outlook, document.str());
  }
  Win::ComPtr<_IDTExtensibility2> addin;
  if (const HRESULT hr = Host::CreateAddin(addin); FAILED(hr)) {
    std::fprintf(stderr, "demo_host: 0x%08lX\n", static_cast<unsigned long>(hr));
    return Fail("the add-in cannot be created");
  }
  auto app = Win::ComPtr<IDispatch>::Attach(Win::ExposeObject(outlook.Application()));
  if (FAILED(addin->OnConnection(app.Get(), ext_cm_Startup, nullptr, nullptr))) return Fail("OnConnection failed");
  const auto callbacks = addin.Query<IDispatch>(IID_IDispatch);
  const auto ribbon = outlook.NewRibbonUI();
  auto ribbonDispatch = Win::ComPtr<IDispatch>::Attach(Win::ExposeObject(ribbon));
  Host::InvokeByName(callbacks.Get(), L"OnLoad", {Variant::FromObject(Win::WrapDispatch(ribbonDispatch.Get(), Guid{}))});
  const auto control = [&](const ObjectPtr& context) {
    return Variant::FromObject(outlook.NewRibbonControl(u"AddFolderCmd__btn", context));
  };
  const auto label = [&](const wchar_t* callback) {
    return ToUtf8(Host::InvokeByName(callbacks.Get(), callback, {control(nullptr)}).AsText());
  };

  // "Ordner rekursiv hinzufügen" on the store's root; the add-in's messages are answered.
  outlook.OpenExplorer(store->Root());
  const auto before = ribbon->Invalidations();
  for (int i = 0; i < 60 && ribbon->Invalidations() == before; ++i) {
    Host::InvokeByName(callbacks.Get(), L"AddFolders", {control(store->Root())});
    Serve([&] { return ribbon->Invalidations() != before; }, std::chrono::milliseconds(500));
  }
  Serve([&] {
    if (HWND box = Titled(L"Corvane E-Mail Archiv f\u00fcr Microsoft Outlook")) ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return ribbon->Invalidations() >= before + 2 && !ProgressWindow();
  }, std::chrono::minutes(10));
  std::printf("Ordner rekursiv hinzuf\u00fcgen: E-Mails %s, Ordner %s\n", label(L"GetMailCount").c_str(),
              label(L"GetFolderCount").c_str());
  const int mails = std::stoi(label(L"GetMailCount"));

  // "Archiv erstellen" until the writer has begun, then to its outcome.
  g_longestStretch = g_longestBurst = {};
  Win::ExposedObject::ResetServedCalls();
  const auto started = Clock::now();
  bool screenshot = false;
  const auto outcomeBox = [] { return Titled(L"Corvane Mail-Export"); };
  for (int i = 0; i < 60 && !ProgressWindow() && !outcomeBox(); ++i) {
    Host::InvokeByName(callbacks.Get(), L"StartARCCreation", {control(nullptr)});
    Serve([&] { return ProgressWindow() || outcomeBox(); }, std::chrono::milliseconds(500));
  }
  HWND box = nullptr;
  Serve([&] {
    if (HWND progress = ProgressWindow(); progress && !screenshot &&
        ::SendDlgItemMessageW(progress, 204, PBM_GETPOS, 0, 0) > 0) {
      screenshot = Host::SaveScreenshot(progress, L"Fortschritt-windows");
    }
    return (box = outcomeBox()) != nullptr;
  }, std::chrono::minutes(30));
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  const auto served = Win::ExposedObject::ServedCalls();
  if (!box) return Fail("the writer told no outcome");
  std::wstring text = Host::StaticTexts(box);
  ::PostMessageW(box, WM_COMMAND, IDNO, 0);
  Serve([&] { return !::IsWindow(box); }, std::chrono::seconds(10));
  std::printf("Archiv erstellen: %s\n", ToUtf8(std::u16string(text.begin(), text.end())).c_str());
  if (bench)
    std::printf("bench: %d mails in %.2f s = %.0f mails/s; longest UI stretch without the message loop %.1f ms"
                " (%ls; longest burst of messages %.1f ms)\n",
                mails, seconds, mails / seconds, g_longestStretch.count() / 1000.0, g_longestWhat,
                g_longestBurst.count() / 1000.0);
  if (bench) PrintServedCalls(served, mails);

  addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
  return text.find(L"wurde erstellt") == std::wstring::npos ? 1 : 0;
}

}  // namespace CV

int main(int argc, char** argv) { return CV::RunDemo(argc, argv); }
