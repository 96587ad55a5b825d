// Picture objects from PNG bytes on Windows: GDI+ decodes them into a DIB
// section, OleCreatePictureIndirect wraps it as an IPictureDisp.
#pragma once

#include "foundation/picture_factory.h"

namespace CV::Win {

class WinPictureFactory final : public IPictureFactory {
 public:
  ObjectPtr FromPng(std::span<const std::uint8_t> png) override;
};

// GDI+ runs while a decoded image lives, started by the first and shut down
// after the last (process-wide, under a lock of its own).
bool GdiplusAcquire();
void GdiplusRelease();

}  // namespace CV::Win
