// The job runner with jobs that run for real on its worker thread.
#include "archive/job_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
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

// A gate a test opens once; waiting on it is bounded so a fault cannot hang CI.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard lock(m_mutex);
      m_open = true;
    }
    m_changed.notify_all();
  }
  bool Wait(std::chrono::milliseconds bound = 10s) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, bound, [&] { return m_open; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_open = false;
};

struct JobRecord {
  std::atomic<int> runs{0}, cancels{0}, finishes{0};
  std::atomic<bool> finishedOnCallerThread{false};
  std::thread::id caller = std::this_thread::get_id();
  Gate started, finished;
};

class ScriptedJob final : public Job::IJob {
 public:
  ScriptedJob(std::shared_ptr<JobRecord> record, std::function<HRESULT()> run,
              std::function<void()> onCancel = nullptr)
      : m_record(std::move(record)), m_run(std::move(run)), m_onCancel(std::move(onCancel)) {}
  HRESULT Run() override {
    ++m_record->runs;
    m_record->started.Open();
    return m_run();
  }
  bool Cancel() override {
    ++m_record->cancels;
    if (m_onCancel) m_onCancel();
    return true;
  }
  void Finish() override {
    ++m_record->finishes;
    if (std::this_thread::get_id() == m_record->caller) m_record->finishedOnCallerThread = true;
    auto record = m_record;
    delete this;
    record->finished.Open();
  }

 private:
  std::shared_ptr<JobRecord> m_record;
  std::function<HRESULT()> m_run;
  std::function<void()> m_onCancel;
};

// Waits (bounded) until the runner's worker has ended.
bool WaitIdle(const CJobRunner& runner) {
  for (int i = 0; i < 2000 && runner.WorkerAlive(); ++i) std::this_thread::sleep_for(5ms);
  return !runner.WorkerAlive();
}

TEST(CJobRunner, BusyWhileRunningAndASecondJobIsRefused) {
  CJobRunner runner;
  EXPECT_EQ(runner.GetStatus(), 0u);
  auto record = std::make_shared<JobRecord>();
  Gate release;
  ASSERT_EQ(runner.Start(new ScriptedJob(record, [&] {
                           release.Wait();
                           return HRESULT(E_ACCESSDENIED);
                         }),
                         -1),
            S_OK);
  ASSERT_TRUE(record->started.Wait());
  EXPECT_EQ(runner.GetStatus(), kStillActive);
  EXPECT_NE(runner.GetJob(), nullptr);

  auto secondRecord = std::make_shared<JobRecord>();
  auto* second = new ScriptedJob(secondRecord, [] { return S_OK; });
  EXPECT_EQ(runner.Start(second, -1), static_cast<HRESULT>(kStillActive));
  second->Finish();  // refused: still the caller's to dispose of
  EXPECT_EQ(secondRecord->runs, 0);

  release.Open();
  ASSERT_TRUE(record->finished.Wait());
  ASSERT_TRUE(WaitIdle(runner));
  EXPECT_EQ(runner.GetStatus(), static_cast<std::uint32_t>(E_ACCESSDENIED));
  EXPECT_EQ(runner.GetJob(), nullptr);
  EXPECT_EQ(record->finishes, 1);
  EXPECT_FALSE(record->finishedOnCallerThread);
  EXPECT_EQ(runner.Start(nullptr, -1), E_INVALIDARG);
}

TEST(CJobRunner, WhatRunThrowsBecomesTheStatus) {
  struct Case {
    const char* name;
    std::function<HRESULT()> run;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"returns S_OK", [] { return S_OK; }, 0u},
      {"returns a failure", [] { return HRESULT(E_ABORT); }, static_cast<std::uint32_t>(E_ABORT)},
      {"throws ComError", []() -> HRESULT { ThrowComError(E_ACCESSDENIED); }, static_cast<std::uint32_t>(E_ACCESSDENIED)},
      {"throws CException", []() -> HRESULT { Throw(u"x", E_INVALIDARG, u""); }, static_cast<std::uint32_t>(E_FAIL)},
      {"throws anything", []() -> HRESULT { throw std::runtime_error("x"); }, static_cast<std::uint32_t>(E_FAIL)},
  };
  CJobRunner runner;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = std::make_shared<JobRecord>();
    ASSERT_EQ(runner.Start(new ScriptedJob(record, c.run), 0), S_OK);
    ASSERT_TRUE(record->finished.Wait());
    ASSERT_TRUE(WaitIdle(runner));
    EXPECT_EQ(runner.GetStatus(), c.status);
    EXPECT_EQ(record->finishes, 1);
  }
}

