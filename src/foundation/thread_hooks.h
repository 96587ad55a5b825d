// Port: what a worker thread does when it starts and ends. On Windows it
// enters and leaves the multithreaded apartment and sets its priority.
#pragma once

namespace CV {

class IThreadHooks {
 public:
  virtual ~IThreadHooks() = default;
  // On the thread that starts a worker, before the worker exists: whatever
  // must hold before its first instruction (the module it runs in pinned).
  virtual void Starting() {}
  // On the new thread, before any work. priority is -1, 0 or +1.
  virtual void Enter(int priority) = 0;
  // On the same thread, after all work.
  virtual void Leave() = 0;
};

IThreadHooks& DefaultThreadHooks();

}  // namespace CV
