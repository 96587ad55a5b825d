// The frame of the collecting jobs, run on the job runner's worker.
#include "archive/collecting_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "archive/job_runner.h"
#include "foundation/com_error.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"
#include "support/fake_ui.h"

namespace CV {
namespace {

using namespace std::chrono_literals;
using namespace CV::Outlook;

using CollectFn = std::function<bool(const ObjectPtr&, CArchiveList&, int&, Progress::IAbsProgress*)>;

class TestCollectingJob final : public CCollectingJob {
 public:
  TestCollectingJob(JobPorts ports, CollectFn collect, std::atomic<int>* deleted)
      : CCollectingJob(ports, Iid::MapiFolder, u"Erfasse Ordner"), m_collect(std::move(collect)), m_deleted(deleted) {}
  ~TestCollectingJob() override { ++*m_deleted; }

 protected:
  bool Collect(const ObjectPtr& source, int& inaccessible, Progress::IAbsProgress* progress) override {
    return m_collect(source, List(), inaccessible, progress);
  }

 private:
  CollectFn m_collect;
  std::atomic<int>* m_deleted;
};

class CollectingJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store = outlook.AddStore(u"S");
    inbox = store->DefaultFolder(olFolderInbox);
    ribbon = outlook.NewRibbonUI();
  }
  void TearDown() override {
    EXPECT_EQ(table->RegisteredCount(), 0u) << "cookies left in the interface table";
    EXPECT_TRUE(list->MapLockIsFree());
  }
  TestCollectingJob* NewJob(CollectFn collect) { return new TestCollectingJob({table, ui}, std::move(collect), &deleted); }
  void RunToEnd(TestCollectingJob* job) {
    ASSERT_EQ(runner.Start(job, -1), S_OK);
    for (int i = 0; i < 2000 && runner.WorkerAlive(); ++i) std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(runner.WorkerAlive());
  }

  Sim::SimOutlook outlook;
  std::shared_ptr<Sim::SimStore> store;
  std::shared_ptr<Sim::SimFolder> inbox;
  std::shared_ptr<Sim::SimRibbonUI> ribbon;
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  std::shared_ptr<Fake::RecordingUserInterface> ui = std::make_shared<Fake::RecordingUserInterface>();
  std::shared_ptr<CArchiveList> list = std::make_shared<CArchiveList>(table);
  std::atomic<int> deleted{0};
  CJobRunner runner;
};

