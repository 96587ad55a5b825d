// The simulated Outlook seen through the typed wrappers, as the system sees it.
#include "sim/outlook/sim_outlook.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/com_error.h"
#include "outlook/wrappers.h"
#include "sim/sim_apartment.h"
#include "support/test_object.h"

namespace CV::Sim {
namespace {

using namespace CV::Outlook;

// A call queued for an apartment whose thread has gone fails as a
// cross-apartment call then does, never as if it had been made; so does
// every later call, and the call itself never runs.
TEST(SimApartmentEnd, QueuedAndLaterCallsFailDisconnected) {
  SimApartment apartment;
  std::atomic<bool> ran = false;
  std::atomic<HRESULT> queued = S_OK, later = S_OK;
  const auto call = [&](std::atomic<HRESULT>& result) {
    try {
      apartment.Run([&] { ran = true; });
    } catch (const ComError& e) {
      result = e.Error();
    }
  };
  std::thread caller([&] { call(queued); });
  while (apartment.PendingCalls() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  apartment.Close();
  caller.join();
  std::thread after([&] { call(later); });
  after.join();
  EXPECT_EQ(queued.load(), MakeHResult(0x80010108u));  // RPC_E_DISCONNECTED
  EXPECT_EQ(later.load(), MakeHResult(0x80010108u));
  EXPECT_FALSE(ran);
}

// What the other tests do not meet on their way: bounds, lookups, store kinds.
TEST(SimOutlook, CollectionsLookupsAndStores) {
  SimOutlook outlook;
  auto store = outlook.AddStore(u"Persönliche Ordner");
  auto mail = store->DefaultFolder(olFolderInbox)->AddMail();
  const Items items = Folder(store->DefaultFolder(olFolderInbox)).Items();
  EXPECT_THROW(items.Item(0), ComError);  // collections count from 1
  EXPECT_THROW(items.Item(2), ComError);
  const Application app(outlook.Application());
  EXPECT_EQ(app.GetNamespace(u"MAPI").GetItemFromID(mail->EntryId(), store->StoreId()), mail);
  EXPECT_THROW(app.Session().GetItemFromID(u"nope", store->StoreId()), ComError);
  const Store local = app.Session().Stores().Item(1);
  EXPECT_EQ(local.GetRootFolder().FullFolderPath(), u"\\\\Persönliche Ordner");
  EXPECT_EQ(local.ExchangeStoreType(), olNotExchange);
  EXPECT_THROW(local.GetDefaultFolder(olFolderSyncIssues), ComError);  // no Exchange folders
}

TEST(SimOutlook, FaultsOnceFromTheNthCallOrPersistently) {
  SimOutlook outlook;
  auto mail = outlook.AddStore(u"S")->DefaultFolder(olFolderInbox)->AddMail(u"Hallo");
  const MailItem item(mail);

  mail->Fail("Subject", FaultPlan{E_ACCESSDENIED, 2, false});
  EXPECT_EQ(item.Subject(), u"Hallo");
  EXPECT_THROW(item.Subject(), ComError);
  EXPECT_EQ(item.Subject(), u"Hallo");
  EXPECT_EQ(mail->Calls("Subject"), 3u);

  mail->Fail("SenderEmailAddress", FaultPlan{E_ACCESSDENIED, 1, true});
  for (int i = 0; i < 3; ++i) {
    try {
      item.SenderEmailAddress();
      ADD_FAILURE() << "no fault";
    } catch (const ComError& e) {
      EXPECT_EQ(e.Error(), E_ACCESSDENIED);
      EXPECT_EQ(e.InterfaceId(), Iid::MailItem);
    }
  }
  mail->Fail("QueryInterface", FaultPlan{E_UNEXPECTED, 1, false});
  EXPECT_THROW(Query<MailItem>(mail), ComError);  // a failure other than E_NOINTERFACE throws
  EXPECT_THROW(GetProperty(mail, u"NoSuchMember"), ComError);
}

TEST(SimOutlook, ExplorersSelectionsAndEvents) {
  SimOutlook outlook;
  auto inbox = outlook.AddStore(u"S")->DefaultFolder(olFolderInbox);
  auto mails = inbox->AddMails(3);
  const Application app(outlook.Application());
  EXPECT_FALSE(app.ActiveExplorer());  // no window yet

  auto explorersSink = std::make_shared<Fake::RecordingSink>();
  const std::uint32_t collectionCookie = app.Explorers().Object()->Advise(Iid::ExplorersEvents, explorersSink);
  auto explorer = outlook.OpenExplorer(inbox);
  ASSERT_EQ(explorersSink->Events().size(), 1u);
  EXPECT_EQ(explorersSink->Events()[0].dispid, DispId::NewExplorer);
  EXPECT_EQ(explorersSink->Events()[0].args.at(0).AsObject(), explorer);
  app.Explorers().Object()->Unadvise(collectionCookie);

  auto sink = std::make_shared<Fake::RecordingSink>();
  const std::uint32_t cookie = explorer->Advise(Iid::ExplorerEvents10, sink);
  explorer->Select({mails[0], mails[2]});
  const Explorer active = app.ActiveExplorer();
  ASSERT_TRUE(active);
  EXPECT_EQ(active.CurrentFolder().Object(), inbox);
  const Selection selection = active.Selection();
  EXPECT_EQ(selection.Count(), 2);
  EXPECT_EQ(selection.Item(2), mails[2]);
  EXPECT_EQ(selection.GetSelection(olConversationHeaders).Count(), 0);
  EXPECT_EQ(selection.Application().Object(), outlook.Application());

  explorer->SelectConversations({{mails[0], mails[1]}, {mails[2]}});
  const Selection headers = active.Selection().GetSelection(olConversationHeaders);
  ASSERT_EQ(headers.Count(), 2);
  const ConversationHeader first = Query<ConversationHeader>(headers.Item(1));
  ASSERT_TRUE(first);
  EXPECT_EQ(first.GetItems().Count(), 2);

  explorer->Close();
  const auto events = sink->Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].dispid, DispId::SelectionChange);
  EXPECT_EQ(events[2].dispid, DispId::Close);
  EXPECT_EQ(app.Explorers().Count(), 0);
  explorer->Unadvise(cookie);
  EXPECT_THROW(explorer->Advise(Iid::ExplorersEvents, sink), ComError);  // not its events
}

TEST(SimOutlook, NothingLivesOnAfterTheOutlook) {
  auto outlook = std::make_unique<SimOutlook>();
  auto world = outlook->World();
  auto inbox = outlook->AddStore(u"S")->DefaultFolder(olFolderInbox);
  inbox->AddMails(3);
  outlook->OpenExplorer(inbox)->Select(inbox->ItemList());
  EXPECT_GT(world->LiveObjects().load(), 10);
  inbox.reset();
  outlook.reset();
  EXPECT_EQ(world->LiveObjects().load(), 0);
}

}  // namespace
}  // namespace CV::Sim
