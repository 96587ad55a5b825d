// A model of the registry of a 64-bit Windows (7 and later) with its two
// views, after the table "Registry Keys Affected by WOW64": keys a 32-bit
// process sees elsewhere (redirected) and keys both bitnesses see as one
// (shared). Without WOW64 (a 32-bit Windows) both views are one.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "registration/registration_table.h"
#include "registration/registry_port.h"

namespace CV::Test {

class TwoViewRegistry {
 public:
  struct Data {
    bool dword = false;
    std::u16string text;
    std::uint32_t number = 0;
    bool operator==(const Data&) const = default;
    friend void PrintTo(const Data& data, std::ostream* out) {
      if (data.dword) *out << data.number;
      else *out << '"' << std::string(data.text.begin(), data.text.end()) << '"';
    }
  };
  // Physical key (folded to lower case) → value name (folded) → data.
  using Keys = std::map<std::u16string, std::map<std::u16string, Data>>;

  explicit TwoViewRegistry(bool wow64 = true) : m_wow64(wow64) {}

  // The registry as a process of that bitness sees it.
  Win::Registry::IRegistry& As(Win::Registry::Bitness bitness) {
    return bitness == Win::Registry::Bitness::x64 ? m_x64 : m_x86;
  }
  // Where a key below a hive's "Software" lies physically for a process of
  // that bitness.
  std::u16string Physical(Win::Registry::Hive hive, Win::Registry::Bitness bitness, std::u16string_view key) const;
  // Every write or deletion of a key whose physical path contains `part`
  // fails with `status`.
  void FailOn(std::u16string part, Win::Registry::Status status) { m_failOn = std::move(part), m_failure = status; }

  const Keys& keys() const { return m_keys; }
  // The keys below a physical path, with it.
  Keys Below(std::u16string_view physical) const;

 private:
  class Process final : public Win::Registry::IRegistry {
   public:
    Process(TwoViewRegistry& registry, Win::Registry::Bitness bitness) : m_registry(registry), m_bitness(bitness) {}
    std::optional<std::u16string> ReadString(Win::Registry::Hive hive, Win::Registry::View view, std::u16string_view key,
                                             std::u16string_view name) override;
    bool Exists(Win::Registry::Hive hive, Win::Registry::View view, std::u16string_view key) override;
    Win::Registry::Status CreateKey(Win::Registry::Hive hive, std::u16string_view key) override;
    Win::Registry::Status SetString(Win::Registry::Hive hive, std::u16string_view key, std::u16string_view name,
                                    std::u16string_view text) override;
    Win::Registry::Status SetDword(Win::Registry::Hive hive, std::u16string_view key, std::u16string_view name,
                                   std::uint32_t number) override;
    Win::Registry::Status DeleteTree(Win::Registry::Hive hive, std::u16string_view key) override;

   private:
    Win::Registry::Bitness Seen(Win::Registry::View view) const;
    Win::Registry::Status Set(Win::Registry::Hive hive, std::u16string_view key, std::u16string_view name,
                              const Data* data);
    TwoViewRegistry& m_registry;
    Win::Registry::Bitness m_bitness;
  };

  bool Fails(const std::u16string& physical) const {
    return !m_failOn.empty() && physical.find(m_failOn) != std::u16string::npos;
  }

  bool m_wow64;
  Keys m_keys;
  std::u16string m_failOn;
  Win::Registry::Status m_failure = 0;
  Process m_x64{*this, Win::Registry::Bitness::x64}, m_x86{*this, Win::Registry::Bitness::x86};
};

}  // namespace CV::Test
