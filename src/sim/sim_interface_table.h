// The interface table of the simulation: it hands back the same object on
// every thread (simulated objects guard their own state) and counts live
// registrations so tests can check that nothing was left behind.
#pragma once

#include <map>
#include <mutex>

#include "foundation/interface_table.h"
#include "sim/fault_plan.h"

namespace CV::Sim {

class SimInterfaceTable final : public IInterfaceTable {
 public:
  HRESULT Register(const ObjectPtr& object, const Guid& iid, std::uint32_t& cookie) override;
  HRESULT Fetch(std::uint32_t cookie, const Guid& iid, ObjectPtr& object) override;
  HRESULT Revoke(std::uint32_t cookie) override;

  std::size_t RegisteredCount() const;
  // Faults for "Register", "Fetch" and "Revoke".
  void Plan(const std::string& call, FaultPlan plan);

 private:
  struct Entry {
    ObjectPtr object;
    Guid iid;
  };
  HRESULT Fault(const std::string& call);

  mutable std::mutex m_mutex;
  std::uint32_t m_next = 0x100;
  std::map<std::uint32_t, Entry> m_entries;
  std::map<std::string, FaultPlan> m_faults;
};

}  // namespace CV::Sim
