#include "sim/sim_settings.h"

#include "foundation/hresult.h"

namespace CV::Sim {

class SimSettingsKey final : public ISettingsKey {
 public:
  SimSettingsKey(SimSettings& owner, std::u16string path) : m_owner(owner), m_path(std::move(path)) {}

  std::int32_t QueryValueInfo(std::u16string_view name, RegType& type, std::uint32_t& size) override {
    std::lock_guard lock(m_owner.m_mutex);
    if (const std::int32_t error = m_owner.Fault("QueryValueInfo")) return error;
    const SimSettings::Value* value = Find(name);
    if (!value) return Win32Error::FileNotFound;
    type = value->type;
    size = static_cast<std::uint32_t>(value->data.size());
    return 0;
  }
  std::int32_t QueryValueData(std::u16string_view name, std::vector<std::uint8_t>& data) override {
    std::lock_guard lock(m_owner.m_mutex);
    if (const std::int32_t error = m_owner.Fault("QueryValueData")) return error;
    const SimSettings::Value* value = Find(name);
    if (!value) return Win32Error::FileNotFound;
    data = value->data;
    return 0;
  }
  std::int32_t WriteValue(std::u16string_view name, RegType type, const std::vector<std::uint8_t>& data) override {
    m_owner.Set(m_path, name, type, data);
    return 0;
  }

 private:
  const SimSettings::Value* Find(std::u16string_view name) {
    auto& values = m_owner.m_keys[m_path];
    const auto it = values.find(std::u16string(name));
    return it == values.end() ? nullptr : &it->second;
  }

  SimSettings& m_owner;
  std::u16string m_path;
};

std::int32_t SimSettings::Fault(const std::string& call) {
  const auto it = m_faults.find(call);
  if (it != m_faults.end() && it->second.NextCallFails()) return it->second.error;
  return 0;
}

std::int32_t SimSettings::OpenUserKey(std::u16string_view path, std::unique_ptr<ISettingsKey>& key) {
  std::lock_guard lock(m_mutex);
  if (const std::int32_t error = Fault("OpenUserKey")) return error;
  m_keys[std::u16string(path)];  // created when missing
  key = std::make_unique<SimSettingsKey>(*this, std::u16string(path));
  return 0;
}

void SimSettings::Set(std::u16string_view path, std::u16string_view name, RegType type, std::vector<std::uint8_t> data) {
  std::lock_guard lock(m_mutex);
  m_keys[std::u16string(path)][std::u16string(name)] = Value{type, std::move(data)};
}

bool SimSettings::HasKey(std::u16string_view path) {
  std::lock_guard lock(m_mutex);
  return m_keys.count(std::u16string(path)) != 0;
}

void SimSettings::Plan(const std::string& call, FaultPlan plan) {
  std::lock_guard lock(m_mutex);
  m_faults[call] = plan;
}

}  // namespace CV::Sim
