// The portable object model's entry points and the simulation's interface table.
#include <gtest/gtest.h>

#include <thread>

#include "foundation/com_error.h"
#include "foundation/interface_table.h"
#include "sim/sim_interface_table.h"
#include "support/test_object.h"
#include "support/errors.h"

namespace CV {
namespace {

TEST(ObjectCalls, EmptyReferencesAndUnknownNames) {
  for (const auto& call : {+[] { GetProperty(nullptr, u"Name"); }, +[] { CallMethod(nullptr, u"Add"); },
                           +[] { PutProperty(nullptr, u"Name", Variant()); }, +[] { QueryObject(nullptr, Guid{}); }}) {
    EXPECT_EQ(Fake::ErrorOf(call), E_POINTER);
  }
  EXPECT_THROW(CallMethod(std::make_shared<Fake::TestObject>(), u"Missing"), ComError);
  // A member that returned nothing stays nothing when its interface is declared; an object that
  // keeps no per-interface knowledge is itself.
  EXPECT_EQ(DeclaredAs(nullptr, Fake::kTestObjectIid), nullptr);
  const ObjectPtr object = std::make_shared<Fake::TestObject>();
  EXPECT_EQ(DeclaredAs(object, Fake::kTestObjectIid), object);
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
  auto object = std::make_shared<Fake::TestObject>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(table.Register(object, Fake::kTestObjectIid, cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  ObjectPtr fetched;
  std::thread([&] { EXPECT_EQ(table.Fetch(cookie, Fake::kTestObjectIid, fetched), S_OK); }).join();
  EXPECT_EQ(fetched, object);
  EXPECT_EQ(table.Revoke(cookie), S_OK);
  EXPECT_EQ(table.Revoke(cookie), E_INVALIDARG);
  EXPECT_EQ(table.Fetch(cookie, Fake::kTestObjectIid, fetched), E_INVALIDARG);
  EXPECT_EQ(table.Register(nullptr, Fake::kTestObjectIid, cookie), E_INVALIDARG);
  table.Plan("Register", Sim::FaultPlan{E_OUTOFMEMORY, 1, false});
  EXPECT_EQ(table.Register(object, Fake::kTestObjectIid, cookie), E_OUTOFMEMORY);
  EXPECT_EQ(table.Register(object, Fake::kTestObjectIid, cookie), S_OK);  // once only
  EXPECT_EQ(table.RegisteredCount(), 1u);
}

}  // namespace
}  // namespace CV
