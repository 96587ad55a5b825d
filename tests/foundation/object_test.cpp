// The portable object model through the simulation's interface table.
#include <gtest/gtest.h>

#include <thread>

#include "foundation/com_error.h"
#include "foundation/interface_table.h"
#include "foundation/object.h"
#include "sim/sim_interface_table.h"
#include "support/test_object.h"

namespace CV {
namespace {

using Fake::TestObject;

TEST(Object, CallsByNameAndFailures) {
  auto object = std::make_shared<TestObject>();
  const ObjectPtr p = object;
  EXPECT_EQ(GetProperty(p, u"Name").AsText(), u"Anfang");
  PutProperty(p, u"Name", Variant::FromI4(12));  // converted by the object
  EXPECT_EQ(GetProperty(p, u"Name").AsText(), u"12");
  EXPECT_EQ(CallMethod(p, u"Add", {Variant::FromI4(2), Variant::FromBstr(u"3")}).AsInt32(), 5);
  try {
    CallMethod(p, u"Fail", {Variant::FromI4(static_cast<std::int32_t>(0x80070005u))});
    ADD_FAILURE() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Error(), E_ACCESSDENIED);
    ASSERT_NE(e.Info(), nullptr);
    EXPECT_EQ(e.Info()->description, u"Absichtlich fehlgeschlagen");
  }
  EXPECT_THROW(CallMethod(p, u"Missing"), ComError);
  EXPECT_THROW(CallMethod(nullptr, u"Add"), ComError);  // E_POINTER on an empty reference
  try {
    GetProperty(nullptr, u"Name");
  } catch (const ComError& e) {
    EXPECT_EQ(e.Error(), E_POINTER);
  }
}

TEST(Object, QueryInterfaceIsTheTypeTest) {
  auto object = std::make_shared<TestObject>();
  EXPECT_EQ(object->QueryInterface(Fake::kTestObjectIid), object);
  EXPECT_EQ(object->QueryInterface(Guid::FromLiteral("00063034-0000-0000-C000-000000000046")), nullptr);
}

TEST(Object, EventsReachAdvisedSinksOnly) {
  auto object = std::make_shared<TestObject>();
  auto sink = std::make_shared<Fake::RecordingSink>();
  const std::uint32_t cookie = object->Advise(Fake::kTestEventsIid, sink);
  EXPECT_THROW(object->Advise(Fake::kTestObjectIid, sink), ComError);
  CallMethod(object, u"Fire", {Variant::FromI4(0xF007), Variant::FromBstr(u"x")});
  object->Unadvise(cookie);
  EXPECT_THROW(object->Unadvise(cookie), ComError);
  CallMethod(object, u"Fire", {Variant::FromI4(0xF008)});
  const auto events = sink->Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].dispid, 0xF007);
  ASSERT_EQ(events[0].args.size(), 1u);
  EXPECT_EQ(events[0].args[0].AsText(), u"x");
}

TEST(DispatchIds, OneNameOneIdAcrossObjects) {
  class Plain final : public IObject {
   public:
    ObjectPtr QueryInterface(const Guid&) override { return nullptr; }
    Variant Invoke(std::u16string_view, InvokeKind, std::vector<Variant>) override { return {}; }
    std::uint32_t Advise(const Guid&, std::shared_ptr<IEventSink>) override { return 0; }
    void Unadvise(std::uint32_t) override {}
  } a, b;
  const auto id = a.DispatchIdOf(u"Selection");
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(b.DispatchIdOf(u"Selection"), id);
  EXPECT_NE(a.DispatchIdOf(u"Explorers"), id);
  EXPECT_EQ(b.NameOfDispatchId(*id), u"Selection");
  EXPECT_FALSE(a.NameOfDispatchId(-5).has_value());
}

TEST(SimInterfaceTable, RegisterFetchRevokeAcrossThreads) {
  Sim::SimInterfaceTable table;
  auto object = std::make_shared<TestObject>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(table.Register(object, Fake::kTestObjectIid, cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(table.RegisteredCount(), 1u);
  ObjectPtr fetched;
  std::thread worker([&] { EXPECT_EQ(table.Fetch(cookie, Fake::kTestObjectIid, fetched), S_OK); });
  worker.join();
  EXPECT_EQ(fetched, object);
  EXPECT_EQ(table.Revoke(cookie), S_OK);
  EXPECT_EQ(table.Revoke(cookie), E_INVALIDARG);
  EXPECT_EQ(table.Fetch(cookie, Fake::kTestObjectIid, fetched), E_INVALIDARG);
  EXPECT_EQ(table.Register(nullptr, Fake::kTestObjectIid, cookie), E_INVALIDARG);
  EXPECT_EQ(table.RegisteredCount(), 0u);

  table.Plan("Register", Sim::FaultPlan{E_OUTOFMEMORY, 1, false});
  EXPECT_EQ(table.Register(object, Fake::kTestObjectIid, cookie), E_OUTOFMEMORY);
  EXPECT_EQ(table.Register(object, Fake::kTestObjectIid, cookie), S_OK);  // once only
  EXPECT_EQ(table.Revoke(cookie), S_OK);
}

}  // namespace
}  // namespace CV
