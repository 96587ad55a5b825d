// CWaitDialog: the modeless progress window of the collecting jobs (dialog
// resource 205 of the module it is given) and of the writer (its own
// template, with a caption). Created on the thread that serves it, fed and
// closed from the worker through messages that thread serves. The user's
// close (Alt+F4, the system menu, the task bar) is "Abbrechen"; the
// program's WM_CLOSE closes it.
#pragma once

#include <windows.h>

#include <memory>

#include "foundation/ui.h"

namespace CV::Win {

class CWaitDialog final : public IProgressDialog {
 public:
  static constexpr int kTemplateId = 205;
  static constexpr int kTitleId = 207;
  static constexpr int kTextId = 201;
  static constexpr int kBarId = 204;

  explicit CWaitDialog(HINSTANCE module, int templateId = kTemplateId);
  ~CWaitDialog() override;

  bool Progress(std::uint64_t position, std::uint64_t total, int percent) override;
  void SetText(const std::u16string& text) override;
  void SetTitle(const std::u16string& title) override;
  void Create(WindowHandle owner) override;
  bool Exists() const override;
  void Show() override;
  void PressCancel() override;
  void Close() override;

  HWND Window() const;
  // Without an owner: centred over this window, on its monitor, and while it
  // is the foreground window, kept in front of it. Before Create.
  void PlaceNear(HWND window);

  struct State;

 private:
  HINSTANCE m_module;
  int m_templateId;
  // Shared with the window, which may outlive this object: a dialog dropped
  // from another thread is closed by the UI thread later.
  std::shared_ptr<State> m_state;
};

}  // namespace CV::Win
