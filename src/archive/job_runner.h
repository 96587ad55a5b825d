// CJobRunner: runs one job at a time on its own worker thread.
//
// A job that will not stop is never killed: after Stop's grace the job is
// abandoned, so every object-model, vendor or progress call its worker makes
// fails with E_ABORT and the worker unwinds, releasing its locks; its Finish
// runs once, on the worker. Stop waits for that only for a bounded time, and
// whatever the worker still touches is kept alive by shared ownership.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "archive/job.h"
#include "foundation/thread_hooks.h"

namespace CV {

class CJobRunner {
 public:
  explicit CJobRunner(IThreadHooks& hooks = DefaultThreadHooks());
  ~CJobRunner();
  CJobRunner(const CJobRunner&) = delete;
  CJobRunner& operator=(const CJobRunner&) = delete;

  // Starts job on a new worker thread at priority (clamped to -1..+1). Returns
  // 259 (still active) while the previous worker lives, without taking the
  // job; E_INVALIDARG for a null job.
  HRESULT Start(Job::IJob* job, int priority);
  // 259 while a job runs, else the result of the last job (0 at first).
  std::uint32_t GetStatus() const;
  Job::IJob* GetJob() const;
  void SetJob(Job::IJob* job);
  // Asks a running job to cancel, gives it the grace, then abandons it and
  // waits at most the unwind bound for its worker. Called at teardown.
  void Stop();

  void SetStopTimeouts(std::chrono::milliseconds grace, std::chrono::milliseconds unwind);
  bool WorkerAlive() const;

 private:
  struct State;
  static void ThreadProc(std::shared_ptr<State> state, IThreadHooks* hooks, int priority);

  IThreadHooks& m_hooks;
  std::shared_ptr<State> m_state;
  std::thread m_thread;
  std::chrono::milliseconds m_grace{500};
  std::chrono::milliseconds m_unwind{2000};
};

}  // namespace CV
