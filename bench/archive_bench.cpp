// Collecting into the archive list on the simulated Outlook.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>

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

// Mails made when asked for and released after, with EntryIDs as long as a
// data file's (24 bytes, 48 hex digits): only the archive list keeps them.
class PlainMails final : public Sim::ISimItemSource {
 public:
  explicit PlainMails(std::size_t count) : m_count(count) {}
  std::size_t Count() const override { return m_count; }
  std::shared_ptr<Sim::SimItem> Make(std::size_t i, const std::shared_ptr<Sim::SimFolder>& folder) override {
    auto item = std::make_shared<Sim::SimItem>(folder->WorldPtr(), Sim::ItemKind::Mail, IdOf(i), u"Betreff");
    item->Build(folder);
    return item;
  }
  std::optional<std::size_t> Find(std::u16string_view) const override { return std::nullopt; }

 private:
  static std::u16string IdOf(std::size_t i) {
    std::u16string id(u"00000000A1B2C3D4E5F60718293A4B5C0700000000000000");
    for (std::size_t at = id.size(); i != 0; i /= 16) id[--at] = u"0123456789ABCDEF"[i % 16];
    return id;
  }
  std::size_t m_count;
};

// The archive list alone at a million mails: the time to collect them and
// the heap the list holds for each.
void ArchiveListOfAMillion(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  Sim::SimOutlook outlook;
  auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
  inbox->SetItemSource(std::make_shared<PlainMails>(count));
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  for (auto _ : state) {
    malloc_trim(0);
    const std::size_t before = mallinfo2().uordblks;
    const auto start = std::chrono::steady_clock::now();
    CArchiveList list(table);
    int inaccessible = 0;
    list.AddFolder(Outlook::Folder(inbox), inaccessible, nullptr);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    state.counters["collected"] = static_cast<double>(list.GetTotalMailCount());
    state.counters["bytes_per_mail"] = static_cast<double>(mallinfo2().uordblks - before) / static_cast<double>(count);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ArchiveListOfAMillion)->Arg(1000000)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace CV
