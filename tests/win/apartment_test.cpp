// The UI thread's waits on a real single-threaded apartment under Wine: the
// runner's teardown keeps serving the calls a worker makes through the
// global interface table, so a job that honours its cancel only through
// such calls ends within its grace and is not abandoned.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "archive/job_runner.h"
#include "foundation/apartment.h"
#include "foundation/interface_table.h"
#include "support/test_object.h"
#include "win/sta.h"

namespace CV {
namespace {

using namespace std::chrono_literals;

// Serves the apartment the plain way until done() or the bound; for tests
// that must release a worker a broken wait left behind.
void PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!done() && std::chrono::steady_clock::now() < end) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
}

using Host::Sta;

// Polls the UI thread's object until it reads "Abbrechen"; every poll is a
// call that only the UI thread can carry out.
class PollingJob final : public Job::IJob {
 public:
  PollingJob(std::uint32_t cookie, std::shared_ptr<Fake::TestObject> object, std::atomic<int>& finishes,
             std::atomic<bool>& finishReachedUi)
      : m_cookie(cookie), m_object(std::move(object)), m_finishes(finishes), m_finishReachedUi(finishReachedUi) {}
  HRESULT Run() override {
    ObjectPtr proxy;
    CheckCom(DefaultInterfaceTable().Fetch(m_cookie, Fake::kTestObjectIid, proxy));
    while (GetProperty(proxy, u"Name").AsText() != u"Abbrechen") std::this_thread::sleep_for(1ms);
    return S_OK;
  }
  bool Cancel() override {  // on the UI thread, as Stop calls it
    PutProperty(m_object, u"Name", Variant::FromBstr(u"Abbrechen"));
    return true;
  }
  void Finish() override {
    try {
      ObjectPtr proxy;
      CheckCom(DefaultInterfaceTable().Fetch(m_cookie, Fake::kTestObjectIid, proxy));
      m_finishReachedUi = CallMethod(proxy, u"Add", {Variant::FromI4(1), Variant::FromI4(1)}).AsInt32() == 2;
    } catch (...) {
    }
    ++m_finishes;
    delete this;
  }

 private:
  std::uint32_t m_cookie;
  std::shared_ptr<Fake::TestObject> m_object;
  std::atomic<int>& m_finishes;
  std::atomic<bool>& m_finishReachedUi;
};

TEST(Apartment, TheTeardownServesAJobThatHonoursCancelThroughTheUiThread) {
  Sta sta;
  ASSERT_EQ(sta.Result(), S_OK);
  auto object = std::make_shared<Fake::TestObject>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(DefaultInterfaceTable().Register(object, Fake::kTestObjectIid, cookie), S_OK);
  std::atomic<int> finishes{0};
  std::atomic<bool> finishReachedUi{false};
  {
    CJobRunner runner;
    // A grace that a loaded machine cannot run out of while the job is
    // served: only a wait that does not serve would abandon it.
    runner.SetStopTimeouts(10s, 10s);
    ASSERT_EQ(runner.Start(new PollingJob(cookie, object, finishes, finishReachedUi), -1), S_OK);
    // Let it poll a few times, served by the wait itself.
    DefaultApartment()->WaitUntil([] { return false; }, 50ms);
    runner.Stop();
    EXPECT_EQ(runner.GetStatus(), static_cast<std::uint32_t>(S_OK));  // ended, not abandoned
    EXPECT_FALSE(runner.WorkerAlive());
  }
  EXPECT_EQ(finishes, 1);
  PumpUntil([&] { return finishes == 1; }, 20s);  // an abandoned worker still waits for this thread
  EXPECT_TRUE(finishReachedUi);
  EXPECT_EQ(DefaultInterfaceTable().Revoke(cookie), S_OK);
}

TEST(Apartment, AWaitOnTheUiThreadCarriesOutAWorkersCalls) {
  Sta sta;
  ASSERT_EQ(sta.Result(), S_OK);
  auto object = std::make_shared<Fake::TestObject>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(DefaultInterfaceTable().Register(object, Fake::kTestObjectIid, cookie), S_OK);
  std::atomic<bool> done{false};
  std::atomic<std::int32_t> calledOn{0};
  std::thread worker([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    try {
      ObjectPtr proxy;
      CheckCom(DefaultInterfaceTable().Fetch(cookie, Fake::kTestObjectIid, proxy));
      calledOn = GetProperty(proxy, u"ThreadId").AsInt32();
    } catch (...) {
    }
    ::CoUninitialize();
    done = true;
    DefaultApartment()->Wake();
  });
  EXPECT_TRUE(DefaultApartment()->WaitUntil([&] { return done.load(); }, 20s));
  PumpUntil([&] { return done.load(); }, 20s);
  worker.join();
  EXPECT_EQ(calledOn, Fake::CurrentThreadTag());
  EXPECT_EQ(DefaultInterfaceTable().Revoke(cookie), S_OK);
}

}  // namespace
}  // namespace CV
