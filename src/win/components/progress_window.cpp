#include "win/components/progress_window.h"

#include <windows.h>

#include <atomic>

#include "foundation/format.h"
#include "win/com/module.h"
#include "win/platform/wait_dialog.h"

namespace CV::Win::Components {

// The writer's own template: a caption, and no place in Outlook's window
// family (an owner on another thread would share its input with Outlook's).
constexpr int kExportProgressTemplate = 210;

struct ExportProgress::Window {
  CWaitDialog dialog{Module::Instance(), kExportProgressTemplate};
  DWORD threadId = 0;
  std::atomic<bool> closed{false};
};

namespace {

// The window's thread: it makes the dialog and serves it until told to
// quit, then closes it.
DWORD WINAPI Serve(void* parameter) {
  auto* held = static_cast<std::shared_ptr<ExportProgress::Window>*>(parameter);
  const std::shared_ptr<ExportProgress::Window> window = *held;
  delete held;
  window->dialog.SetTitle(u"Archiv erstellen");
  window->dialog.Create(0);
  window->dialog.Show();
  MSG message;
  ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // from here on a posted quit arrives
  while (!window->closed && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    const HWND dialog = window->dialog.Window();
    if (dialog && ::IsDialogMessageW(dialog, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  window->dialog.Close();
  return 0;
}

}  // namespace

ExportProgress::ExportProgress(std::shared_ptr<CV::Components::OutcomeRecorder> recorder)
    : m_recorder(std::move(recorder)) {}

ExportProgress::~ExportProgress() { Close(); }

void ExportProgress::Open() {
  if (m_window) return;
  auto window = std::make_shared<Window>();
  // The window the user worked in when the export began, usually Outlook's:
  // the progress shows on its screen, in front of it.
  window->dialog.PlaceNear(::GetForegroundWindow());
  Module::Pin();  // the thread runs this DLL's code to its end
  auto* held = new std::shared_ptr<Window>(window);
  HANDLE thread = ::CreateThread(nullptr, 0, &Serve, held, 0, &window->threadId);
  if (!thread) {
    delete held;
    return;  // the export goes on without a window; nothing is lost
  }
  ::CloseHandle(thread);
  // Nobody waits for the window: reports before it exists change nothing.
  m_window = std::move(window);
}

void ExportProgress::Close() {
  if (!m_window) return;
  // A quit posted before the thread has its queue is lost: the flag, read
  // once the queue exists, ends the thread then.
  m_window->closed = true;
  ::PostThreadMessageW(m_window->threadId, WM_QUIT, 0, 0);
  m_window.reset();
}

bool ExportProgress::MailWritten(std::int32_t received, std::int32_t announced, std::uint64_t bytes) {
  m_recorder->MailWritten(received, announced, bytes);
  if (!m_window) return true;
  const std::int32_t total = announced > 0 ? announced : received;
  m_window->dialog.SetText(Format(u"%d von %d E-Mails", received, total));
  const int percent = total > 0 ? static_cast<int>(static_cast<std::int64_t>(received) * 100 / total) : 0;
  if (m_window->dialog.Progress(static_cast<std::uint64_t>(received), static_cast<std::uint64_t>(total), percent))
    return true;
  m_recorder->Failed("Sie haben die Archivierung abgebrochen.");
  return false;
}

void ExportProgress::MailAdded(std::u16string_view folder, std::u16string_view entryId, std::int64_t size) {
  m_recorder->MailAdded(folder, entryId, size);
}

void ExportProgress::ContainerWritten(std::u16string_view file) { m_recorder->ContainerWritten(file); }

void ExportProgress::Failed(std::string_view cause) { m_recorder->Failed(cause); }

}  // namespace CV::Win::Components
