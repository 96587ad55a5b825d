#include "sim/sim_interface_table.h"

namespace CV::Sim {

HRESULT SimInterfaceTable::Fault(const std::string& call) {
  const auto it = m_faults.find(call);
  if (it != m_faults.end() && it->second.NextCallFails()) return it->second.error;
  return S_OK;
}

HRESULT SimInterfaceTable::Register(const ObjectPtr& object, const Guid& iid, std::uint32_t& cookie) {
  std::lock_guard lock(m_mutex);
  if (const HRESULT hr = Fault("Register"); Failed(hr)) return hr;
  if (!object) return E_INVALIDARG;
  cookie = m_next++;
  m_entries[cookie] = Entry{object, iid};
  return S_OK;
}

HRESULT SimInterfaceTable::Fetch(std::uint32_t cookie, const Guid&, ObjectPtr& object) {
  std::lock_guard lock(m_mutex);
  if (const HRESULT hr = Fault("Fetch"); Failed(hr)) return hr;
  const auto it = m_entries.find(cookie);
  if (it == m_entries.end()) return E_INVALIDARG;
  object = it->second.object;
  return S_OK;
}

HRESULT SimInterfaceTable::Revoke(std::uint32_t cookie) {
  std::lock_guard lock(m_mutex);
  if (const HRESULT hr = Fault("Revoke"); Failed(hr)) return hr;
  return m_entries.erase(cookie) ? S_OK : E_INVALIDARG;
}

std::size_t SimInterfaceTable::RegisteredCount() const {
  std::lock_guard lock(m_mutex);
  return m_entries.size();
}

void SimInterfaceTable::Plan(const std::string& call, FaultPlan plan) {
  std::lock_guard lock(m_mutex);
  m_faults[call] = plan;
}

}  // namespace CV::Sim
