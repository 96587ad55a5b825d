#include "sim/outlook/sim_object.h"

#include "foundation/com_error.h"
#include "foundation/format.h"
#include "foundation/utf.h"

namespace CV::Sim {

namespace {
constexpr Guid kDispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");
}

std::u16string SimWorld::NextId(std::u16string_view prefix) {
  std::lock_guard lock(m_lock);
  return std::u16string(prefix) + Format(u"%016llX", static_cast<unsigned long long>(m_nextId++));
}

void SimWorld::FailNthCall(std::uint64_t n, std::int32_t hr) {
  std::lock_guard lock(m_lock);
  m_any = FaultPlan{hr, n, false};
}

std::uint64_t SimWorld::TotalCalls() {
  std::lock_guard lock(m_lock);
  return m_any.calls;
}

void SimWorld::Hit(const Guid& iid) {
  std::lock_guard lock(m_lock);
  if (m_any.NextCallFails()) ThrowComError(m_any.error, iid);
}

void SimWorld::SetApplication(std::weak_ptr<IObject> application) {
  std::lock_guard lock(m_lock);
  m_application = std::move(application);
}

ObjectPtr SimWorld::Application() {
  std::lock_guard lock(m_lock);
  return m_application.lock();
}

void SimWorld::SetFileSystem(std::shared_ptr<FS::IFileSystem> fs) {
  std::lock_guard lock(m_lock);
  m_fs = std::move(fs);
}

FS::IFileSystem& SimWorld::FileSystem() {
  std::lock_guard lock(m_lock);
  return m_fs ? *m_fs : FS::DefaultFileSystem();
}

void SimWorld::CountCrossing(std::string_view member, const SimApartment* apartment) {
  const bool crossing = apartment ? !apartment->IsOwnerThread() : std::this_thread::get_id() != m_home;
  if (!crossing) return;
  std::lock_guard lock(m_crossingLock);
  auto it = m_crossings.find(member);
  if (it == m_crossings.end()) it = m_crossings.emplace(std::string(member), 0).first;
  ++it->second;
}

std::map<std::string, std::uint64_t, std::less<>> SimWorld::Crossings() const {
  std::lock_guard lock(m_crossingLock);
  return m_crossings;
}

void SimWorld::SetApartment(std::shared_ptr<SimApartment> apartment) {
  std::lock_guard lock(m_apartmentLock);
  m_apartment = std::move(apartment);
}

SimObject::SimObject(std::shared_ptr<SimWorld> world, Guid primaryIid)
    : m_world(std::move(world)), m_primaryIid(primaryIid) {
  m_iids.insert(primaryIid);
  ++m_world->LiveObjects();
}

SimObject::~SimObject() { --m_world->LiveObjects(); }

void SimObject::Hit(const std::string& member) {
  ++m_calls[member];
  m_world->Hit(m_primaryIid);
  if (m_everything.NextCallFails()) {
    if (m_everythingDescription.empty()) ThrowComError(m_everything.error, m_primaryIid);
    throw ComError(m_everything.error, m_primaryIid, ErrorInfo{m_primaryIid, u"Microsoft Outlook", m_everythingDescription});
  }
  const auto it = m_faults.find(member);
  if (it != m_faults.end() && it->second.NextCallFails()) ThrowComError(it->second.error, m_primaryIid);
}

ObjectPtr SimObject::QueryInterface(const Guid& iid) {
  return m_world->InApartment("QueryInterface", [&]() -> ObjectPtr {
    std::lock_guard lock(m_world->Lock());
    Hit("QueryInterface");
    if (iid == kDispatch || m_iids.count(iid)) return shared_from_this();
    return nullptr;
  });
}

Variant SimObject::Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) {
  return m_world->InApartment(ToUtf8(name), [&] { return InvokeHere(name, kind, args); });
}

Variant SimObject::InvokeHere(std::u16string_view name, InvokeKind kind, std::vector<Variant>& args) {
  std::lock_guard lock(m_world->Lock());
  Hit(ToUtf8(name));
  const auto find = [&](const auto& table) -> const Handler* {
    const auto it = table.find(name);
    return it == table.end() ? nullptr : &it->second;
  };
  const Handler* handler = nullptr;
  if (kind == InvokeKind::PropertyPut) {
    handler = find(m_putters);
  } else {
    handler = find(m_methods);
    if (!handler) handler = find(m_getters);
  }
  if (!handler) ThrowComError(DISP_E_UNKNOWNNAME, m_primaryIid);
  return (*handler)(args);
}

std::uint32_t SimObject::Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) {
  return m_world->InApartment("Advise", [&] {
    std::lock_guard lock(m_world->Lock());
    Hit("Advise");
    if (!m_eventIids.count(eventsIid)) ThrowComError(CONNECT_E_NOCONNECTION, m_primaryIid);
    if (!sink) ThrowComError(E_POINTER, m_primaryIid);
    m_connections[++m_nextCookie] = Connection{eventsIid, std::move(sink)};
    return m_nextCookie;
  });
}

void SimObject::Unadvise(std::uint32_t cookie) {
  m_world->InApartment("Unadvise", [&] {
    std::lock_guard lock(m_world->Lock());
    Hit("Unadvise");
    if (!m_connections.erase(cookie)) ThrowComError(CONNECT_E_NOCONNECTION, m_primaryIid);
  });
}

void SimObject::FailEverything(HRESULT hr, std::u16string description) {
  std::lock_guard lock(m_world->Lock());
  m_everything = FaultPlan{hr, 1, true};
  m_everythingDescription = std::move(description);
}

void SimObject::Fail(const std::string& member, FaultPlan plan) {
  std::lock_guard lock(m_world->Lock());
  m_faults[member] = plan;
}

std::uint64_t SimObject::Calls(const std::string& member) const {
  std::lock_guard lock(m_world->Lock());
  const auto it = m_calls.find(member);
  return it == m_calls.end() ? 0 : it->second;
}

std::size_t SimObject::SinkCount(const Guid& eventsIid) const {
  std::lock_guard lock(m_world->Lock());
  std::size_t n = 0;
  for (const auto& [cookie, c] : m_connections) n += c.iid == eventsIid;
  return n;
}

void SimObject::DropSinks() {
  std::map<std::uint32_t, Connection> dropped;
  {
    std::lock_guard lock(m_world->Lock());
    dropped.swap(m_connections);
  }
  // The sinks are released here, outside the lock.
}

void SimObject::Fire(const Guid& eventsIid, std::int32_t dispid, const std::vector<Variant>& args) {
  std::vector<std::shared_ptr<IEventSink>> sinks;
  {
    std::lock_guard lock(m_world->Lock());
    for (const auto& [cookie, c] : m_connections)
      if (c.iid == eventsIid) sinks.push_back(c.sink);
  }
  for (const auto& sink : sinks) sink->OnEvent(dispid, args);
}

void SimObject::Get(std::u16string name, Handler handler) { m_getters[std::move(name)] = std::move(handler); }
void SimObject::Put(std::u16string name, Handler handler) { m_putters[std::move(name)] = std::move(handler); }
void SimObject::Method(std::u16string name, Handler handler) { m_methods[std::move(name)] = std::move(handler); }

Variant Obj(const ObjectPtr& object) { return Variant::FromObject(object); }
Variant Text(std::u16string_view text) { return Variant::FromBstr(Bstr(text)); }

std::int32_t IndexArgument(const std::vector<Variant>& args) {
  if (args.size() != 1) ThrowComError(DISP_E_BADPARAMCOUNT);
  return args[0].ChangeType(VarType::I4).AsInt32();
}

}  // namespace CV::Sim
