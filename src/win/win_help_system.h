// The help system on Windows: the main application's LocalServer32
// registration, and HTML Help from the control located through its own
// COM registration, loaded once for the process.
#pragma once

#include "addin/help_system.h"

namespace CV::Win {

class WinHelpSystem final : public IHelpSystem {
 public:
  std::optional<std::u16string> MainApplicationPath() override;
  void DisplayTopic(const std::u16string& topic) override;
};

}  // namespace CV::Win
