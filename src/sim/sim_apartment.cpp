#include "sim/sim_apartment.h"

#include "foundation/com_error.h"

namespace CV::Sim {

namespace {
#ifndef RPC_E_DISCONNECTED
constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108u);
#endif
}  // namespace

struct SimApartment::Task {
  std::function<void()> call;
  bool done = false;
  // A COM error is handed over as a copy and thrown anew on the caller's
  // thread: an exception object shared between threads is reference-counted
  // inside the runtime library, where the thread checker cannot see it.
  std::optional<ComError> comFailure;
  std::exception_ptr failure;
};

SimApartment::SimApartment(Mode mode) : m_mode(mode), m_owner(std::this_thread::get_id()) {}

SimApartment::~SimApartment() { Close(); }

void SimApartment::Run(const std::function<void()>& call) {
  if (m_mode == Mode::Free || IsOwnerThread()) return call();
  auto task = std::make_shared<Task>();
  task->call = call;
  std::unique_lock lock(m_mutex);
  if (m_closed) ThrowComError(RPC_E_DISCONNECTED);
  m_queue.push_back(task);
  m_ownerWake.notify_all();
  m_callerWake.wait(lock, [&] { return task->done; });
  if (task->comFailure) throw ComError(*task->comFailure);
  if (task->failure) std::rethrow_exception(task->failure);
}

bool SimApartment::ServeOne() {
  std::shared_ptr<Task> task;
  {
    std::lock_guard lock(m_mutex);
    if (m_queue.empty()) return false;
    task = m_queue.front();
    m_queue.pop_front();
  }
  try {
    task->call();
  } catch (const ComError& error) {
    task->comFailure.emplace(error);
  } catch (...) {
    task->failure = std::current_exception();
  }
  {
    std::lock_guard lock(m_mutex);
    task->done = true;
  }
  m_callerWake.notify_all();
  return true;
}

bool SimApartment::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    while (ServeOne())
      if (done()) return true;
    std::unique_lock lock(m_mutex);
    const bool woken = m_ownerWake.wait_until(lock, deadline, [&] { return m_woken || !m_queue.empty(); });
    m_woken = false;
    if (!woken) {
      lock.unlock();
      return done();
    }
  }
}

void SimApartment::Wake() {
  {
    std::lock_guard lock(m_mutex);
    m_woken = true;
  }
  m_ownerWake.notify_all();
}

std::size_t SimApartment::PendingCalls() const {
  std::lock_guard lock(m_mutex);
  return m_queue.size();
}

void SimApartment::Close() {
  std::deque<std::shared_ptr<Task>> orphans;
  {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    orphans.swap(m_queue);
    for (const auto& task : orphans) {
      task->comFailure.emplace(RPC_E_DISCONNECTED);
      task->done = true;
    }
  }
  m_callerWake.notify_all();
}

}  // namespace CV::Sim
