// The fault sweep: a recursive folder job runs once to count the simulated
// Outlook's calls, then again with call N failing, for every N and a table of
// HRESULTs. Every run must end cleanly: the job finished and deleted, the
// dialog closed, the ribbon registrations revoked, no lock held, the counters
// equal to what the maps hold, the exclusion set empty, and nothing of the
// simulated Outlook alive afterwards.
#include <gtest/gtest.h>

#include <thread>

#include "archive/collecting_jobs.h"
#include "archive/job_runner.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"
#include "support/fake_ui.h"

namespace CV {
namespace {

using namespace std::chrono_literals;
using namespace CV::Outlook;

struct RunResult {
  std::uint64_t calls = 0;
  std::size_t messages = 0;
};

void BuildTree(Sim::SimOutlook& outlook, std::shared_ptr<Sim::SimFolder>& top) {
  auto store = outlook.AddStore(u"S");
  top = store->DefaultFolder(olFolderInbox)->AddFolder(u"Top");
  top->AddMails(3);
  top->AddItems(Sim::ItemKind::MeetingRequest, 1);
  auto a = top->AddFolder(u"A");
  a->AddMails(2);
  a->AddFolder(u"A1")->AddMails(2);
  top->AddFolder(u"Cal", olAppointmentItem)->AddFolder(u"C1")->AddMails(1);
  top->AddFolder(u"Leer");
}

enum class Scenario { FolderTree, ConversationSelection };

RunResult RunOnce(Scenario scenario, std::uint64_t failCall, HRESULT hr) {
  RunResult result;
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  std::shared_ptr<Fake::RecordingUserInterface> ui = std::make_shared<Fake::RecordingUserInterface>();
  std::weak_ptr<Sim::SimWorld> world;
  {
    Sim::SimOutlook outlook;
    world = outlook.World();
    std::shared_ptr<Sim::SimFolder> top;
    BuildTree(outlook, top);
    ObjectPtr source = top;
    if (scenario == Scenario::ConversationSelection) {
      auto explorer = outlook.OpenExplorer(top);
      auto mails = top->ItemList();
      mails[1]->FailAlways("SenderEmailAddress", E_ACCESSDENIED);  // one inaccessible mail
      explorer->SelectConversations({{mails[0], mails[1]}, {mails[2], mails[3]}});
      source = explorer->SelectionObject();
    }
    auto ribbon = outlook.NewRibbonUI();
    auto list = std::make_shared<CArchiveList>(table);
    EXPECT_EQ(list->SetApplication(outlook.Application()), S_OK);
    list->SetExcludedFolders({u"\\\\S\\Posteingang\\Top\\A"});
    if (failCall) outlook.World()->FailNthCall(failCall, hr);

    CCollectingJob* job = nullptr;
    if (scenario == Scenario::FolderTree) job = new CAddFoldersRecursiveJob({table, ui});
    else job = new CAddSelectedMailsJob({table, ui});
    EXPECT_TRUE(job->Init(source, list, ribbon));
    CJobRunner runner;
    EXPECT_EQ(runner.Start(job, -1), S_OK);
    for (int i = 0; i < 2000 && runner.WorkerAlive(); ++i) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(runner.WorkerAlive());

    EXPECT_TRUE(list->MapLockIsFree());
    if (scenario == Scenario::FolderTree) {
      EXPECT_TRUE(list->ExcludedFolders().empty());
    }
    std::vector<std::u16string> paths;
    list->GetFolderPaths(paths, true);
    int total = 0;
    for (const auto& p : paths) total += std::stoi(ToUtf8(p.substr(p.rfind(u'%') + 1)));
    EXPECT_EQ(list->GetTotalMailCount(), total);
    EXPECT_EQ(list->GetFolderCount(), static_cast<int>(paths.size()));
    EXPECT_LE(list->GetSelectedMailCount(), total);
    EXPECT_TRUE(ui->Dialog(0)->closed);
    EXPECT_EQ(table->RegisteredCount(), 1u);  // only the application: the job's cookies are revoked
    result.messages = ui->MessagesShown().size();
    EXPECT_LE(result.messages, 1u);
    result.calls = outlook.World()->TotalCalls();
    EXPECT_EQ(list->SetApplication(nullptr), S_OK);
  }
  EXPECT_TRUE(world.expired());  // nothing of the simulated Outlook is left alive
  return result;
}

void Sweep(Scenario scenario, std::size_t cleanMessages) {
  const RunResult clean = RunOnce(scenario, 0, S_OK);
  ASSERT_GT(clean.calls, 10u);
  EXPECT_EQ(clean.messages, cleanMessages);
  for (const HRESULT hr : {E_ACCESSDENIED, RPC_E_DISCONNECTED, E_OUTOFMEMORY}) {
    for (std::uint64_t n = 1; n <= clean.calls; ++n) {
      SCOPED_TRACE(testing::Message() << "call " << n << " fails with 0x" << std::hex << hr);
      RunOnce(scenario, n, hr);
    }
  }
}

TEST(FaultSweep, RecursiveFolderJobEndsCleanlyWhereverOutlookFails) { Sweep(Scenario::FolderTree, 0); }

TEST(FaultSweep, SelectedMailsJobEndsCleanlyWhereverOutlookFails) {
  Sweep(Scenario::ConversationSelection, 1);
}

}  // namespace
}  // namespace CV
