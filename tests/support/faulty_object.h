// An object that forwards every call to another one and fails chosen
// members on demand (by name, with a FaultPlan), counting the calls: for
// injecting faults into components we do not simulate, such as the writer.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "foundation/com_error.h"
#include "foundation/object.h"
#include "foundation/utf.h"
#include "sim/fault_plan.h"

namespace CV::Fake {

class FaultyObject final : public IObject, public std::enable_shared_from_this<FaultyObject> {
 public:
  explicit FaultyObject(ObjectPtr target) : m_target(std::move(target)) {}

  void Fail(const std::string& member, Sim::FaultPlan plan) {
    std::lock_guard lock(m_mutex);
    m_plans[member] = plan;
  }
  std::uint64_t Calls(const std::string& member) {
    std::lock_guard lock(m_mutex);
    return m_plans[member].calls;
  }
  const ObjectPtr& Target() const { return m_target; }

  ObjectPtr QueryInterface(const Guid& iid) override {
    return m_target->QueryInterface(iid) ? shared_from_this() : nullptr;
  }
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override {
    Hit(ToUtf8(name));
    return m_target->Invoke(name, kind, std::move(args));
  }
  // "Advise" and "Unadvise" fail on demand like the members.
  std::uint32_t Advise(const Guid& iid, std::shared_ptr<IEventSink> sink) override {
    Hit("Advise");
    return m_target->Advise(iid, sink);
  }
  void Unadvise(std::uint32_t cookie) override {
    Hit("Unadvise");
    m_target->Unadvise(cookie);
  }

 private:
  void Hit(const std::string& member) {
    std::lock_guard lock(m_mutex);
    Sim::FaultPlan& plan = m_plans[member];
    if (plan.NextCallFails()) ThrowComError(plan.error);
  }

  ObjectPtr m_target;
  std::mutex m_mutex;
  std::map<std::string, Sim::FaultPlan> m_plans;
};

}  // namespace CV::Fake
