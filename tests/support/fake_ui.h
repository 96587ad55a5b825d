// A user interface that records what jobs show: message boxes, and progress
// dialogs whose every call is kept in a record that outlives the dialog.
// Given an apartment, the dialogs' calls from other threads are carried out
// by the apartment's thread, as the messages a worker sends to a window are.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ui.h"
#include "sim/sim_apartment.h"

namespace CV::Fake {

struct DialogRecord {
  std::mutex mutex;
  std::u16string title;
  bool created = false, shown = false, closed = false, cancelled = false;
  bool closedLater = false;  // the dialog went while its window was still there
  int callsAfterClose = 0;  // Progress, SetText or Show on a closed window
  WindowHandle owner = 0;
  std::vector<int> percents;
  std::vector<std::u16string> texts;
  int cancelPresses = 0;
  int cancelOnProgressCall = 0;             // presses "Abbrechen" on that Progress call (1-based)
  std::function<void(int call)> onProgress;  // runs inside every Progress call, before it answers
};

class FakeProgressDialog final : public IProgressDialog {
  // On the window's thread, under the record's lock.
  template <class F>
  auto Locked(F f) const {
    const auto locked = [&] {
      std::lock_guard lock(m_r->mutex);
      return f();
    };
    return m_apartment ? m_apartment->Call(locked) : locked();
  }

 public:
  FakeProgressDialog(std::shared_ptr<DialogRecord> record, std::shared_ptr<Sim::SimApartment> apartment)
      : m_r(std::move(record)), m_apartment(std::move(apartment)) {}
  ~FakeProgressDialog() override {
    std::lock_guard lock(m_r->mutex);  // never waits for the window's thread
    if (m_r->created && !m_r->closed) m_r->closedLater = true;
  }

  bool Progress(std::uint64_t, std::uint64_t, int percent) override {
    std::function<void(int)> hook;
    int call = 0;
    Locked([&] {
      m_r->callsAfterClose += m_r->closed;
      m_r->percents.push_back(percent);
      call = static_cast<int>(m_r->percents.size());
      if (call == m_r->cancelOnProgressCall) m_r->cancelled = true;
      hook = m_r->onProgress;
    });
    if (hook) hook(call);
    std::lock_guard lock(m_r->mutex);
    return !m_r->cancelled;
  }
  void SetText(const std::u16string& text) override {
    Locked([&] { m_r->callsAfterClose += m_r->closed, m_r->texts.push_back(text); });
  }
  void SetTitle(const std::u16string& title) override { Locked([&] { m_r->title = title; }); }
  void Create(WindowHandle owner) override {
    Locked([&] { m_r->created = true, m_r->cancelled = false, m_r->owner = owner; });
  }
  bool Exists() const override { return Locked([&] { return m_r->created && !m_r->closed; }); }
  void Show() override { Locked([&] { m_r->callsAfterClose += m_r->closed, m_r->shown = true; }); }
  void PressCancel() override {
    Locked([&] {
      ++m_r->cancelPresses;
      if (m_r->created && !m_r->closed) m_r->cancelled = true;
    });
  }
  void Close() override {
    Locked([&] { m_r->closed = m_r->closed || m_r->created; });
  }

 private:
  std::shared_ptr<DialogRecord> m_r;
  std::shared_ptr<Sim::SimApartment> m_apartment;
};

class RecordingUserInterface final : public IUserInterface, public IMessageBox {
 public:
  struct Message {
    WindowHandle owner;
    std::u16string text, caption;
    std::uint32_t style;
  };

  IMessageBox& Messages() override { return *this; }
  std::unique_ptr<IProgressDialog> NewProgressDialog() override {
    std::lock_guard lock(m_mutex);
    m_dialogs.push_back(nextDialog ? std::exchange(nextDialog, nullptr) : std::make_shared<DialogRecord>());
    return std::make_unique<FakeProgressDialog>(m_dialogs.back(), apartment);
  }
  // The UI thread has an active window, a worker none.
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
  std::size_t DialogCount() {
    std::lock_guard lock(m_mutex);
    return m_dialogs.size();
  }
  std::shared_ptr<DialogRecord> Dialog(std::size_t i) {
    std::lock_guard lock(m_mutex);
    return m_dialogs.at(i);
  }

  std::thread::id uiThread = std::this_thread::get_id();
  std::shared_ptr<DialogRecord> nextDialog;  // the record the next dialog uses, to script it
  std::shared_ptr<Sim::SimApartment> apartment;  // where the dialogs' windows live, if anywhere

 private:
  std::mutex m_mutex;
  std::vector<Message> m_messages;
  std::vector<std::shared_ptr<DialogRecord>> m_dialogs;
};

}  // namespace CV::Fake
