// The base key of the system's per-user settings.
#pragma once

#include <string_view>

namespace CV {

inline constexpr std::u16string_view kRegistryKeyRoot = u"Software\\Corvanworks\\Corvane\\";

}  // namespace CV
