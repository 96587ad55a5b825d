// Ports: the user interface a job needs (message boxes, the modeless progress
// dialog with its cancel button, the active window).
#pragma once

#include <memory>
#include <string>

#include "foundation/message_box.h"
#include "foundation/progress.h"

namespace CV {

// The progress dialog: created hidden on the UI thread, shown and fed by the
// worker, closed on the UI thread. The cancel button sets a flag that the
// next Progress call reports (false); the dialog stays open until Close.
class IProgressDialog : public Progress::IAbsProgress {
 public:
  // Any thread, never waits: a window that still exists is closed on the UI
  // thread later (a job abandoned at teardown leaves its dialog this way).
  virtual ~IProgressDialog() = default;
  // The heading; shown at once when the window exists.
  virtual void SetTitle(const std::u16string& title) = 0;
  // Creates the hidden modeless window owned by owner and clears the cancel
  // flag. UI thread only.
  virtual void Create(WindowHandle owner) = 0;
  virtual bool Exists() const = 0;
  // Any thread.
  virtual void Show() = 0;
  // Does what the "Abbrechen" button does. Any thread; nothing without window.
  virtual void PressCancel() = 0;
  // Destroys the window on the UI thread and returns when it is gone. Any
  // thread; nothing without window.
  virtual void Close() = 0;
};

class IUserInterface {
 public:
  virtual ~IUserInterface() = default;
  virtual IMessageBox& Messages() = 0;
  virtual std::unique_ptr<IProgressDialog> NewProgressDialog() = 0;
  // The active window of the calling thread's message queue, or 0.
  virtual WindowHandle ActiveWindow() = 0;
};

}  // namespace CV
