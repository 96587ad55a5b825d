// The job runner with jobs that run for real on its worker thread.
#include "archive/job_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <stdexcept>
#include <thread>

#include "archive/archive_list.h"
#include "foundation/com_error.h"
#include "foundation/exception.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"

namespace CV {
namespace {

using namespace std::chrono_literals;

struct JobRecord {
  std::atomic<int> runs{0}, cancels{0}, finishes{0};
  std::atomic<bool> finishedOnCallerThread{false};
  std::thread::id caller = std::this_thread::get_id();
  std::promise<void> started, finished;
  bool Wait(std::promise<void>& p) { return p.get_future().wait_for(10s) == std::future_status::ready; }
};

// A job whose Run and Finish do what the test says; it records every call.
class ScriptedJob final : public Job::IJob {
 public:
  ScriptedJob(std::shared_ptr<JobRecord> r, std::function<HRESULT()> run, std::function<void()> finish = nullptr)
      : m_r(std::move(r)), m_run(std::move(run)), m_finish(std::move(finish)) {}
  HRESULT Run() override {
    ++m_r->runs;
    m_r->started.set_value();
    return m_run();
  }
  bool Cancel() override { return ++m_r->cancels, true; }
  void Finish() override {
    ++m_r->finishes;
    if (std::this_thread::get_id() == m_r->caller) m_r->finishedOnCallerThread = true;
    if (m_finish) m_finish();
    auto r = m_r;
    delete this;
    r->finished.set_value();
  }

