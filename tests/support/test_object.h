// A small portable object for the object-model tests on both sides of the
// COM bridge: property Name (get/put), ThreadId (the thread a call runs on),
// Self (the object itself), methods Add(a, b), Echo(v), Fail(hr) and Fire(dispid, args...) which sends
// an event to the sinks of kTestEventsIid. Live instances are counted.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "foundation/com_error.h"
#include "foundation/object.h"

namespace CV::Fake {

inline constexpr Guid kTestObjectIid = Guid::FromLiteral("{4C1E3D52-7A0B-4F6E-9C2D-1B3A5E7F9D01}");
inline constexpr Guid kTestEventsIid = Guid::FromLiteral("{4C1E3D52-7A0B-4F6E-9C2D-1B3A5E7F9D02}");

inline std::int32_t CurrentThreadTag() {
  return static_cast<std::int32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()) & 0x7FFFFFFF);
}

class TestObject final : public IObject, public std::enable_shared_from_this<TestObject> {
 public:
  TestObject() { ++Live(); }
  ~TestObject() override { --Live(); }
  static std::atomic<int>& Live() {
    static std::atomic<int> live{0};
    return live;
  }

  ObjectPtr QueryInterface(const Guid& iid) override {
    return iid == kTestObjectIid || iid == Guid::FromLiteral("00020400-0000-0000-C000-000000000046")
               ? shared_from_this() : nullptr;
  }

  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override {
    std::unique_lock lock(m_mutex);
    const auto i4 = [&](std::size_t k) { return args.at(k).ChangeType(VarType::I4).AsInt32(); };
    if (name == u"Name" && kind == InvokeKind::PropertyPut) m_name = args.at(0).ChangeType(VarType::Bstr).AsText();
    else if (name == u"Name") return Variant::FromBstr(Bstr(m_name));
    else if (name == u"ThreadId") return Variant::FromI4(CurrentThreadTag());
    else if (name == u"Add") return Variant::FromI4(i4(0) + i4(1));
    else if (name == u"Echo") return args.at(0);
    else if (name == u"Self") return Variant::FromObject(shared_from_this());
    else if (name == u"Fail") throw ComError(i4(0), kTestObjectIid, ErrorInfo{kTestObjectIid, u"TestObject", u"Absichtlich fehlgeschlagen"});
    else if (name == u"Fire") {
      std::vector<std::shared_ptr<IEventSink>> sinks;
      for (auto& [cookie, sink] : m_sinks) sinks.push_back(sink);
      lock.unlock();  // sinks may call back
      for (auto& sink : sinks) sink->OnEvent(i4(0), std::vector<Variant>(args.begin() + 1, args.end()));
      return Variant::FromI4(static_cast<std::int32_t>(sinks.size()));
    } else ThrowComError(DISP_E_MEMBERNOTFOUND, kTestObjectIid);
    return {};
  }

  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override {
    if (eventsIid != kTestEventsIid) ThrowComError(CONNECT_E_NOCONNECTION);
    std::lock_guard lock(m_mutex);
    m_sinks[++m_nextCookie] = std::move(sink);
    return m_nextCookie;
  }
  void Unadvise(std::uint32_t cookie) override {
    std::lock_guard lock(m_mutex);
    if (!m_sinks.erase(cookie)) ThrowComError(CONNECT_E_NOCONNECTION);
  }

  std::optional<std::int32_t> DispatchIdOf(std::u16string_view name) override {
    for (std::size_t i = 0; i < std::size(kNames); ++i)
      if (name == kNames[i]) return static_cast<std::int32_t>(i + 1);
    return std::nullopt;
  }
  std::optional<std::u16string> NameOfDispatchId(std::int32_t dispid) override {
    if (dispid < 1 || dispid > static_cast<std::int32_t>(std::size(kNames))) return std::nullopt;
    return std::u16string(kNames[dispid - 1]);
  }
  std::size_t SinkCount() {
    std::lock_guard lock(m_mutex);
    return m_sinks.size();
  }

 private:
  static constexpr std::u16string_view kNames[] = {u"Name", u"ThreadId", u"Add", u"Echo", u"Fail", u"Fire", u"Self"};
  std::mutex m_mutex;
  std::u16string m_name = u"Anfang";
  std::uint32_t m_nextCookie = 0;
  std::map<std::uint32_t, std::shared_ptr<IEventSink>> m_sinks;
};

// Records every event it receives.
class RecordingSink final : public IEventSink {
 public:
  struct Event {
    std::int32_t dispid;
    std::vector<Variant> args;
  };
  void OnEvent(std::int32_t dispid, const std::vector<Variant>& args) override {
    std::lock_guard lock(m_mutex);
    m_events.push_back({dispid, args});
  }
  std::vector<Event> Events() {
    std::lock_guard lock(m_mutex);
    return m_events;
  }

 private:
  std::mutex m_mutex;
  std::vector<Event> m_events;
};

}  // namespace CV::Fake
