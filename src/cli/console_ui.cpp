#include "cli/console_ui.h"

#include <unistd.h>

#include <csignal>

#include "cli/exit_codes.h"
#include "foundation/string_table.h"
#include "foundation/utf.h"

namespace CV::Cli {
namespace {

class ConsoleProgressDialog final : public IProgressDialog {
 public:
  ConsoleProgressDialog(std::ostream& out, std::shared_ptr<std::atomic<bool>> lineOpen)
      : m_out(out), m_terminal(isatty(STDOUT_FILENO) != 0), m_lineOpen(std::move(lineOpen)) {}
  ~ConsoleProgressDialog() override { Close(); }

  bool Progress(std::uint64_t, std::uint64_t, int percent) override {
    std::lock_guard lock(m_mutex);
    if (m_cancelled || Interrupted()) return m_cancelled = true, false;
    if (percent != m_percent) {
      m_percent = percent;
      Print();
    }
    return true;
  }
  void SetText(const std::u16string& text) override {
    std::lock_guard lock(m_mutex);
    m_text = ToUtf8(text);
    m_percent = -1;
  }
  void SetTitle(const std::u16string& title) override {
    std::lock_guard lock(m_mutex);
    m_title = ToUtf8(title);
  }
  void Create(WindowHandle) override {
    std::lock_guard lock(m_mutex);
    m_exists = true, m_cancelled = false;
  }
  bool Exists() const override {
    std::lock_guard lock(m_mutex);
    return m_exists;
  }
  void Show() override {}
  void PressCancel() override {
    std::lock_guard lock(m_mutex);
    if (m_exists) m_cancelled = true;
  }
  void Close() override {
    std::lock_guard lock(m_mutex);
    if (m_exists && m_lineOpen->exchange(false)) m_out << "\n";
    m_out.flush();
    m_exists = false;
  }

 private:
  // A terminal shows one line that is rewritten; a pipe gets a line for
  // each step of ten percent.
  void Print() {
    if (!m_terminal && m_percent % 10 != 0 && m_percent != 100) return;
    const std::string line = m_title + ": " + m_text + " " + std::to_string(m_percent) + " %";
    if (!m_terminal) {
      m_out << line << "\n" << std::flush;
      return;
    }
    m_out << "\r\x1b[K" << line << std::flush;
    *m_lineOpen = true;
  }

  std::ostream& m_out;
  const bool m_terminal;
  const std::shared_ptr<std::atomic<bool>> m_lineOpen;  // a rewritten line not yet ended
  mutable std::mutex m_mutex;
  std::string m_title, m_text;
  int m_percent = -1;
  bool m_exists = false, m_cancelled = false;
};

std::atomic<int>& SignalSeen() {
  static std::atomic<int> signal{0};
  return signal;
}

void OnInterrupt(int signal) {
  int none = 0;
  SignalSeen().compare_exchange_strong(none, signal);  // the first one counts
  Interrupted() = true;
}

}  // namespace

std::atomic<bool>& Interrupted() {
  static std::atomic<bool> interrupted{false};
  return interrupted;
}

int InterruptedExitCode() {
  const int signal = SignalSeen().load();
  return signal == 0 ? Exit::Cancelled : 128 + signal;
}

void CatchInterrupt() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, OnInterrupt);
}

std::unique_ptr<IProgressDialog> ConsoleUserInterface::NewProgressDialog() {
  return std::make_unique<ConsoleProgressDialog>(m_out, m_lineOpen);
}

int ConsoleUserInterface::ShowMessage(WindowHandle, std::u16string_view text, std::u16string_view caption,
                                      std::uint32_t style) {
  std::lock_guard lock(m_mutex);
  int id = 0;
  for (int candidate : {StringId::InstallationDamaged, StringId::SelectAtLeastOneMail})
    if (text == StringTableText(candidate)) id = candidate;
  if (text.starts_with(u"Auf ") && text.find(u"Mail(s) konnte nicht zugegriffen werden") != std::u16string_view::npos)
    id = StringId::MailsInaccessible;
  m_shown.push_back(id);
  const char* kind = (style & MessageStyle::IconError) ? "Fehler" : "Information";
  std::string lines = ToUtf8(text);  // a message box breaks lines at CR LF
  for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;) lines.erase(at, 1);
  // A message box comes over an open progress dialog: its text starts on a line of its own.
  if (m_lineOpen->exchange(false)) m_out << "\n";
  m_out << "[" << ToUtf8(caption) << " | " << kind << "]\n" << lines << "\n" << std::flush;
  return MessageResult::Ok;
}

std::vector<int> ConsoleUserInterface::Shown() {
  std::lock_guard lock(m_mutex);
  return m_shown;
}

}  // namespace CV::Cli
