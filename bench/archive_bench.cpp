// Collecting into the archive list on the simulated Outlook.
#include <benchmark/benchmark.h>

#include "archive/archive_list.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"

namespace CV {
namespace {

// One folder of n mails added to an empty list (per-item Outlook calls,
// progress steps, the map lock held throughout).
void AddFolderOfMails(benchmark::State& state) {
  Sim::SimOutlook outlook;
  auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
  inbox->AddMails(static_cast<int>(state.range(0)));
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  for (auto _ : state) {
    CArchiveList list(table);
    int inaccessible = 0;
    list.AddFolder(Outlook::Folder(inbox), inaccessible, nullptr);
    benchmark::DoNotOptimize(list.GetTotalMailCount());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(AddFolderOfMails)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

// The ribbon's counters while the list holds many folders.
void ReadCounters(benchmark::State& state) {
  Sim::SimOutlook outlook;
  auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  CArchiveList list(table);
  for (int f = 0; f < 200; ++f) {
    auto folder = inbox->AddFolder(u"F" + std::u16string(1, char16_t(u'A' + f % 26)) + std::u16string(f / 26 + 1, u'x'));
    folder->AddMails(50);
    int inaccessible = 0;
    list.AddFolder(Outlook::Folder(folder), inaccessible, nullptr);
  }
  for (auto _ : state) benchmark::DoNotOptimize(list.GetSelectedMailCount() + list.GetFolderCount());
}
BENCHMARK(ReadCounters);

// UpdateCounts walks every map: its cost grows with the list.
void UpdateCounts(benchmark::State& state) {
  Sim::SimOutlook outlook;
  auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
  inbox->AddMails(static_cast<int>(state.range(0)));
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  CArchiveList list(table);
  int inaccessible = 0;
  list.AddFolder(Outlook::Folder(inbox), inaccessible, nullptr);
  for (auto _ : state) list.UpdateCounts();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(UpdateCounts)->Arg(20000);

}  // namespace
}  // namespace CV
