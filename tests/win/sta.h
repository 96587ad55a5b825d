// The calling thread as a single-threaded apartment for a test's lifetime.
#pragma once

#include <objbase.h>

namespace CV::Host {

class Sta {
 public:
  Sta() : m_hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Sta() {
    if (SUCCEEDED(m_hr)) ::CoUninitialize();
  }
  Sta(const Sta&) = delete;
  Sta& operator=(const Sta&) = delete;
  HRESULT Result() const { return m_hr; }

 private:
  HRESULT m_hr;
};

}  // namespace CV::Host
