// A small portable object for the object-model tests on both sides of the
// COM bridge: properties Name (get/put), Count (get) and ThreadId (get: the
// thread the call runs on), methods Add(a, b), Echo(v), Fail(hr) and
// Fire(dispid, value), and an event interface. Live instances are counted.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "foundation/com_error.h"
#include "foundation/object.h"

namespace CV::Fake {

inline constexpr Guid kTestObjectIid = Guid::FromLiteral("{4C1E3D52-7A0B-4F6E-9C2D-1B3A5E7F9D01}");
inline constexpr Guid kTestEventsIid = Guid::FromLiteral("{4C1E3D52-7A0B-4F6E-9C2D-1B3A5E7F9D02}");
inline constexpr Guid kDispatchIid = Guid::FromLiteral("{00020400-0000-0000-C000-000000000046}");

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
    if (iid == kTestObjectIid || iid == kDispatchIid) return shared_from_this();
    return nullptr;
  }

  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override {
    std::unique_lock lock(m_mutex);
    if (name == u"Name") {
      if (kind == InvokeKind::PropertyPut) {
        m_name = args.at(0).ChangeType(VarType::Bstr).AsText();
        return {};
      }
      return Variant::FromBstr(Bstr(m_name));
    }
    if (name == u"Count") return Variant::FromI4(++m_count);
    if (name == u"ThreadId") return Variant::FromI4(CurrentThreadTag());
    if (name == u"Add") {
      if (args.size() != 2) ThrowComError(DISP_E_BADPARAMCOUNT, kTestObjectIid);
      return Variant::FromI4(args[0].ChangeType(VarType::I4).AsInt32() + args[1].ChangeType(VarType::I4).AsInt32());
    }
    if (name == u"Echo") return args.at(0);
    if (name == u"Fail") {
      const HRESULT hr = args.at(0).ChangeType(VarType::I4).AsInt32();
      throw ComError(hr, kTestObjectIid, ErrorInfo{kTestObjectIid, u"TestObject", u"Absichtlich fehlgeschlagen"});
    }
    if (name == u"Fire") {
      std::vector<std::shared_ptr<IEventSink>> sinks;
      for (auto& [cookie, sink] : m_sinks) sinks.push_back(sink);
      lock.unlock();  // sinks may call back
      const std::int32_t dispid = args.at(0).AsInt32();
      std::vector<Variant> eventArgs(args.begin() + 1, args.end());
      for (auto& sink : sinks) sink->OnEvent(dispid, eventArgs);
      return Variant::FromI4(static_cast<std::int32_t>(sinks.size()));
    }
    ThrowComError(DISP_E_MEMBERNOTFOUND, kTestObjectIid);
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
  static constexpr std::u16string_view kNames[] = {u"Name", u"Count", u"ThreadId", u"Add",
                                                    u"Echo", u"Fail",  u"Fire"};
  std::mutex m_mutex;
  std::u16string m_name = u"Anfang";
  std::int32_t m_count = 0;
  std::uint32_t m_nextCookie = 0;
  std::map<std::uint32_t, std::shared_ptr<IEventSink>> m_sinks;
};

// Records every event it receives.
class RecordingSink final : public IEventSink {
 public:
  void OnEvent(std::int32_t dispid, const std::vector<Variant>& args) override {
    std::lock_guard lock(m_mutex);
    events.push_back({dispid, args});
  }
  struct Event {
    std::int32_t dispid;
    std::vector<Variant> args;
  };
  std::vector<Event> Events() {
    std::lock_guard lock(m_mutex);
    return events;
  }

 private:
  std::mutex m_mutex;
  std::vector<Event> events;
};

}  // namespace CV::Fake
