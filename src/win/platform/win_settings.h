// The settings port over the registry of the current user.
#pragma once

#include "foundation/settings.h"

namespace CV::Win {

class RegistrySettings final : public ISettings {
 public:
  std::int32_t OpenUserKey(std::u16string_view path, std::unique_ptr<ISettingsKey>& key) override;
};

}  // namespace CV::Win
