// The COM bridge on real COM under Wine: a portable object exposed as a real
// IDispatch, called by name within an apartment and from an MTA worker
// through the global interface table, with events through connection points.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "foundation/interface_table.h"
#include "support/test_object.h"
#include "win/com/com_support.h"
#include "win/com/dispatch_object.h"
#include "win/com/exposed_object.h"
#include "win/com/ref_counted.h"
#include "support/errors.h"

namespace CV::Win {
namespace {

using Fake::TestObject;

class Apartment {
 public:
  explicit Apartment(DWORD model) { m_hr = ::CoInitializeEx(nullptr, model); }
  ~Apartment() {
    if (SUCCEEDED(m_hr)) ::CoUninitialize();
  }
  HRESULT Result() const { return m_hr; }

 private:
  HRESULT m_hr;
};

class ComBridge : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(LiveBridgeObjects(), 0) << "bridge objects leaked";
    EXPECT_EQ(TestObject::Live().load(), 0) << "portable objects leaked";
  }
};

TEST_F(ComBridge, CallsByNameThroughARealDispatch) {
  Apartment sta(COINIT_APARTMENTTHREADED);
  ASSERT_EQ(sta.Result(), S_OK);
  {
    auto object = std::make_shared<TestObject>();
    const IObject* const portable = object.get();
    ComPtr<IDispatch> raw = ComPtr<IDispatch>::Attach(ExposeObject(object));
    object.reset();  // the exposed object keeps it alive
    // A DispatchObject over the real pointer, as for any Outlook object.
    const ObjectPtr bridged = std::make_shared<DispatchObject>(raw, Fake::kTestObjectIid);

    EXPECT_EQ(GetProperty(bridged, u"Name").AsText(), u"Anfang");
    PutProperty(bridged, u"Name", Variant::FromBstr(u"Größe"));
    EXPECT_EQ(GetProperty(bridged, u"Name").AsText(), u"Größe");
    EXPECT_EQ(CallMethod(bridged, u"Add", {Variant::FromI4(40), Variant::FromI4(2)}).AsInt32(), 42);
    const Variant echoed = CallMethod(bridged, u"Echo", {Variant::FromBstr(Bstr::FromBytes("xyz", 3))});
    EXPECT_EQ(echoed.AsBstr().ByteLength(), 3u);

    try {
      CallMethod(bridged, u"Fail", {Variant::FromI4(static_cast<std::int32_t>(0x80070005u))});
      ADD_FAILURE() << "no error";
    } catch (const ComError& e) {
      EXPECT_EQ(e.Error(), E_ACCESSDENIED);
      EXPECT_EQ(e.InterfaceId(), Fake::kTestObjectIid);
      ASSERT_NE(e.Info(), nullptr);
      EXPECT_EQ(e.Info()->description, u"Absichtlich fehlgeschlagen");
      EXPECT_EQ(e.Info()->source, u"TestObject");
    }
    EXPECT_EQ(Fake::ErrorOf([&] { CallMethod(bridged, u"NoSuchMember"); }), DISP_E_UNKNOWNNAME);

    // QueryInterface with the real IID is the type test.
    EXPECT_NE(bridged->QueryInterface(Fake::kTestObjectIid), nullptr);
    EXPECT_EQ(bridged->QueryInterface(Guid::FromLiteral("00063034-0000-0000-C000-000000000046")), nullptr);

    // An object that comes back through a VARIANT in its own apartment is
    // the portable object itself, not a bridge over a bridge.
    const Variant self = CallMethod(bridged, u"Echo", {Variant::FromObject(bridged)});
    EXPECT_EQ(self.AsObject().get(), portable);
  }
}

