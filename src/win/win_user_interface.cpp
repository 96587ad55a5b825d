#include "win/win_user_interface.h"

#include <windows.h>

#include <atomic>

namespace CV::Win {
namespace {

// Progress without a window: the cancel flag and nothing else. The jobs run
// and can be stopped; the user sees no progress.
class WindowlessProgress final : public IProgressDialog {
 public:
  bool Progress(std::uint64_t, std::uint64_t, int) override { return !m_cancelled; }
  void SetText(const std::u16string&) override {}
  void SetTitle(const std::u16string&) override {}
  void Create(WindowHandle) override {
    m_exists = true;
    m_cancelled = false;
  }
  bool Exists() const override { return m_exists; }
  void Show() override {}
  void PressCancel() override {
    if (m_exists) m_cancelled = true;
  }
  void Close() override { m_exists = false; }

 private:
  std::atomic<bool> m_exists{false}, m_cancelled{false};
};

}  // namespace

std::unique_ptr<IProgressDialog> WinUserInterface::NewProgressDialog() { return std::make_unique<WindowlessProgress>(); }

WindowHandle WinUserInterface::ActiveWindow() { return reinterpret_cast<WindowHandle>(::GetActiveWindow()); }

}  // namespace CV::Win
