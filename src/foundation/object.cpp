#include "foundation/object.h"

#include <map>
#include <mutex>

#include "foundation/abandon.h"
#include "foundation/com_error.h"

namespace CV {
namespace {

// Names numbered process-wide, so one name has one id on every object.
class DispatchIdRegistry {
 public:
  std::int32_t IdOf(std::u16string_view name) {
    std::lock_guard lock(m_mutex);
    const auto it = m_ids.find(std::u16string(name));
    if (it != m_ids.end()) return it->second;
    const std::int32_t id = m_next++;
    m_ids.emplace(name, id);
    m_names.emplace(id, name);
    return id;
  }
  std::optional<std::u16string> NameOf(std::int32_t id) {
    std::lock_guard lock(m_mutex);
    const auto it = m_names.find(id);
    if (it == m_names.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::mutex m_mutex;
  std::int32_t m_next = 0x10000;
  std::map<std::u16string, std::int32_t> m_ids;
  std::map<std::int32_t, std::u16string> m_names;
};

DispatchIdRegistry& Registry() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* registry = new DispatchIdRegistry;
  return *registry;
}

}  // namespace

std::optional<std::int32_t> IObject::DispatchIdOf(std::u16string_view name) { return Registry().IdOf(name); }
std::optional<std::u16string> IObject::NameOfDispatchId(std::int32_t dispid) { return Registry().NameOf(dispid); }

std::shared_ptr<IObject> IObject::Declared(const Guid&) { return nullptr; }

ObjectPtr DeclaredAs(const ObjectPtr& object, const Guid& iid) {
  if (!object) return nullptr;
  ObjectPtr declared = object->Declared(iid);
  return declared ? declared : object;
}

ObjectPtr QueryObject(const ObjectPtr& object, const Guid& iid) {
  ThrowIfAbandoned();
  if (!object) ThrowComError(E_POINTER, iid);
  return object->QueryInterface(iid);
}

Variant GetProperty(const ObjectPtr& object, std::u16string_view name, std::vector<Variant> args) {
  ThrowIfAbandoned();
  if (!object) ThrowComError(E_POINTER);
  return object->Invoke(name, InvokeKind::PropertyGet, std::move(args));
}

void PutProperty(const ObjectPtr& object, std::u16string_view name, Variant value) {
  ThrowIfAbandoned();
  if (!object) ThrowComError(E_POINTER);
  std::vector<Variant> args;
  args.push_back(std::move(value));
  object->Invoke(name, InvokeKind::PropertyPut, std::move(args));
}

Variant CallMethod(const ObjectPtr& object, std::u16string_view name, std::vector<Variant> args) {
  ThrowIfAbandoned();
  if (!object) ThrowComError(E_POINTER);
  return object->Invoke(name, InvokeKind::Method, std::move(args));
}

}  // namespace CV