// Every lookup of a name is a call into the object's apartment: a name is
// looked up once per interface, for all objects that have it. A bare
// IDispatch's names belong to its object alone, until the member that gave
// it declares its interface. Names that are not found are asked again.
TEST_F(ComBridge, NamesAreLookedUpOncePerInterface) {
  Apartment sta(COINIT_APARTMENTTHREADED);
  ASSERT_EQ(sta.Result(), S_OK);
  {
    constexpr Guid kInterface = Guid::FromLiteral("7d2b3c51-0e4f-4a8b-9f32-6d1e8ba45f22");
    constexpr Guid kDispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");
    std::vector<ComPtr<IDispatch>> raw;
    for (int i = 0; i < 3; ++i) raw.push_back(ComPtr<IDispatch>::Attach(ExposeObject(std::make_shared<TestObject>())));
    const auto served = [](const char* member) { return ExposedObject::ServedCalls()[member].calls; };
    ExposedObject::ResetServedCalls();

    for (const auto& object : raw) GetProperty(std::make_shared<DispatchObject>(object, kInterface), u"Name");
    EXPECT_EQ(served("GetIDsOfNames"), 1u);
    const ObjectPtr bare = std::make_shared<DispatchObject>(raw[0], kDispatch);
    GetProperty(bare, u"Name");
    GetProperty(bare, u"Name");
    EXPECT_EQ(served("GetIDsOfNames"), 2u);
    GetProperty(std::make_shared<DispatchObject>(raw[1], kDispatch), u"Name");
    EXPECT_EQ(served("GetIDsOfNames"), 3u);
    const ObjectPtr declared = DeclaredAs(std::make_shared<DispatchObject>(raw[2], kDispatch), kInterface);
    GetProperty(declared, u"Name");
    EXPECT_EQ(served("GetIDsOfNames"), 3u);
    EXPECT_EQ(served("Name"), 7u);
    EXPECT_EQ(served("QueryInterface"), 0u);  // COM's own probes are not calls of the object's

    for (int i = 0; i < 2; ++i) EXPECT_EQ(Fake::ErrorOf([&] { CallMethod(declared, u"NoSuchMember"); }), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(served("GetIDsOfNames"), 5u);
    EXPECT_NE(declared->QueryInterface(Fake::kTestObjectIid), nullptr);
    EXPECT_EQ(served("QueryInterface"), 1u);
    // The time inside the calls adds up from nothing: one call that takes
    // a while (its 32 MB argument copied there and back) is all of it.
    ExposedObject::ResetServedCalls();
    CallMethod(declared, u"Echo", {Variant::FromBstr(Bstr(std::u16string(16 << 20, u'x')))});
    const auto echo = ExposedObject::ServedCalls()["Echo"];
    EXPECT_GT(echo.longest.count(), 0);
    EXPECT_EQ(echo.total, echo.longest);
  }
}

// An IDispatch whose name lookup fails with a chosen code, as servers do in
// their own ways: both "unknown name" and "member not found" mean the object
// lacks the member; anything else is a failure of the call.
class LookupFails final : public RefCounted<IDispatch> {
 public:
  explicit LookupFails(HRESULT answer) : m_answer(answer) {}
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!::IsEqualIID(iid, IID_IUnknown) && !::IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override {
    ids[0] = DISPID_UNKNOWN;
    return m_answer;
  }
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  HRESULT m_answer;
};

TEST_F(ComBridge, ANameTheObjectLacksIsNoFailure) {
  const struct {
    HRESULT answer;
    bool lacks;
  } cases[] = {{DISP_E_UNKNOWNNAME, true}, {DISP_E_MEMBERNOTFOUND, true}, {E_OUTOFMEMORY, false}, {E_FAIL, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.answer);
    // A bare IDispatch: its names are its own, never another test's cache.
    auto bridged = std::make_shared<DispatchObject>(ComPtr<IDispatch>::Attach(new LookupFails(c.answer)),
                                                    Guid::FromLiteral("00020400-0000-0000-C000-000000000046"));
    if (c.lacks) EXPECT_EQ(bridged->DispatchIdOf(u"Name"), std::nullopt);
    else EXPECT_EQ(Fake::ErrorOf([&] { bridged->DispatchIdOf(u"Name"); }), c.answer);
  }
}

TEST_F(ComBridge, EventsThroughConnectionPoints) {
  Apartment sta(COINIT_APARTMENTTHREADED);
  ASSERT_EQ(sta.Result(), S_OK);
  {
    auto object = std::make_shared<TestObject>();
    ComPtr<IDispatch> raw = ComPtr<IDispatch>::Attach(ExposeObject(object));
    const ObjectPtr bridged = std::make_shared<DispatchObject>(raw, Fake::kTestObjectIid);
    auto sink = std::make_shared<Fake::RecordingSink>();

    const std::uint32_t cookie = bridged->Advise(Fake::kTestEventsIid, sink);
    EXPECT_EQ(object->SinkCount(), 1u);
    EXPECT_EQ(CallMethod(object, u"Fire", {Variant::FromI4(0xF007), Variant::FromBstr(u"Auswahl")}).AsInt32(), 1);
    bridged->Unadvise(cookie);
    EXPECT_EQ(object->SinkCount(), 0u);
    CallMethod(object, u"Fire", {Variant::FromI4(0xF008)});

    const auto events = sink->Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].dispid, 0xF007);
    ASSERT_EQ(events[0].args.size(), 1u);
    EXPECT_EQ(events[0].args[0].AsText(), u"Auswahl");

    EXPECT_THROW(bridged->Advise(Fake::kTestObjectIid, sink), ComError);  // no such connection point
    EXPECT_THROW(bridged->Unadvise(cookie), ComError);
  }
}

