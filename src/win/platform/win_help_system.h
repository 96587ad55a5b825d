// The help system on Windows: the main application's LocalServer32
// registration, and HTML Help from the control located through its own
// COM registration, loaded once for the process.
#pragma once

#include <string>
#include <utility>

#include "foundation/help_system.h"

namespace CV::Win {

class WinHelpSystem final : public IHelpSystem {
 public:
  explicit WinHelpSystem(std::u16string addinModulePath) : m_addinModulePath(std::move(addinModulePath)) {}
  std::optional<std::u16string> MainApplicationPath() override;
  std::u16string AddinModulePath() override { return m_addinModulePath; }
  void DisplayTopic(const std::u16string& topic) override;

 private:
  std::u16string m_addinModulePath;
};

}  // namespace CV::Win
