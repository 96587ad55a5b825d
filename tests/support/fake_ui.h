// A user interface that records what jobs show: message boxes, and progress
// dialogs whose every call is kept in a record that outlives the dialog.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ui.h"

namespace CV::Fake {

struct DialogRecord {
  std::mutex mutex;
  std::u16string title;
  bool created = false;
  bool shown = false;
  bool closed = false;
  bool cancelled = false;
  WindowHandle owner = 0;
  std::vector<int> percents;
  std::vector<std::u16string> texts;
  int cancelPresses = 0;
  // Presses "Abbrechen" itself on this Progress call (1-based), 0 = never.
  int cancelOnProgressCall = 0;
  // Called inside every Progress call, before it answers.
  std::function<void(int call)> onProgress;
};

class FakeProgressDialog final : public IProgressDialog {
 public:
  explicit FakeProgressDialog(std::shared_ptr<DialogRecord> record) : m_record(std::move(record)) {}

  bool Progress(std::uint64_t, std::uint64_t, int percent) override {
    std::function<void(int)> hook;
    int call = 0;
    {
      std::lock_guard lock(m_record->mutex);
      m_record->percents.push_back(percent);
      call = static_cast<int>(m_record->percents.size());
      if (call == m_record->cancelOnProgressCall) m_record->cancelled = true;
      hook = m_record->onProgress;
    }
    if (hook) hook(call);
    std::lock_guard lock(m_record->mutex);
    return !m_record->cancelled;
  }
  void SetText(const std::u16string& text) override {
    std::lock_guard lock(m_record->mutex);
    m_record->texts.push_back(text);
  }
  void SetTitle(const std::u16string& title) override {
    std::lock_guard lock(m_record->mutex);
    m_record->title = title;
  }
  void Create(WindowHandle owner) override {
    std::lock_guard lock(m_record->mutex);
    m_record->created = true;
    m_record->cancelled = false;
    m_record->owner = owner;
  }
  bool Exists() const override {
    std::lock_guard lock(m_record->mutex);
    return m_record->created && !m_record->closed;
  }
  void Show() override {
    std::lock_guard lock(m_record->mutex);
    m_record->shown = true;
  }
  void PressCancel() override {
    std::lock_guard lock(m_record->mutex);
    ++m_record->cancelPresses;
    if (m_record->created && !m_record->closed) m_record->cancelled = true;
  }
  void Close() override {
    std::lock_guard lock(m_record->mutex);
    if (m_record->created) m_record->closed = true;
  }

 private:
  std::shared_ptr<DialogRecord> m_record;
};

class RecordingUserInterface final : public IUserInterface, public IMessageBox {
 public:
  struct Message {
    WindowHandle owner;
    std::u16string text;
    std::u16string caption;
    std::uint32_t style;
  };

  IMessageBox& Messages() override { return *this; }
  std::unique_ptr<IProgressDialog> NewProgressDialog() override {
    auto record = std::make_shared<DialogRecord>();
    {
      std::lock_guard lock(m_mutex);
      if (nextDialog) record = std::exchange(nextDialog, nullptr);
      m_dialogs.push_back(record);
    }
    return std::make_unique<FakeProgressDialog>(record);
  }
  WindowHandle ActiveWindow() override { return std::this_thread::get_id() == uiThread ? 0x1234 : 0; }

  int ShowMessage(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                  std::uint32_t style) override {
    std::lock_guard lock(m_mutex);
    m_messages.push_back({owner, std::u16string(text), std::u16string(caption), style});
    return MessageResult::Ok;
  }

  std::vector<Message> MessagesShown() {
    std::lock_guard lock(m_mutex);
    return m_messages;
  }
  std::shared_ptr<DialogRecord> Dialog(std::size_t i) {
    std::lock_guard lock(m_mutex);
    return m_dialogs.at(i);
  }

  std::thread::id uiThread = std::this_thread::get_id();
  // The record the next dialog will use (to script cancel before a job runs).
  std::shared_ptr<DialogRecord> nextDialog;

 private:
  std::mutex m_mutex;
  std::vector<Message> m_messages;
  std::vector<std::shared_ptr<DialogRecord>> m_dialogs;
};

}  // namespace CV::Fake