// Registered on an STA that pumps messages, fetched on an MTA worker and
// called by name there: the call runs on the STA thread.
// Runs work on a worker in the multithreaded apartment while this thread
// pumps messages, so that the worker's calls are served here.
void OnMtaWorker(const std::function<void()>& work) {
  HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread worker([&] {
    {
      Apartment mta(COINIT_MULTITHREADED);
      work();
    }
    ::SetEvent(done);
  });
  while (::MsgWaitForMultipleObjects(1, &done, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  worker.join();
  ::CloseHandle(done);
}

ComPtr<IUnknown> IdentityOf(const ObjectPtr& object) {
  const auto* bridged = dynamic_cast<DispatchObject*>(object.get());
  return bridged ? bridged->Dispatch().Query<IUnknown>(IID_IUnknown) : ComPtr<IUnknown>();
}

// One portable object is one COM object while anyone holds it: another
// apartment that holds it already gets its own proxy back (whose interfaces
// need no second call to ask for), not a second object.
TEST_F(ComBridge, APortableObjectHasOneIdentity) {
  Apartment sta(COINIT_APARTMENTTHREADED);
  ASSERT_EQ(sta.Result(), S_OK);
  std::uint32_t cookie = 0;
  {
    auto object = std::make_shared<TestObject>();
    auto first = ComPtr<IDispatch>::Attach(ExposeObject(object));
    auto again = ComPtr<IDispatch>::Attach(ExposeObject(object));
    auto other = ComPtr<IDispatch>::Attach(ExposeObject(std::make_shared<TestObject>()));
    EXPECT_EQ(first.Get(), again.Get());
    EXPECT_EQ(first->AddRef(), 3u);  // each exposure holds its own reference
    first->Release();
    EXPECT_NE(first.Get(), other.Get());
    ASSERT_EQ(DefaultInterfaceTable().Register(object, Fake::kTestObjectIid, cookie), S_OK);
  }
  EXPECT_EQ(TestObject::Live().load(), 1);  // the table holds it; the other one is gone
  bool same = false;
  OnMtaWorker([&] {
    ObjectPtr fetched;
    if (DefaultInterfaceTable().Fetch(cookie, Fake::kTestObjectIid, fetched) == S_OK) {
      const ObjectPtr self = GetProperty(fetched, u"Self").AsObject();
      same = IdentityOf(self) && IdentityOf(self).Get() == IdentityOf(fetched).Get();
    }
  });
  EXPECT_TRUE(same);
  EXPECT_EQ(DefaultInterfaceTable().Revoke(cookie), S_OK);
}

// An object that holds another COM object of this module, and lets it go
// when its own last reference goes.
class Holder final : public IObject {
 public:
  explicit Holder(ObjectPtr held) : m_held(std::move(held)) {}
  ObjectPtr QueryInterface(const Guid&) override { return nullptr; }
  Variant Invoke(std::u16string_view, InvokeKind, std::vector<Variant>) override { return {}; }
  std::uint32_t Advise(const Guid&, std::shared_ptr<IEventSink>) override { return 0; }
  void Unadvise(std::uint32_t) override {}

 private:
  ObjectPtr m_held;
};

TEST_F(ComBridge, TheLastReleaseLetsGoOfWhatItsObjectHolds) {
  auto inner = ComPtr<IDispatch>::Attach(ExposeObject(std::make_shared<TestObject>()));
  IDispatch* outer = ExposeObject(std::make_shared<Holder>(std::make_shared<DispatchObject>(inner, Fake::kTestObjectIid)));
  inner = {};
  std::promise<void> released;
  std::thread([&] {
    outer->Release();  // releases the inner object on its way
    released.set_value();
  }).detach();
  ASSERT_EQ(released.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready) << "deadlocked";
  EXPECT_EQ(LiveBridgeObjects(), 0);
}

// Exposed and dropped on several threads at once: an object whose last
// reference goes is never handed out again.
TEST_F(ComBridge, OneIdentityWhileThreadsExposeAndDropItAtOnce) {
  auto object = std::make_shared<TestObject>();
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        IDispatch* first = ExposeObject(object);
        IDispatch* second = ExposeObject(object);
        if (first != second) ++wrong;
        second->Release();
        DISPID dispid = 0;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(L"Name")};
        if (FAILED(first->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid))) ++wrong;
        first->Release();
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  object.reset();
}

