// The add-in's user interface on a terminal: message boxes print their
// caption and text (OK is pressed at once); the progress dialog prints its
// title, text line and percentage, on one rewritten line on a terminal and
// as plain lines otherwise. Ctrl-C is its "Abbrechen".
#pragma once

#include <atomic>
#include <iostream>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/ui.h"

namespace CV::Cli {

// Set by SIGINT: the user's "Abbrechen".
std::atomic<bool>& Interrupted();
// Ctrl-C, SIGTERM and SIGHUP all mean "Abbrechen"; each ends the command
// with 128 plus its number (130, 143, 129).
void CatchInterrupt();
int InterruptedExitCode();

class ConsoleUserInterface final : public IUserInterface, public IMessageBox {
 public:
  explicit ConsoleUserInterface(std::ostream& out) : m_out(out) {}

  IMessageBox& Messages() override { return *this; }
  std::unique_ptr<IProgressDialog> NewProgressDialog() override;
  WindowHandle ActiveWindow() override { return 0; }
  int ShowMessage(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                  std::uint32_t style) override;

  // The ids of the messages shown so far (107, 108, 110; 0 for others).
  std::vector<int> Shown();

 private:
  std::ostream& m_out;
  std::mutex m_mutex;
  std::vector<int> m_shown;
  // Shared with the progress dialogs, which print to the same stream.
  const std::shared_ptr<std::atomic<bool>> m_lineOpen = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace CV::Cli
