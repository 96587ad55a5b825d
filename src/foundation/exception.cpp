#include "foundation/exception.h"

#include "foundation/utf.h"

namespace CV {

HRESULT CException::HResultFromCode(std::int32_t code) noexcept {
  const auto u = static_cast<std::uint32_t>(code);
  HRESULT hr = E_FAIL;
  if (u >= 0x200u && u < 0xFFFFu) hr = MakeHResult(u | 0x80040000u);
  if (code < 0) hr = code;
  if (u < 0x200u) hr = E_FAIL;
  return hr;
}

CException::CException(std::u16string_view source, std::int32_t code, std::u16string_view message)
    : m_hr(HResultFromCode(code)), m_code(code), m_message(message), m_source(source) {
  m_what = ToUtf8(m_source) + ": " + ToUtf8(m_message);
}

void Throw(std::u16string_view source, std::int32_t code, std::u16string_view message) {
  throw CException(source, code, message);
}

}  // namespace CV
