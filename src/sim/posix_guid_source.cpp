// New GUIDs from a seeded random engine (version 4, variant 1).
#include <mutex>
#include <random>

#include "foundation/guid_source.h"

namespace CV {
namespace {

class RandomGuidSource final : public IGuidSource {
 public:
  Guid NewGuid() override {
    std::lock_guard lock(m_mutex);
    Guid g;
    const std::uint64_t a = m_engine(), b = m_engine();
    g.data1 = static_cast<std::uint32_t>(a >> 32);
    g.data2 = static_cast<std::uint16_t>(a >> 16);
    g.data3 = static_cast<std::uint16_t>((a & 0x0FFF) | 0x4000);  // version 4
    for (int i = 0; i < 8; ++i) g.data4[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(b >> (8 * i));
    g.data4[0] = static_cast<std::uint8_t>((g.data4[0] & 0x3F) | 0x80);  // variant 1
    return g;
  }

 private:
  std::mutex m_mutex;
  std::mt19937_64 m_engine{std::random_device{}()};
};

}  // namespace

IGuidSource& DefaultGuidSource() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* instance = new RandomGuidSource;
  return *instance;
}

}  // namespace CV
