#include "foundation/debug_trace.h"

#ifdef CV_DEBUG_TRACE
#include <iostream>

#include "foundation/utf.h"

namespace CV {

void DebugTrace(std::u16string_view line) { std::cerr << ToUtf8(line) << std::flush; }

}  // namespace CV
#endif
