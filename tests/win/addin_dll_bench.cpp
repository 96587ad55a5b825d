// How long Outlook waits for the add-in DLL, measured under Wine through
// real COM: loading it by CreateInstance, OnConnection, GetCustomUI, OnLoad,
// every callback by name (GetIDsOfNames and Invoke), and the release. Outlook
// disables an add-in whose load or calls take longer than a second.
//   cmake/wine-run win64 build/win64/tests/addin_dll_bench.exe
// (the DLL must be registered: the addin_dll_tests register it.)
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "addin/callback_table.h"
#include "sim/outlook/sim_outlook.h"
#include "win/addin_host.h"
#include "win/com/com_support.h"

namespace Host = CV::Host;
namespace Sim = CV::Sim;
namespace Outlook = CV::Outlook;
namespace Win = CV::Win;
using CV::Variant;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <class F>
double Time(F&& f) {
  const auto start = Clock::now();
  f();
  return Ms(Clock::now() - start);
}

// The median of n runs, in milliseconds.
template <class F>
double Median(int n, F&& f) {
  std::vector<double> runs;
  for (int i = 0; i < n; ++i) runs.push_back(Time(f));
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace

int main() {
  Host::Sta sta;
  if (sta.Result() < 0 || Host::RegisterOutlookInterfaces() < 0) return 1;
  if (Host::Regsvr32(L"") != 0) {
    std::puts("regsvr32 failed");
    return 1;
  }
  Sim::SimOutlook outlook;
  auto inbox = outlook.AddStore(u"Postfach")->DefaultFolder(Outlook::olFolderInbox);
  inbox->AddMails(100);
  outlook.OpenExplorer(inbox);
  Win::ComPtr<IDispatch> app = Win::ComPtr<IDispatch>::Attach(Win::ExposeObject(outlook.Application()));

  Win::ComPtr<_IDTExtensibility2> addin;
  const double load = Time([&] { Host::CreateAddin(addin); });
  if (!addin) return 1;
  const double connect = Time([&] { addin->OnConnection(app.Get(), ext_cm_Startup, nullptr, nullptr); });
  auto ribbonExtensibility = addin.Query<IRibbonExtensibility>(__uuidof(IRibbonExtensibility));
  const BSTR explorer = ::SysAllocString(L"Microsoft.Outlook.Explorer");
  const double customUi = Time([&] {
    BSTR xml = nullptr;
    ribbonExtensibility->GetCustomUI(explorer, &xml);
    ::SysFreeString(xml);
  });
  auto callbacks = addin.Query<IDispatch>(IID_IDispatch);
  Win::ComPtr<IDispatch> ribbon = Win::ComPtr<IDispatch>::Attach(Win::ExposeObject(outlook.NewRibbonUI()));
  const double onLoad = Time([&] {
    Host::InvokeByName(callbacks.Get(), L"OnLoad", {Variant::FromObject(Win::WrapDispatch(ribbon.Get(), CV::Guid{}))});
  });
  std::printf("%-34s %9.3f ms\n", "load (CreateInstance, first)", load);
  std::printf("%-34s %9.3f ms\n", "OnConnection", connect);
  std::printf("%-34s %9.3f ms\n", "GetCustomUI (explorer)", customUi);
  std::printf("%-34s %9.3f ms\n", "OnLoad", onLoad);
  std::printf("%-34s %9.3f ms\n", "load total", load + connect + customUi + onLoad);

  const Variant control = Variant::FromObject(outlook.NewRibbonControl(u"AddFolderCmd__btn", nullptr));
  const char* const quiet[] = {"GetMailCount", "GetFolderCount", "GetAddMailsEnabled", "GetAddFolderEnabled",
                               "GetAddFoldersEnabled", "GetResetSelectionEnabled", "GetStartARCCreationEnabled",
                               "GetRefineSelectionEnabled", "GetVersionString", "GetCopyrightString"};
  std::printf("each callback by name (median of 200, GetIDsOfNames + Invoke):\n");
  for (const char* name : quiet) {
    const std::wstring wide(name, name + std::strlen(name));
    const double ms = Median(200, [&] { Host::InvokeByName(callbacks.Get(), wide.c_str(), {control}); });
    std::printf("  %-32s %9.4f ms\n", name, ms);
  }
  const Variant picture = Variant::FromBstr(u"PNG/addmails_%DPI%.png");
  std::printf("  %-32s %9.4f ms\n", "LoadPicture",
              Median(50, [&] {
                try {
                  Host::InvokeByName(callbacks.Get(), L"LoadPicture", {picture});
                } catch (...) {
                  // no decoder on this build: E_FAIL, timed all the same
                }
              }));
  const Variant onFolder = Variant::FromObject(outlook.NewRibbonControl(u"AddFolderCmd__btn", inbox));
  std::printf("  %-32s %9.4f ms  (starts the job; it runs on)\n", "AddFolder",
              Time([&] { Host::InvokeByName(callbacks.Get(), L"AddFolder", {onFolder}); }));
  Host::PumpUntil([&] { return Host::InvokeByName(callbacks.Get(), L"GetMailCount", {control}).AsText() == u"  100"; },
                  std::chrono::seconds(30));

  callbacks.Reset();
  ribbonExtensibility.Reset();
  addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
  std::printf("%-34s %9.3f ms\n", "release (idle)", Time([&] { addin.Reset(); }));

  // Release while a long job runs: the runner asks it to stop and serves
  // its calls until it has.
  inbox->AddMails(20000);
  std::printf("%-34s %9.3f ms\n", "load (CreateInstance, again)", Time([&] { Host::CreateAddin(addin); }));
  addin->OnConnection(app.Get(), ext_cm_Startup, nullptr, nullptr);
  callbacks = addin.Query<IDispatch>(IID_IDispatch);
  Host::InvokeByName(callbacks.Get(), L"AddFolder", {onFolder});
  Host::PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  callbacks.Reset();
  addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
  std::printf("%-34s %9.3f ms\n", "release (job running)", Time([&] { addin.Reset(); }));
  ::SysFreeString(explorer);
  return 0;
}
