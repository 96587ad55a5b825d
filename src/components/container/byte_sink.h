// Where composed bytes go.
#pragma once

#include <cstddef>
#include <string_view>

namespace CV::Components {

class IByteSink {
 public:
  virtual ~IByteSink() = default;
  // Throws on failure.
  virtual void Write(const void* data, std::size_t size) = 0;
  void Write(std::string_view text) { Write(text.data(), text.size()); }
};

}  // namespace CV::Components
