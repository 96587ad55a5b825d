// Port: creation of new GUIDs (CoCreateGuid on Windows).
#pragma once

#include "foundation/guid.h"

namespace CV {

class IGuidSource {
 public:
  virtual ~IGuidSource() = default;
  // A new, random GUID. Any thread; never fails.
  virtual Guid NewGuid() = 0;
};

IGuidSource& DefaultGuidSource();

}  // namespace CV
