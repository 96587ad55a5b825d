// Picture objects of the simulation: the PNG's size and bytes, read from its
// header (signature and IHDR), as an IPictureDisp-like object.
#pragma once

#include "foundation/picture_factory.h"

namespace CV::Sim {

class SimPictureFactory final : public IPictureFactory {
 public:
  ObjectPtr FromPng(std::span<const std::uint8_t> png) override;
};

// Width, height, bit depth and colour type of a PNG; false when the bytes
// are no PNG.
struct PngHeader {
  std::uint32_t width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
};
bool ReadPngHeader(std::span<const std::uint8_t> png, PngHeader& header);

}  // namespace CV::Sim