 private:
  std::shared_ptr<JobRecord> m_r;
  std::function<HRESULT()> m_run;
  std::function<void()> m_finish;
};

bool WaitIdle(const CJobRunner& runner) {
  for (int i = 0; i < 2000 && runner.WorkerAlive(); ++i) std::this_thread::sleep_for(5ms);
  return !runner.WorkerAlive();
}

TEST(CJobRunner, BusyWhileRunningAndASecondJobIsRefused) {
  CJobRunner runner;
  EXPECT_EQ(runner.GetStatus(), 0u);
  auto record = std::make_shared<JobRecord>();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  ASSERT_EQ(runner.Start(new ScriptedJob(record, [released] { return released.wait(), HRESULT(E_ACCESSDENIED); }), -1), S_OK);
  ASSERT_TRUE(record->Wait(record->started));
  EXPECT_EQ(runner.GetStatus(), kStillActive);
  EXPECT_NE(runner.GetJob(), nullptr);

  auto second = std::make_shared<JobRecord>();
  auto* job = new ScriptedJob(second, [] { return S_OK; });
  EXPECT_EQ(runner.Start(job, -1), static_cast<HRESULT>(kStillActive));
  job->Finish();  // refused: still the caller's to dispose of
  EXPECT_EQ(second->runs, 0);

  release.set_value();
  ASSERT_TRUE(WaitIdle(runner));
  EXPECT_EQ(runner.GetStatus(), static_cast<std::uint32_t>(E_ACCESSDENIED));
  EXPECT_EQ(runner.GetJob(), nullptr);
  EXPECT_EQ(record->finishes, 1);
  EXPECT_FALSE(record->finishedOnCallerThread);
  EXPECT_EQ(runner.Start(nullptr, -1), E_INVALIDARG);
}

TEST(CJobRunner, WhatRunThrowsBecomesTheStatus) {
  const std::pair<std::function<HRESULT()>, HRESULT> cases[] = {
      {[] { return S_OK; }, S_OK},
      {[] { return HRESULT(E_ABORT); }, E_ABORT},
      {[]() -> HRESULT { ThrowComError(E_ACCESSDENIED); }, E_ACCESSDENIED},
      {[]() -> HRESULT { Throw(u"x", E_INVALIDARG, u""); }, E_FAIL},  // anything but ComError: E_FAIL
      {[]() -> HRESULT { throw std::runtime_error("x"); }, E_FAIL},
  };
  CJobRunner runner;
  for (const auto& [run, status] : cases) {
    auto record = std::make_shared<JobRecord>();
    ASSERT_EQ(runner.Start(new ScriptedJob(record, run), 0), S_OK);
    ASSERT_TRUE(WaitIdle(runner));
    EXPECT_EQ(runner.GetStatus(), static_cast<std::uint32_t>(status));
    EXPECT_EQ(record->finishes, 1);
  }
}

TEST(CJobRunner, StartIsRefusedWhileThePreviousFinishRuns) {
  CJobRunner runner;
  auto record = std::make_shared<JobRecord>();
  std::promise<void> inFinish, release;
  std::shared_future<void> released = release.get_future().share();
  ASSERT_EQ(runner.Start(new ScriptedJob(record, [] { return S_OK; },
                                         [&inFinish, released] { inFinish.set_value(), released.wait(); }),
                         -1),
            S_OK);
  ASSERT_TRUE(record->Wait(inFinish));
  EXPECT_EQ(runner.GetStatus(), 0u);  // no longer busy ...
  auto* next = new ScriptedJob(std::make_shared<JobRecord>(), [] { return S_OK; });
  EXPECT_EQ(runner.Start(next, -1), static_cast<HRESULT>(kStillActive));  // ... but the thread lives
  next->Finish();
  release.set_value();
  ASSERT_TRUE(WaitIdle(runner));
}

// A job that ignores cancel while it walks Outlook under the archive list's
// map lock: after the grace it is abandoned, its next Outlook call fails
// with E_ABORT, it unwinds and releases the lock, and Finish runs once.
TEST(CJobRunner, StopAbandonsAJobThatIgnoresCancel) {
  Sim::SimOutlook outlook;
  auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
  inbox->AddMails(50);
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  auto list = std::make_shared<CArchiveList>(table);
  std::weak_ptr<CArchiveList> watch = list;
  auto record = std::make_shared<JobRecord>();
  std::atomic<int> rounds{0};
  {
    CJobRunner runner;
    runner.SetStopTimeouts(50ms, 5s);
    auto* job = new ScriptedJob(record, [list, inbox, &rounds]() -> HRESULT {
      for (int inaccessible = 0;; ++rounds) list->AddFolder(Outlook::Folder(inbox), inaccessible, nullptr);
    });
    list.reset();  // only the job keeps the list now
    ASSERT_EQ(runner.Start(job, -1), S_OK);
    while (rounds < 2) std::this_thread::sleep_for(1ms);
    runner.Stop();
    EXPECT_EQ(runner.GetStatus(), kStatusControlCExit);
    EXPECT_FALSE(runner.WorkerAlive());
  }
  EXPECT_EQ(record->cancels, 1);
  EXPECT_EQ(record->finishes, 1);
  EXPECT_TRUE(watch.expired());  // the job let go of the list when it was deleted
}

// A worker that does not come back to the object model within the bound is
// left to unwind on its own; the runner may go meanwhile.
TEST(CJobRunner, StopReturnsWhileAWorkerIsStuckElsewhere) {
  auto record = std::make_shared<JobRecord>();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  {
    CJobRunner runner;
    runner.SetStopTimeouts(20ms, 50ms);
    ASSERT_EQ(runner.Start(new ScriptedJob(record, [released] { return released.wait(), S_OK; }), -1), S_OK);
    ASSERT_TRUE(record->Wait(record->started));
    runner.Stop();
    EXPECT_EQ(runner.GetStatus(), kStatusControlCExit);
    EXPECT_EQ(record->finishes, 0);  // never on the UI thread while Run is still running
  }
  release.set_value();
  ASSERT_TRUE(record->Wait(record->finished));
  EXPECT_EQ(record->finishes, 1);
  EXPECT_FALSE(record->finishedOnCallerThread);
}

// After an abandonment the runner refuses new jobs for as long as the
// abandoned worker lives; once it has ended, the next job runs afresh, its
// Outlook calls no longer failing.
TEST(CJobRunner, AfterAnAbandonmentTheNextJobWaitsForTheOldWorkerAndRunsAfresh) {
  Sim::SimOutlook outlook;
  auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
  auto stuck = std::make_shared<JobRecord>();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  CJobRunner runner;
  runner.SetStopTimeouts(20ms, 50ms);
  const auto waitThenCallOutlook = [released, inbox] {
    released.wait();
    GetProperty(inbox, u"Name");  // abandoned by now: E_ABORT
    return S_OK;
  };
  ASSERT_EQ(runner.Start(new ScriptedJob(stuck, waitThenCallOutlook), -1), S_OK);
  ASSERT_TRUE(stuck->Wait(stuck->started));
  runner.Stop();
  EXPECT_EQ(runner.GetStatus(), kStatusControlCExit);
  EXPECT_TRUE(runner.WorkerAlive());

  auto* refused = new ScriptedJob(std::make_shared<JobRecord>(), [] { return S_OK; });
  EXPECT_EQ(runner.Start(refused, -1), static_cast<HRESULT>(kStillActive));
  refused->Finish();
  release.set_value();
  ASSERT_TRUE(stuck->Wait(stuck->finished));
  ASSERT_TRUE(WaitIdle(runner));
  EXPECT_EQ(runner.GetStatus(), kStatusControlCExit);  // an abandoned job reports nothing

  auto fresh = std::make_shared<JobRecord>();
  ASSERT_EQ(runner.Start(new ScriptedJob(fresh, [inbox] {
                           return GetProperty(inbox, u"Name").AsText() == u"Posteingang" ? S_FALSE : E_FAIL;
                         }),
                         -1),
            S_OK);
  ASSERT_TRUE(WaitIdle(runner));
  EXPECT_EQ(runner.GetStatus(), static_cast<std::uint32_t>(S_FALSE));
  EXPECT_EQ(fresh->finishes, 1);
}

// A worker waits for its start to be recorded before it runs; however early
// it gets there, it is woken. Many short jobs in turn give it every chance.
TEST(CJobRunner, ManyShortJobsInTurnEachRunAndEnd) {
  CJobRunner runner;
  for (int i = 0; i < 2000; ++i) {
    auto record = std::make_shared<JobRecord>();
    ASSERT_EQ(runner.Start(new ScriptedJob(record, [] { return S_OK; }), 0), S_OK) << i;
    ASSERT_TRUE(record->Wait(record->finished)) << "job " << i << " never ran";
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (runner.WorkerAlive() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  }
  ASSERT_TRUE(WaitIdle(runner));
}

TEST(CJobRunner, WorkerEntersAndLeavesThroughTheHooks) {
  struct RecordingHooks final : IThreadHooks {
    // Before the worker exists: on the caller, and no Enter yet.
    void Starting() override { startingsFirst += std::this_thread::get_id() == caller && enters == 0; }
    void Enter(int p) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a worker scheduled late
      priority = p, thread = std::this_thread::get_id(), ++enters;
    }
    void Leave() override { leaves += std::this_thread::get_id() == thread; }
    std::atomic<int> priority{99}, startingsFirst{0}, enters{0}, leaves{0};
    std::thread::id thread, caller = std::this_thread::get_id();
  };
  auto owned = std::make_shared<RecordingHooks>();
  RecordingHooks& hooks = *owned;
  {
    CJobRunner runner(owned);
    ASSERT_EQ(runner.Start(new ScriptedJob(std::make_shared<JobRecord>(), [] { return S_OK; }), -7), S_OK);
    ASSERT_TRUE(WaitIdle(runner));
  }
  EXPECT_EQ(hooks.startingsFirst, 1);
  EXPECT_EQ(hooks.priority, -1);  // clamped
  EXPECT_EQ(hooks.enters, 1);
  EXPECT_EQ(hooks.leaves, 1);
  EXPECT_NE(hooks.thread, std::this_thread::get_id());
}

}  // namespace
}  // namespace CV
