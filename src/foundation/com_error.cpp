#include "foundation/com_error.h"

namespace CV {

std::uint16_t ComError::WCode() const noexcept {
  const auto u = static_cast<std::uint32_t>(m_hr);
  if (u >= 0x80040200u && u <= 0x8004FFFFu) return static_cast<std::uint16_t>(u - 0x80040200u);
  return 0;
}

void ThrowComError(HRESULT hr, const Guid& iid) { throw ComError(hr, iid); }

}  // namespace CV
