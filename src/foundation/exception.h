// The system's own exception: the failing operation, an HRESULT and a message.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "foundation/hresult.h"

namespace CV {

class CException : public std::exception {
 public:
  // The HRESULT is derived from code: E_FAIL; 0x200 <= code < 0xFFFF (unsigned)
  // gets the bits 0x80040000; a negative code (a failure HRESULT) stays;
  // 0 <= code < 0x200 is E_FAIL again.
  CException(std::u16string_view source, std::int32_t code, std::u16string_view message);

  static HRESULT HResultFromCode(std::int32_t code) noexcept;

  HRESULT Error() const noexcept { return m_hr; }
  std::int32_t Code() const noexcept { return m_code; }
  // For file-system failures the path concerned.
  const std::u16string& Message() const noexcept { return m_message; }
  const std::u16string& Source() const noexcept { return m_source; }

  const char* what() const noexcept override { return m_what.c_str(); }

 private:
  HRESULT m_hr;
  std::int32_t m_code;
  std::u16string m_message;
  std::u16string m_source;
  std::string m_what;
};

[[noreturn]] void Throw(std::u16string_view source, std::int32_t code, std::u16string_view message);

// Anything but S_OK throws, S_FALSE included.
inline void ThrowIfFailed(std::u16string_view source, HRESULT hr, std::u16string_view message) {
  if (hr != 0) Throw(source, hr, message);
}

}  // namespace CV
