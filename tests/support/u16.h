// Test helpers for UTF-16 strings.
#pragma once

#include <ostream>
#include <string>

#include "foundation/utf.h"

namespace CV::Fake {

// "u8" text as the system's UTF-16.
inline std::u16string U16(const char* utf8) { return CV::FromUtf8(utf8); }

}  // namespace CV::Fake
