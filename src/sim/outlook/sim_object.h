// The base of every simulated Outlook and Office object: members by name,
// the interfaces it answers, connection points, and per-member faults and
// call counts. All objects of one simulated Outlook share one lock, so they
// may be called from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/object.h"
#include "sim/fault_plan.h"
#include "sim/sim_apartment.h"

namespace CV::Sim {

// What the objects of one simulated Outlook share.
class SimWorld {
 public:
  std::recursive_mutex& Lock() noexcept { return m_lock; }
  std::atomic<int>& LiveObjects() noexcept { return m_live; }
  // A fresh identifier ("00000001..."), for EntryIDs and StoreIDs.
  std::u16string NextId(std::u16string_view prefix);

  // Fails the n-th call (1-based) of any member of any object, once, with hr;
  // every call is counted. For fault sweeps.
  void FailNthCall(std::uint64_t n, std::int32_t hr);
  std::uint64_t TotalCalls();
  // Counts the call and throws the planned fault (under the world's lock).
  void Hit(const Guid& iid);

  // The application object, for the members that return it.
  void SetApplication(std::weak_ptr<IObject> application);
  ObjectPtr Application();
  // Where SaveAs and SaveAsFile write (the platform's file system unless a
  // test puts another in its place).
  void SetFileSystem(std::shared_ptr<FS::IFileSystem> fs);
  FS::IFileSystem& FileSystem();

  // The language of Outlook's user interface: it names the header fields and
  // the image folder that SaveAs writes.
  enum class Language { German, English };
  void SetLanguage(Language language) noexcept { m_language = language; }
  Language UiLanguage() const noexcept { return m_language; }

  // The apartment the objects live in, as Outlook's live in its UI thread's
  // apartment; null (the default): they answer on every thread.
  void SetApartment(std::shared_ptr<SimApartment> apartment);
  // Runs f, a call of member, where the objects live.
  template <class F>
  auto InApartment(std::string_view member, F&& f) -> decltype(f()) {
    std::shared_ptr<SimApartment> apartment;
    {
      std::lock_guard lock(m_apartmentLock);
      apartment = m_apartment;
    }
    CountCrossing(member, apartment.get());
    if (!apartment) return f();
    return apartment->Call(std::forward<F>(f));
  }

  // Calls that came from a thread other than the objects' own (the
  // apartment's owner, or the thread that made the world when there is no
  // apartment), by member: each one is served by Outlook's UI thread.
  std::map<std::string, std::uint64_t, std::less<>> Crossings() const;

 private:
  void CountCrossing(std::string_view member, const SimApartment* apartment);

  const std::thread::id m_home = std::this_thread::get_id();
  mutable std::mutex m_crossingLock;
  std::map<std::string, std::uint64_t, std::less<>> m_crossings;
  std::weak_ptr<IObject> m_application;
  std::shared_ptr<FS::IFileSystem> m_fs;
  std::atomic<Language> m_language{Language::German};
  std::mutex m_apartmentLock;
  std::shared_ptr<SimApartment> m_apartment;
  FaultPlan m_any;
  std::recursive_mutex m_lock;
  std::atomic<int> m_live{0};
  std::uint64_t m_nextId = 1;
};

class SimObject : public IObject, public std::enable_shared_from_this<SimObject> {
 public:
  using Handler = std::function<Variant(std::vector<Variant>&)>;

  SimObject(std::shared_ptr<SimWorld> world, Guid primaryIid);
  ~SimObject() override;
  SimObject(const SimObject&) = delete;
  SimObject& operator=(const SimObject&) = delete;

  ObjectPtr QueryInterface(const Guid& iid) override;
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override;
  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override;
  void Unadvise(std::uint32_t cookie) override;

  // Faults: member is a member name, "QueryInterface", "Advise" or "Unadvise".
  void Fail(const std::string& member, FaultPlan plan);
  void FailAlways(const std::string& member, HRESULT hr) { Fail(member, FaultPlan{hr, 1, true}); }
  // Every member, and the type test, fails from now on, as a corrupt item's do;
  // with a description Outlook gives with the error, when there is one.
  void FailEverything(HRESULT hr, std::u16string description = {});
  std::uint64_t Calls(const std::string& member) const;
  std::size_t SinkCount(const Guid& eventsIid) const;
  // Lets go of every advised sink, as an object does when it is destroyed.
  void DropSinks();

  // Sends an event to every sink advised on eventsIid, outside the lock.
  void Fire(const Guid& eventsIid, std::int32_t dispid, const std::vector<Variant>& args = {});

  const Guid& PrimaryIid() const noexcept { return m_primaryIid; }
  SimWorld& World() noexcept { return *m_world; }
  const std::shared_ptr<SimWorld>& WorldPtr() noexcept { return m_world; }

 protected:
  // Property gets also answer method calls, as Outlook's dual interfaces do.
  void Get(std::u16string name, Handler handler);
  void Put(std::u16string name, Handler handler);
  void Method(std::u16string name, Handler handler);
  void Answers(const Guid& iid) { m_iids.insert(iid); }
  void Sources(const Guid& eventsIid) { m_eventIids.insert(eventsIid); }
  // Throws the fault planned for member, counting the call.
  void Hit(const std::string& member);

  template <class T>
  std::shared_ptr<T> Self() {
    return std::static_pointer_cast<T>(shared_from_this());
  }

 private:
  Variant InvokeHere(std::u16string_view name, InvokeKind kind, std::vector<Variant>& args);

  std::shared_ptr<SimWorld> m_world;
  Guid m_primaryIid;
  std::set<Guid> m_iids;
  std::set<Guid> m_eventIids;
  std::map<std::u16string, Handler, std::less<>> m_getters, m_putters, m_methods;
  std::map<std::string, FaultPlan> m_faults;
  FaultPlan m_everything;
  std::u16string m_everythingDescription;
  std::map<std::string, std::uint64_t> m_calls;
  struct Connection {
    Guid iid;
    std::shared_ptr<IEventSink> sink;
  };
  std::map<std::uint32_t, Connection> m_connections;
  std::uint32_t m_nextCookie = 0;
};

// Helpers for handlers.
Variant Obj(const ObjectPtr& object);
Variant Text(std::u16string_view text);
std::int32_t IndexArgument(const std::vector<Variant>& args);

}  // namespace CV::Sim
