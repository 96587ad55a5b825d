// How long releasing the add-in takes while a job runs. Outlook disables an
// add-in whose shutdown takes over a second; the runner's bounds (the grace
// and the unwind bound) keep every case well under it. The simulated
// Outlook lives in this thread's single-threaded apartment, as in Outlook.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "addin/connect.h"
#include "archive/job_runner.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"
#include "sim/sim_picture.h"
#include "sim/sim_settings.h"
#include "sim/host/sim_host.h"
#include "support/fake_ui.h"

namespace CV {
namespace {

using Clock = std::chrono::steady_clock;

// A job that never looks at its cancel: it calls Outlook in a loop, or
// computes without calling anything.
class DeafJob final : public Job::IJob {
 public:
  DeafJob(ObjectPtr folder, bool callsOutlook) : m_folder(std::move(folder)), m_callsOutlook(callsOutlook) {}
  HRESULT Run() override {
    for (;;) {
      if (m_callsOutlook) GetProperty(m_folder, u"Name");  // E_ABORT once abandoned
      else if (m_stop.load()) return S_OK;
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  bool Cancel() override { return false; }
  void Finish() override { delete this; }
  static inline std::atomic<bool> m_stop{false};

 private:
  ObjectPtr m_folder;
  bool m_callsOutlook;
};

// The add-in released while "Ordner hinzufügen" collects a large folder: the
// job sees the cancel at its next progress report, which this thread serves.
void ReleaseWhileCollecting(benchmark::State& state) {
  for (auto _ : state) {
    auto apartment = std::make_shared<Sim::SimApartment>();
    Sim::SimOutlook outlook;
    outlook.World()->SetApartment(apartment);
    auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
    inbox->AddMails(20000);
    auto ui = std::make_shared<Fake::RecordingUserInterface>();
    ui->apartment = apartment;
    Sim::SimHost host;
    host.ui = ui, host.apartment = apartment, host.user = nullptr, host.mailExport = Office::MailExportPorts{};
    auto connect = std::make_shared<CConnect>(host.Ports());
    connect->OnConnection(outlook.Application(), 0, nullptr);
    connect->OnLoad(outlook.NewRibbonUI());
    connect->Invoke(u"AddFolder", InvokeKind::Method, {Variant::FromObject(outlook.NewRibbonControl(u"x", inbox))});
    apartment->WaitUntil([&] { return connect->ArchiveList().GetTotalMailCount() > 0 || ui->Dialog(0)->percents.size() > 100; },
                         std::chrono::seconds(10));
    const auto start = Clock::now();
    connect.reset();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}
BENCHMARK(ReleaseWhileCollecting)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// A job that ignores its cancel: abandoned after the grace, it unwinds at
// its next Outlook call, or is left to unwind on its own after the bound.
void StopADeafJob(benchmark::State& state) {
  const bool callsOutlook = state.range(0) != 0;
  for (auto _ : state) {
    auto apartment = std::make_shared<Sim::SimApartment>();
    Sim::SimOutlook outlook;
    outlook.World()->SetApartment(apartment);
    auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
    DeafJob::m_stop = false;
    auto runner = std::make_unique<CJobRunner>(ProcessLifetime(DefaultThreadHooks()), apartment);
    runner->Start(new DeafJob(inbox, callsOutlook), -1);
    apartment->WaitUntil([] { return false; }, std::chrono::milliseconds(20));
    const auto start = Clock::now();
    runner.reset();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    DeafJob::m_stop = true;  // let a worker left to itself end
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
BENCHMARK(StopADeafJob)->Arg(1)->Arg(0)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace CV
