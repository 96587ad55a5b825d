// Loading a generated mail store (scripts/generate-store) into the simulated
// Outlook, and walking it as "Ordner rekursiv hinzufügen" does. The store
// comes from CV_STORE; without it the benchmark reports itself skipped.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>

#include "archive/archive_list.h"
#include "mailstore/mail_store.h"
#include "sim/sim_interface_table.h"

namespace CV {
namespace {

using Clock = std::chrono::steady_clock;

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024;
}

void LoadAndCollect(benchmark::State& state) {
  const char* store = std::getenv("CV_STORE");
  if (!store) {
    state.SkipWithError("set CV_STORE to a store made by scripts/generate-store");
    return;
  }
  for (auto _ : state) {
    Sim::SimOutlook outlook;
    MailStore::LoadStatistics statistics;
    const auto start = Clock::now();
    auto loaded = MailStore::LoadStore(outlook, store, &statistics);
    const double loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double loadPeak = PeakMegabytes();
    CArchiveList list(std::make_shared<Sim::SimInterfaceTable>());
    int inaccessible = 0;
    const auto walk = Clock::now();
    list.AddFoldersRecursive(Outlook::Folder(loaded->Root()), inaccessible, nullptr);
    const double walkSeconds = std::chrono::duration<double>(Clock::now() - walk).count();
    state.SetIterationTime(loadSeconds);
    state.counters["messages"] = static_cast<double>(statistics.messages);
    state.counters["load_s"] = loadSeconds;
    state.counters["peak_MB_after_load"] = loadPeak;
    state.counters["collect_s"] = walkSeconds;
    state.counters["collected"] = list.GetTotalMailCount();
    state.counters["peak_MB"] = PeakMegabytes();
  }
}
BENCHMARK(LoadAndCollect)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace CV
