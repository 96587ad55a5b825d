// The HRESULT an action fails with, or S_OK when it does not throw.
#pragma once

#include "foundation/com_error.h"
#include "foundation/exception.h"

namespace CV::Fake {

template <class F>
HRESULT ErrorOf(F&& action) {
  try {
    action();
  } catch (const ComError& e) {
    return e.Error();
  } catch (const CException& e) {
    return e.Error();
  }
  return S_OK;
}

}  // namespace CV::Fake
