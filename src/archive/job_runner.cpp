#include "archive/job_runner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "foundation/abandon.h"
#include "foundation/com_error.h"

namespace CV {

// What the runner and its workers share, so a runner may go while an
// abandoned worker unwinds.
struct CJobRunner::State {
  mutable std::recursive_mutex lock;  // guards status and job, never held across a call into a job
  std::uint32_t status = 0;
  Job::IJob* job = nullptr;
  // Held while Stop calls Cancel, so the worker cannot delete the job under it.
  std::mutex cancelGuard;
  std::shared_ptr<IThreadHooks> hooks;
  std::shared_ptr<IApartment> apartment;
};

// One worker thread: its own abandon flag, so a later job starts afresh.
struct CJobRunner::Worker {
  std::atomic<bool> abandoned{false};
  std::mutex lock;
  std::condition_variable released;  // the start gate: the worker waits until Start set the status
  bool started = false;
  std::atomic<bool> alive{true};
};

CJobRunner::CJobRunner(std::shared_ptr<IThreadHooks> hooks, std::shared_ptr<IApartment> apartment)
    : m_state(std::make_shared<State>()) {
  m_state->hooks = std::move(hooks);
  m_state->apartment = std::move(apartment);
}

CJobRunner::~CJobRunner() { Stop(); }

void CJobRunner::SetStopTimeouts(std::chrono::milliseconds grace, std::chrono::milliseconds unwind) {
  m_grace = grace;
  m_unwind = unwind;
}

bool CJobRunner::WorkerAlive() const { return m_worker && m_worker->alive; }

std::uint32_t CJobRunner::GetStatus() const {
  std::lock_guard lock(m_state->lock);
  return m_state->status;
}

Job::IJob* CJobRunner::GetJob() const {
  std::lock_guard lock(m_state->lock);
  return m_state->job;
}

void CJobRunner::SetJob(Job::IJob* job) {
  std::lock_guard lock(m_state->lock);
  m_state->job = job;
}

HRESULT CJobRunner::Start(Job::IJob* job, int priority) {
  // Also an abandoned worker that was left to unwind on its own still counts.
  if (WorkerAlive()) return static_cast<HRESULT>(kStillActive);
  if (m_thread.joinable()) m_thread.join();
  if (!job) return E_INVALIDARG;
  SetJob(job);
  auto worker = std::make_shared<Worker>();
  m_state->hooks->Starting();
  try {
    m_thread = std::thread(&CJobRunner::ThreadProc, m_state, worker, std::clamp(priority, -1, 1));
  } catch (const std::system_error& e) {
    SetJob(nullptr);  // the job stays the caller's, who disposes of it
    return e.code().value() > 0 ? HResultFromWin32(e.code().value()) : E_FAIL;
  }
  m_worker = worker;
  {
    std::lock_guard lock(m_state->lock);
    m_state->status = kStillActive;
  }
  {
    std::lock_guard lock(worker->lock);
    worker->started = true;
  }
  worker->released.notify_all();
  return S_OK;
}

void CJobRunner::ThreadProc(std::shared_ptr<State> state, std::shared_ptr<Worker> worker, int priority) {
  state->hooks->Enter(priority);
  BindAbandonFlag(&worker->abandoned);
  {
    std::unique_lock lock(worker->lock);
    worker->released.wait(lock, [&] { return worker->started; });
  }
  Job::IJob* job = nullptr;
  {
    std::lock_guard lock(state->lock);
    job = state->job;
  }
  HRESULT hr = S_OK;
  try {
    hr = job->Run();
  } catch (const ComError& e) {
    hr = e.Error();
  } catch (...) {
    hr = E_FAIL;
  }
  {
    std::lock_guard lock(state->lock);
    if (!worker->abandoned) state->status = static_cast<std::uint32_t>(hr);
    if (state->job == job) state->job = nullptr;
  }
  {
    std::lock_guard guard(state->cancelGuard);  // a Cancel under way ends first
  }
  try {
    job->Finish();
  } catch (...) {
    // Nothing reports a failing end-of-job notification.
  }
  BindAbandonFlag(nullptr);
  state->hooks->Leave();
  worker->alive = false;
  state->apartment->Wake();
}

void CJobRunner::Stop() {
  const auto ended = [this] { return !WorkerAlive(); };
  if (GetStatus() == kStillActive) {
    {
      std::lock_guard guard(m_state->cancelGuard);
      if (Job::IJob* job = GetJob()) {
        try {
          job->Cancel();
        } catch (...) {
          // The grace below applies all the same.
        }
      }
    }
    m_state->apartment->WaitUntil(ended, m_grace);
  }
  {
    std::lock_guard lock(m_state->lock);
    if (m_state->status == kStillActive) {
      m_state->status = kStatusControlCExit;
      if (m_worker) m_worker->abandoned = true;
    }
  }
  if (m_thread.joinable()) {
    if (m_state->apartment->WaitUntil(ended, m_unwind)) m_thread.join();
    else m_thread.detach();  // it unwinds on its own; the shared state outlives it
  }
}

}  // namespace CV
