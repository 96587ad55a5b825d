// Port: the platform's own message texts for HRESULTs.
#pragma once

#include <optional>
#include <string>

#include "foundation/hresult.h"

namespace CV {

class ISystemMessages {
 public:
  virtual ~ISystemMessages() = default;
  // The system's text for hr in the default language, inserts ignored, with a
  // final line break removed; nullopt when the system has none. Any thread.
  virtual std::optional<std::u16string> MessageForHResult(HRESULT hr) const = 0;
};

// The adapter linked into this build (Windows: FormatMessageW; POSIX: a table).
const ISystemMessages& DefaultSystemMessages();

// A system without messages: what a port left empty stands for.
const ISystemMessages& NoSystemMessages();

}  // namespace CV
