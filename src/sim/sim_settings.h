// The settings store of the simulation: keys by path, values with their raw
// bytes and type, and faults for "OpenUserKey", "QueryValueInfo" and
// "QueryValueData".
#pragma once

#include <map>
#include <mutex>

#include "foundation/settings.h"
#include "sim/fault_plan.h"

namespace CV::Sim {

class SimSettings final : public ISettings {
 public:
  struct Value {
    RegType type;
    std::vector<std::uint8_t> data;
  };

  std::int32_t OpenUserKey(std::u16string_view path, std::unique_ptr<ISettingsKey>& key) override;

  void Set(std::u16string_view path, std::u16string_view name, RegType type, std::vector<std::uint8_t> data);
  bool HasKey(std::u16string_view path);
  void Plan(const std::string& call, FaultPlan plan);

 private:
  friend class SimSettingsKey;
  std::int32_t Fault(const std::string& call);

  std::recursive_mutex m_mutex;
  std::map<std::u16string, std::map<std::u16string, Value>> m_keys;
  std::map<std::string, FaultPlan> m_faults;
};

}  // namespace CV::Sim
