// Port: creates a component by its ProgID (on Windows CLSIDFromProgID,
// CoCreateInstance with CLSCTX_ALL, OleRun), as the vendor's container
// writer, e-mail object and selection controls are created.
#pragma once

#include <string_view>

#include "foundation/object.h"

namespace CV {

class IComponentFactory {
 public:
  virtual ~IComponentFactory() = default;
  // A new running instance of the component, or null when it is not
  // registered or cannot be created or started. Any thread; the object
  // belongs to the calling thread's apartment.
  virtual ObjectPtr Create(std::u16string_view progId) = 0;
};

}  // namespace CV
