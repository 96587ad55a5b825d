// The UI thread waits in COM's modal loop: CoWaitForMultipleHandles keeps a
// single-threaded apartment dispatching incoming calls and sent messages
// while it waits, so workers' Outlook calls and dialog updates go on.
#include <objbase.h>
#include <windows.h>

#include <chrono>

#include "foundation/apartment.h"

namespace CV {
namespace {

class WinApartment final : public IApartment {
 public:
  WinApartment() : m_event(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (done()) return true;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !m_event) return done();
      DWORD index = 0;
      HANDLE handles[] = {m_event};
      // RPC_S_CALLPENDING is the timeout; any other failure ends the wait.
      const HRESULT hr = ::CoWaitForMultipleHandles(0, static_cast<DWORD>(left.count()), 1, handles, &index);
      if (FAILED(hr) && hr != RPC_S_CALLPENDING) return done();
    }
  }

  void Wake() override {
    if (m_event) ::SetEvent(m_event);
  }

 private:
  HANDLE m_event;
};

}  // namespace

std::shared_ptr<IApartment> DefaultApartment() {
  // Never destroyed: an abandoned worker may still wake it at exit.
  static auto* apartment = new WinApartment;
  return ProcessLifetime<IApartment>(*apartment);
}

}  // namespace CV