TEST_F(ComBridge, AcrossApartmentsThroughTheGlobalInterfaceTable) {
  Apartment sta(COINIT_APARTMENTTHREADED);
  ASSERT_EQ(sta.Result(), S_OK);
  const std::int32_t staThread = Fake::CurrentThreadTag();
  std::uint32_t cookie = 0;
  {
    auto object = std::make_shared<TestObject>();
    ASSERT_EQ(DefaultInterfaceTable().Register(object, Fake::kTestObjectIid, cookie), S_OK);
  }
  std::int32_t calledOn = 0, sum = 0;
  HRESULT failure = S_OK;
  std::u16string description;
  bool wasProxy = false;
  OnMtaWorker([&] {
    ObjectPtr fetched;
    if (DefaultInterfaceTable().Fetch(cookie, Fake::kTestObjectIid, fetched) == S_OK) {
      wasProxy = dynamic_cast<DispatchObject*>(fetched.get()) != nullptr;
      calledOn = GetProperty(fetched, u"ThreadId").AsInt32();
      sum = CallMethod(fetched, u"Add", {Variant::FromI4(2), Variant::FromI4(3)}).AsInt32();
      try {
        CallMethod(fetched, u"Fail", {Variant::FromI4(static_cast<std::int32_t>(0x80004004u))});
      } catch (const ComError& e) {
        failure = e.Error();
        if (e.Info()) description = e.Info()->description;
      }
    }
  });

  EXPECT_TRUE(wasProxy);
  EXPECT_EQ(calledOn, staThread);
  EXPECT_EQ(sum, 5);
  EXPECT_EQ(failure, E_ABORT);
  EXPECT_EQ(description, u"Absichtlich fehlgeschlagen");
  EXPECT_EQ(DefaultInterfaceTable().Revoke(cookie), S_OK);
  EXPECT_NE(DefaultInterfaceTable().Revoke(cookie), S_OK);
}

}  // namespace
}  // namespace CV::Win
