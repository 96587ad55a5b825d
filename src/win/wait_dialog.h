// CWaitDialog: the modeless progress window of the collecting jobs (dialog
// resource 205 of the module it is given). Created on the UI thread, fed and
// closed from the worker through messages the UI thread serves.
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

  explicit CWaitDialog(HINSTANCE module);
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

  struct State;

 private:
  HINSTANCE m_module;
  // Shared with the window, which may outlive this object: a dialog dropped
  // from another thread is closed by the UI thread later.
  std::shared_ptr<State> m_state;
};

}  // namespace CV::Win
