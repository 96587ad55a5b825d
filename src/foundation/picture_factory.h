// Port: picture objects (IPictureDisp) made from PNG bytes.
#pragma once

#include <cstdint>
#include <span>

#include "foundation/object.h"

namespace CV {

class IPictureFactory {
 public:
  virtual ~IPictureFactory() = default;
  // A picture with the PNG's pixels (32-bit with alpha), or null when the
  // bytes cannot be decoded.
  virtual ObjectPtr FromPng(std::span<const std::uint8_t> png) = 0;
};

}  // namespace CV