TEST_F(CollectingJobTest, RunsUnderTheDialogAndRefreshesTheRibbonTwice) {
  inbox->AddMails(4);
  ObjectPtr seen;
  std::atomic<std::uint64_t> invalidationsDuringRun{0};
  std::atomic<std::uint32_t> statusDuringRun{0};
  auto* job = NewJob([&](const ObjectPtr& source, CArchiveList& l, int& inaccessible, Progress::IAbsProgress* p) {
    seen = source;
    invalidationsDuringRun = ribbon->Invalidations();
    statusDuringRun = runner.GetStatus();
    return l.AddFolder(Folder(source), inaccessible, p);
  });
  ASSERT_TRUE(job->Init(inbox, list, ribbon));
  EXPECT_EQ(table->RegisteredCount(), 2u);
  const auto dialog = ui->Dialog(0);
  EXPECT_TRUE(dialog->created);
  EXPECT_FALSE(dialog->shown);  // hidden until the run begins
  EXPECT_EQ(dialog->title, u"Erfasse Ordner");
  EXPECT_EQ(dialog->owner, 0x1234u);  // the UI thread's active window

  RunToEnd(job);
  EXPECT_EQ(seen, inbox);
  EXPECT_EQ(invalidationsDuringRun, 1u);  // at the start of the run, so the busy rule shows
  EXPECT_EQ(statusDuringRun, kStillActive);
  EXPECT_EQ(ribbon->Invalidations(), 2u);  // and once more at the end
  EXPECT_TRUE(dialog->shown);
  EXPECT_TRUE(dialog->closed);
  EXPECT_EQ(dialog->percents, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(dialog->texts, std::vector<std::u16string>{u"S\\Posteingang"});
  EXPECT_TRUE(ui->MessagesShown().empty());
  EXPECT_EQ(list->GetSelectedMailCount(), 4);
  EXPECT_EQ(deleted, 1);
}

TEST_F(CollectingJobTest, MissingRibbonEndsTheRunButTheDialogIsStillClosed) {
  std::atomic<int> collected{0};
  auto* job = NewJob([&](const ObjectPtr&, CArchiveList&, int&, Progress::IAbsProgress*) {
    ++collected;
    return true;
  });
  ASSERT_TRUE(job->Init(inbox, list, nullptr));
  RunToEnd(job);
  EXPECT_EQ(collected, 0);
  EXPECT_TRUE(ui->Dialog(0)->closed);  // destroyed before the job's memory went
  EXPECT_EQ(deleted, 1);
}

TEST_F(CollectingJobTest, InitFailuresLeaveNothingBehind) {
  auto* noList = NewJob(nullptr);
  EXPECT_FALSE(noList->Init(inbox, nullptr, ribbon));
  noList->Destroy();

  table->Plan("Register", Sim::FaultPlan{E_OUTOFMEMORY, 2, false});  // the ribbon cannot be parked
  auto* noRibbon = NewJob(nullptr);
  EXPECT_FALSE(noRibbon->Init(inbox, list, ribbon));
  noRibbon->Destroy();
  EXPECT_EQ(deleted, 2);
}

// A job set up again parks the source and the ribbon anew, not beside the
// ones it parked before.
TEST_F(CollectingJobTest, ASecondInitParksEachObjectOnce) {
  auto* job = NewJob([](const ObjectPtr&, CArchiveList&, int&, Progress::IAbsProgress*) { return true; });
  ASSERT_TRUE(job->Init(inbox, list, ribbon));
  ASSERT_TRUE(job->Init(inbox, list, ribbon));
  EXPECT_EQ(table->RegisteredCount(), 2u);
  RunToEnd(job);
  EXPECT_EQ(deleted, 1);
}

TEST_F(CollectingJobTest, MissingSourceStillRunsAndAddsNothing) {
  auto* job = NewJob([](const ObjectPtr& source, CArchiveList& l, int& inaccessible, Progress::IAbsProgress* p) {
    return l.AddFolder(Folder(source), inaccessible, p);
  });
  ASSERT_TRUE(job->Init(nullptr, list, ribbon));
  RunToEnd(job);
  EXPECT_EQ(list->GetFolderCount(), 0);
  EXPECT_EQ(ribbon->Invalidations(), 2u);
}

// Teardown while a collecting job ignores cancel: Stop abandons it, the
// worker unwinds at its next Outlook call and the list's lock is free again.
// Even a collecting step that swallows that failure and reports unreadable
// mails leaves the abandoned job silent: no message, no dialog call, and its
// dialog is left to close without waiting for the UI thread.
TEST_F(CollectingJobTest, AnAbandonedJobUnwindsAndShowsNothing) {
  auto top = inbox->AddFolder(u"Top");
  for (int i = 0; i < 5; ++i) top->AddFolder(u"F" + std::u16string(1, char16_t(u'0' + i)))->AddMails(20);
  std::atomic<int> rounds{0};
  auto* job = NewJob([&](const ObjectPtr& source, CArchiveList& l, int& inaccessible, Progress::IAbsProgress*) {
    try {
      for (;; ++rounds) l.AddFoldersRecursive(Folder(source), inaccessible, nullptr);  // cancel is never seen
    } catch (const ComError&) {
      inaccessible = 3;
    }
    return true;
  });
  ASSERT_TRUE(job->Init(top, list, ribbon));
  {
    CJobRunner teardown;
    teardown.SetStopTimeouts(30ms, 5s);
    ASSERT_EQ(teardown.Start(job, -1), S_OK);
    while (rounds < 1) std::this_thread::sleep_for(1ms);
    teardown.Stop();
    EXPECT_EQ(teardown.GetStatus(), kStatusControlCExit);
    EXPECT_FALSE(teardown.WorkerAlive());
  }
  EXPECT_EQ(deleted, 1);
  const auto dialog = ui->Dialog(0);
  EXPECT_FALSE(dialog->closed);
  EXPECT_TRUE(dialog->closedLater);
  EXPECT_TRUE(ui->MessagesShown().empty());
  EXPECT_EQ(ribbon->Invalidations(), 1u);  // when the run began; Finish's refresh fails like every call
  EXPECT_EQ(list->GetFolderCount(), 6);
}

}  // namespace
}  // namespace CV
