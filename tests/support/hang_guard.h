// HangGuard: ends the test binary when the guarded code has not returned
// within a generous bound. A UI thread that waits for a lock or a thread
// without serving its apartment never returns, and a hung test would
// otherwise only show as a timeout with no word of where it hung.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace CV::Fake {

class HangGuard {
 public:
  explicit HangGuard(std::string what, std::chrono::seconds bound = std::chrono::seconds(30))
      : m_what(std::move(what)), m_watch([this, bound] {
          std::unique_lock lock(m_mutex);
          if (!m_changed.wait_for(lock, bound, [this] { return m_done; })) {
            std::fprintf(stderr, "HANG: %s did not return within %lld s\n", m_what.c_str(),
                         static_cast<long long>(bound.count()));
            std::abort();
          }
        }) {}
  ~HangGuard() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
    }
    m_changed.notify_all();
    m_watch.join();
  }
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;

 private:
  std::string m_what;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_done = false;
  std::thread m_watch;
};

}  // namespace CV::Fake
