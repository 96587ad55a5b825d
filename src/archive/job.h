// CV::Job::IJob: a background job. The runner calls Run, then Finish, on the
// worker thread; Cancel may come from any thread meanwhile. Finish deletes
// the job; a job that never ran is deleted by its creator.
#pragma once

#include "foundation/hresult.h"

namespace CV::Job {

class IJob {
 public:
  virtual HRESULT Run() = 0;
  // Asks the job to stop; false when it cannot be cancelled.
  virtual bool Cancel() = 0;
  // End-of-job notification; the job deletes itself here.
  virtual void Finish() = 0;

 protected:
  ~IJob() = default;
};

}  // namespace CV::Job
