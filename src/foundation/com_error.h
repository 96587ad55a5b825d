// ComError: a failed call on a COM object (Outlook, Office, vendor components).
// It carries the HRESULT, the id of the interface called and, when the object
// supplied it, its error information.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "foundation/guid.h"
#include "foundation/hresult.h"

namespace CV {

struct ErrorInfo {
  Guid interfaceId;  // null when the information names no interface
  std::u16string source;
  std::u16string description;
};

class ComError : public std::exception {
 public:
  explicit ComError(HRESULT hr, const Guid& iid = {}, std::optional<ErrorInfo> info = std::nullopt)
      : m_hr(hr), m_iid(iid), m_info(std::move(info)) {}

  HRESULT Error() const noexcept { return m_hr; }
  const Guid& InterfaceId() const noexcept { return m_iid; }
  const ErrorInfo* Info() const noexcept { return m_info ? &*m_info : nullptr; }

  // The dispatch error code of HRESULTs 0x80040200..0x8004FFFF, else 0.
  std::uint16_t WCode() const noexcept;

  const char* what() const noexcept override { return "CV::ComError"; }

 private:
  HRESULT m_hr;
  Guid m_iid;
  std::optional<ErrorInfo> m_info;
};

[[noreturn]] void ThrowComError(HRESULT hr, const Guid& iid = {});

// Throws ComError for a failed HRESULT.
inline void CheckCom(HRESULT hr, const Guid& iid = {}) {
  if (Failed(hr)) ThrowComError(hr, iid);
}

}  // namespace CV
