#include "win/platform/win_screen.h"

#include <windows.h>

namespace CV::Win {

std::optional<int> WinScreen::LogPixelsX() {
  HDC dc = ::GetDC(nullptr);
  if (!dc) return std::nullopt;
  const int pixels = ::GetDeviceCaps(dc, LOGPIXELSX);
  ::ReleaseDC(nullptr, dc);
  return pixels;
}

}  // namespace CV::Win
