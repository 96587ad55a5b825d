// Port: the help system. The help file lives in the installation folder of
// the maker's main application, found through that application's COM
// registration, or else beside the add-in's own module.
#pragma once

#include <optional>
#include <string>

#include "foundation/guid.h"

namespace CV {

// The main desktop application, a local COM server.
inline constexpr Guid kClsidMainApplication = Guid::FromLiteral("7C2D4E90-3B5A-4F8E-A1D6-2E9B0C4F7A13");

class IHelpSystem {
 public:
  virtual ~IHelpSystem() = default;
  // The registered path of the main application's executable (at most 260
  // characters), or nullopt when it is not registered.
  virtual std::optional<std::u16string> MainApplicationPath() = 0;
  // The path of the add-in's module (the DLL Outlook loaded).
  virtual std::u16string AddinModulePath() = 0;
  // Opens a help topic ("file.chm::\topic.htm"); a failure shows nothing.
  virtual void DisplayTopic(const std::u16string& topic) = 0;
};

}  // namespace CV
