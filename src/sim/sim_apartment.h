// SimApartment: the UI thread's apartment, simulated.
//
// In the single-threaded mode, a call that another thread makes on an object
// of this apartment is queued and carried out by the owning thread only
// while that thread serves the apartment (WaitUntil, ServeOne); the caller
// waits for it, as a cross-apartment COM call or a sent window message
// waits. So a UI thread that waits for something without serving hangs here
// as it would in Outlook. In the free mode every call runs on its caller's
// thread and WaitUntil is a plain wait.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include "foundation/apartment.h"

namespace CV::Sim {

class SimApartment final : public IApartment {
 public:
  enum class Mode { Free, SingleThreaded };

  // The constructing thread owns the apartment.
  explicit SimApartment(Mode mode = Mode::SingleThreaded);
  ~SimApartment() override;

  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
  void Wake() override;

  // Runs call on the owning thread (directly when that is the caller or in
  // the free mode) and returns or rethrows what it did. After Close, calls
  // from other threads fail with RPC_E_DISCONNECTED.
  void Run(const std::function<void()>& call);
  template <class F>
  auto Call(F&& f) -> decltype(f()) {
    if constexpr (std::is_void_v<decltype(f())>) {
      Run(f);
    } else {
      std::optional<decltype(f())> result;
      Run([&] { result.emplace(f()); });
      return std::move(*result);
    }
  }

  // Owner: carries out one queued call; false when none was waiting.
  bool ServeOne();
  std::size_t PendingCalls() const;
  // The apartment's thread has gone: queued and later calls fail.
  void Close();
  bool IsOwnerThread() const { return std::this_thread::get_id() == m_owner; }
  Mode GetMode() const { return m_mode; }

 private:
  struct Task;

  const Mode m_mode;
  const std::thread::id m_owner;
  mutable std::mutex m_mutex;
  std::condition_variable m_ownerWake;
  std::condition_variable m_callerWake;
  std::deque<std::shared_ptr<Task>> m_queue;
  bool m_woken = false;
  bool m_closed = false;
};

}  // namespace CV::Sim
