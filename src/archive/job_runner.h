// CJobRunner: runs one job at a time on its own worker thread.
//
// A job that will not stop is never killed: after Stop's grace the job is
// abandoned, so every object-model, vendor or progress call its worker makes
// fails with E_ABORT and the worker unwinds, releasing its locks; its Finish
// runs once, on the worker. Stop waits for that only for a bounded time,
// serving the UI thread's apartment all the while, and whatever the worker
// still touches is kept alive by shared ownership.
//
// After an abandonment the runner refuses new jobs (259) for as long as the
// abandoned worker lives; once it has ended, Start works again and the new
// job is not abandoned.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "archive/job.h"
#include "foundation/apartment.h"
#include "foundation/thread_hooks.h"

namespace CV {

class CJobRunner {
 public:
  // The bounds of Stop: the grace a job gets to honour its cancel, then the
  // time an abandoned worker gets to unwind. Together well under the second
  // after which Outlook disables an add-in whose shutdown takes too long.
  static constexpr std::chrono::milliseconds kGrace{500};
  static constexpr std::chrono::milliseconds kUnwind{100};

  explicit CJobRunner(std::shared_ptr<IThreadHooks> hooks = ProcessLifetime(DefaultThreadHooks()),
                      std::shared_ptr<IApartment> apartment = DefaultApartment());
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
  // UI thread: asks a running job to cancel, gives it the grace, then
  // abandons it and gives its worker the unwind bound. Both waits serve the
  // apartment. Called at teardown.
  void Stop();

  void SetStopTimeouts(std::chrono::milliseconds grace, std::chrono::milliseconds unwind);
  bool WorkerAlive() const;

 private:
  struct State;
  struct Worker;
  static void ThreadProc(std::shared_ptr<State> state, std::shared_ptr<Worker> worker, int priority);

  std::shared_ptr<State> m_state;
  std::shared_ptr<Worker> m_worker;  // the current or last worker
  std::thread m_thread;
  std::chrono::milliseconds m_grace = kGrace;
  std::chrono::milliseconds m_unwind = kUnwind;
};

}  // namespace CV
