#include "archive/job_runner.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "foundation/abandon.h"
#include "foundation/com_error.h"

namespace CV {

// Everything the worker touches lives here, owned by the runner and the
// worker together, so a runner may go while an abandoned worker unwinds.
struct CJobRunner::State {
  mutable std::recursive_mutex lock;  // guards status and job, never held across a call into a job
  std::uint32_t status = 0;
  Job::IJob* job = nullptr;
  // Held while Stop calls Cancel, so the worker cannot delete the job under it.
  std::mutex cancelGuard;
  std::atomic<bool> abandoned{false};
  std::mutex threadLock;
  std::condition_variable threadChanged;
  bool released = false;  // the start gate: the worker waits until Start set the status
  bool alive = false;
};

CJobRunner::CJobRunner(IThreadHooks& hooks) : m_hooks(hooks), m_state(std::make_shared<State>()) {}

CJobRunner::~CJobRunner() { Stop(); }

void CJobRunner::SetStopTimeouts(std::chrono::milliseconds grace, std::chrono::milliseconds unwind) {
  m_grace = grace;
  m_unwind = unwind;
}

bool CJobRunner::WorkerAlive() const {
  std::lock_guard lock(m_state->threadLock);
  return m_state->alive;
}

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
  if (m_thread.joinable()) {
    if (WorkerAlive()) return static_cast<HRESULT>(kStillActive);
    m_thread.join();
  }
  if (!job) return E_INVALIDARG;
  SetJob(job);
  {
    std::lock_guard lock(m_state->threadLock);
    m_state->released = false;
    m_state->alive = true;
  }
  try {
    m_thread = std::thread(&CJobRunner::ThreadProc, m_state, &m_hooks, std::clamp(priority, -1, 1));
  } catch (const std::system_error& e) {
    {
      std::lock_guard lock(m_state->threadLock);
      m_state->alive = false;
    }
    SetJob(nullptr);  // the job stays the caller's, who disposes of it
    return e.code().value() > 0 ? HResultFromWin32(e.code().value()) : E_FAIL;
  }
  {
    std::lock_guard lock(m_state->lock);
    m_state->status = kStillActive;
  }
  {
    std::lock_guard lock(m_state->threadLock);
    m_state->released = true;
  }
  m_state->threadChanged.notify_all();
  return S_OK;
}

void CJobRunner::ThreadProc(std::shared_ptr<State> state, IThreadHooks* hooks, int priority) {
  hooks->Enter(priority);
  BindAbandonFlag(&state->abandoned);
  {
    std::unique_lock lock(state->threadLock);
    state->threadChanged.wait(lock, [&] { return state->released; });
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
    if (!state->abandoned) state->status = static_cast<std::uint32_t>(hr);
    state->job = nullptr;
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
  hooks->Leave();
  {
    std::lock_guard lock(state->threadLock);
    state->alive = false;
  }
  state->threadChanged.notify_all();
}

void CJobRunner::Stop() {
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
    std::unique_lock lock(m_state->threadLock);
    m_state->threadChanged.wait_for(lock, m_grace, [&] { return !m_state->alive; });
  }
  {
    std::lock_guard lock(m_state->lock);
    if (m_state->status == kStillActive) {
      m_state->status = kStatusControlCExit;
      m_state->abandoned = true;
    }
  }
  if (m_thread.joinable()) {
    bool ended = false;
    {
      std::unique_lock lock(m_state->threadLock);
      ended = m_state->threadChanged.wait_for(lock, m_unwind, [&] { return !m_state->alive; });
    }
    if (ended) m_thread.join();
    else m_thread.detach();  // it unwinds on its own; the shared state outlives it
  }
}

}  // namespace CV
