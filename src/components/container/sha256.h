// SHA-256 (FIPS 180-4), incremental. On Linux from libcrypto.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace CV::Components {

class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest; the object starts afresh.
  Digest Final();

  static std::string Hex(const Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : digest) text += kHex[b >> 4], text += kHex[b & 15];
    return text;
  }

 private:
  struct Context;
  std::unique_ptr<Context> m_context;
};

}  // namespace CV::Components
