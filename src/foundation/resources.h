// Port: the module's resources (the ribbon XML, the PNG pictures).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace CV {

class IResources {
 public:
  virtual ~IResources() = default;
  // The bytes of the resource, type and name compared ignoring ASCII case
  // (a numeric id is its decimal text); nullopt when there is none.
  virtual std::optional<std::span<const std::uint8_t>> Find(std::u16string_view type,
                                                            std::u16string_view name) const = 0;
};

// The resources of this module: compiled in, generated at build time.
const IResources& ModuleResources();

}  // namespace CV
