// Debug trace lines; they emit nothing unless the build defines
// CV_DEBUG_TRACE, and then go to standard error.
#pragma once

#include <string_view>

namespace CV {

#ifdef CV_DEBUG_TRACE
void DebugTrace(std::u16string_view line);
#else
inline void DebugTrace(std::u16string_view) {}
#endif

}  // namespace CV