TEST(CJobRunner, StartIsRefusedWhileThePreviousFinishRuns) {
  CJobRunner runner;
  auto record = std::make_shared<JobRecord>();
  Gate inFinish, release;
  class SlowFinish final : public Job::IJob {
   public:
    SlowFinish(Gate& in, Gate& out) : m_in(in), m_out(out) {}
    HRESULT Run() override { return S_OK; }
    bool Cancel() override { return false; }
    void Finish() override {
      m_in.Open();
      m_out.Wait();
      delete this;
    }
    Gate& m_in;
    Gate& m_out;
  };
  ASSERT_EQ(runner.Start(new SlowFinish(inFinish, release), -1), S_OK);
  ASSERT_TRUE(inFinish.Wait());
  EXPECT_EQ(runner.GetStatus(), 0u);  // no longer busy ...
  auto* next = new ScriptedJob(record, [] { return S_OK; });
  EXPECT_EQ(runner.Start(next, -1), static_cast<HRESULT>(kStillActive));  // ... but the thread lives
  next->Finish();
  release.Open();
  ASSERT_TRUE(WaitIdle(runner));
}

TEST(CJobRunner, StopCancelsACooperativeJob) {
  auto record = std::make_shared<JobRecord>();
  std::atomic<bool> cancelled{false};
  {
    CJobRunner runner;
    ASSERT_EQ(runner.Start(new ScriptedJob(
                               record,
                               [&] {
                                 while (!cancelled) std::this_thread::sleep_for(1ms);
                                 return HRESULT(E_ABORT);
                               },
                               [&] { cancelled = true; }),
                           -1),
              S_OK);
    ASSERT_TRUE(record->started.Wait());
    runner.Stop();
    EXPECT_EQ(runner.GetStatus(), static_cast<std::uint32_t>(E_ABORT));  // it ended within the grace
    EXPECT_FALSE(runner.WorkerAlive());
  }
  EXPECT_EQ(record->cancels, 1);
  EXPECT_EQ(record->finishes, 1);
  EXPECT_FALSE(record->finishedOnCallerThread);
}

// A job that ignores cancel while it walks Outlook under the archive list's
// map lock: after the grace it is abandoned, its next Outlook call fails
// with E_ABORT, it unwinds and releases the lock, and Finish runs once.
TEST(CJobRunner, StopAbandonsAJobThatIgnoresCancel) {
  Sim::SimOutlook outlook;
  auto inbox = outlook.AddStore(u"S")->DefaultFolder(Outlook::olFolderInbox);
  inbox->AddMails(50);
  Sim::SimInterfaceTable table;
  auto list = std::make_shared<CArchiveList>(table);
  std::weak_ptr<CArchiveList> watch = list;
  auto record = std::make_shared<JobRecord>();
  std::atomic<int> rounds{0};
  {
    CJobRunner runner;
    runner.SetStopTimeouts(50ms, 5s);
    auto job = new ScriptedJob(record, [list, inbox, &rounds]() -> HRESULT {
      for (;;) {  // never looks at cancel
        int inaccessible = 0;
        list->AddFolder(Outlook::Folder(inbox), inaccessible, nullptr);
        ++rounds;
      }
    });
    list.reset();  // only the job keeps the list now
    ASSERT_EQ(runner.Start(job, -1), S_OK);
    ASSERT_TRUE(record->started.Wait());
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
  auto release = std::make_shared<Gate>();
  {
    CJobRunner runner;
    runner.SetStopTimeouts(20ms, 50ms);
    ASSERT_EQ(runner.Start(new ScriptedJob(record,
                                           [release] {
                                             release->Wait();
                                             return S_OK;
                                           }),
                           -1),
              S_OK);
    ASSERT_TRUE(record->started.Wait());
    runner.Stop();
    EXPECT_EQ(runner.GetStatus(), kStatusControlCExit);
    EXPECT_EQ(record->finishes, 0);  // never on the UI thread while Run is still running
  }
  release->Open();
  ASSERT_TRUE(record->finished.Wait());
  EXPECT_EQ(record->finishes, 1);
  EXPECT_FALSE(record->finishedOnCallerThread);
}

TEST(CJobRunner, WorkerEntersAndLeavesThroughTheHooks) {
  class RecordingHooks final : public IThreadHooks {
   public:
    void Enter(int p) override {
      priority = p;
      thread = std::this_thread::get_id();
      ++enters;
    }
    void Leave() override {
      if (std::this_thread::get_id() == thread) ++leaves;
    }
    std::atomic<int> priority{99}, enters{0}, leaves{0};
    std::thread::id thread;
  } hooks;
  {
    CJobRunner runner(hooks);
    auto record = std::make_shared<JobRecord>();
    ASSERT_EQ(runner.Start(new ScriptedJob(record, [] { return S_OK; }), -7), S_OK);
    ASSERT_TRUE(record->finished.Wait());
    ASSERT_TRUE(WaitIdle(runner));
  }
  EXPECT_EQ(hooks.priority, -1);  // clamped
  EXPECT_EQ(hooks.enters, 1);
  EXPECT_EQ(hooks.leaves, 1);
  EXPECT_NE(hooks.thread, std::this_thread::get_id());
}

}  // namespace
}  // namespace CV
