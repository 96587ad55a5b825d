// Port: how the UI thread waits.
//
// Outlook's UI thread is a single-threaded apartment: the calls a worker
// makes on Outlook objects, the progress updates it sends to a dialog and
// the closing of that dialog are all carried out by that thread's message
// loop. A UI thread that waits for a thread or a lock without serving them
// freezes Outlook or deadlocks it, so every wait of the UI thread goes
// through this port, which keeps the apartment serving while it waits.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "foundation/lifetime.h"

namespace CV {

class IApartment {
 public:
  virtual ~IApartment() = default;
  // Waits until done() answers true or timeout has passed, serving the
  // calling thread's apartment meanwhile. done is evaluated on the calling
  // thread, at the start, after every Wake and after every call served.
  // Returns done()'s last answer.
  virtual bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) = 0;
  // Makes a running WaitUntil look at done() again. Any thread.
  virtual void Wake() = 0;
};

// The apartment of this build: a message-pumping wait on Windows, a plain
// wait where nothing needs serving. Lives for the whole process, so an
// abandoned worker may still wake it.
std::shared_ptr<IApartment> DefaultApartment();

}  // namespace CV
