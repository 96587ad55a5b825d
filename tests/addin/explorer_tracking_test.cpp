// Explorer windows opened, changed and closed around the add-in.
#include "addin/explorer_tracking.h"

#include <gtest/gtest.h>

#include "foundation/com_error.h"
#include "support/addin_fixture.h"

namespace CV {
namespace {

using namespace CV::Outlook;

class ExplorerTrackingTest : public Fake::AddinFixture {
 protected:
  std::shared_ptr<Sim::SimRibbonUI> LoadRibbon() {
    auto ribbon = outlook.NewRibbonUI();
    connect->OnLoad(ribbon);
    return ribbon;
  }
};

TEST_F(ExplorerTrackingTest, EverySelectionChangeInvalidatesOnce) {
  auto first = outlook.OpenExplorer(inbox);
  auto second = outlook.OpenExplorer(store->DefaultFolder(olFolderSentMail));
  auto mails = inbox->AddMails(2);
  Connect();
  EXPECT_EQ(connect->Explorers().WrapperCount(), 2u);

  first->Select({mails[0]});  // before onLoad: no ribbon to refresh
  auto ribbon = LoadRibbon();
  EXPECT_EQ(ribbon->Invalidations(), 0u);
  first->Select({mails[1]});
  EXPECT_EQ(ribbon->Invalidations(), 1u);
  second->Select(mails);
  EXPECT_EQ(ribbon->Invalidations(), 2u);
  first->Fire(Iid::ExplorerEvents10, 0xF003);  // events without a handler are ignored
  EXPECT_EQ(ribbon->Invalidations(), 2u);

  ribbon->Fail("Invalidate", Sim::FaultPlan{E_FAIL, 1, false});
  EXPECT_NO_THROW(first->Select({}));  // a failing refresh stays inside the handler
}

TEST_F(ExplorerTrackingTest, NewWindowsAreTrackedAndClosedOnesForgotten) {
  outlook.OpenExplorer(inbox);
  Connect();
  auto ribbon = LoadRibbon();
  auto later = outlook.OpenExplorer(store->DefaultFolder(olFolderDrafts));
  EXPECT_EQ(connect->Explorers().WrapperCount(), 2u);
  later->Select({});
  EXPECT_EQ(ribbon->Invalidations(), 1u);
  later->Close();
  EXPECT_EQ(connect->Explorers().WrapperCount(), 1u);
  EXPECT_EQ(later->SinkCount(Iid::ExplorerEvents10), 0u);
  later->Select({});  // a closed window's events reach nobody
  EXPECT_EQ(ribbon->Invalidations(), 1u);
}

TEST_F(ExplorerTrackingTest, NothingIsDeliveredAfterDisconnectionOrDestruction) {
  auto window = outlook.OpenExplorer(inbox);
  Connect();
  auto ribbon = LoadRibbon();
  ASSERT_EQ(connect->OnDisconnection(0), S_OK);
  window->Select({});
  EXPECT_EQ(ribbon->Invalidations(), 0u);
  EXPECT_EQ(window->SinkCount(Iid::ExplorerEvents10), 0u);
  EXPECT_EQ(outlook.Application()->ExplorersObject()->SinkCount(Iid::ExplorersEvents), 0u);
  outlook.OpenExplorer(inbox);  // NewExplorer after detaching: not tracked
  EXPECT_EQ(connect->Explorers().WrapperCount(), 0u);

  ASSERT_EQ(connect->OnConnection(outlook.Application(), 0, nullptr), S_OK);
  EXPECT_EQ(connect->Explorers().WrapperCount(), 2u);
  connect.reset();  // destruction unadvises everything
  for (const auto& explorer : outlook.Application()->explorers)
    EXPECT_EQ(explorer->SinkCount(Iid::ExplorerEvents10), 0u);
  EXPECT_EQ(outlook.Application()->ExplorersObject()->SinkCount(Iid::ExplorersEvents), 0u);
  window->Select({});
}

TEST_F(ExplorerTrackingTest, WindowsThatCannotBeAdvisedStayUntracked) {
  auto refusing = outlook.OpenExplorer(inbox);
  refusing->FailAlways("Advise", E_FAIL);
  outlook.OpenExplorer(inbox);
  Connect();
  EXPECT_EQ(connect->Explorers().WrapperCount(), 1u);

  COLExplorerWrapColl tracker;
  tracker.OnNewExplorer(inbox);  // not an explorer: no wrapper
  tracker.OnNewExplorer(nullptr);
  EXPECT_EQ(tracker.WrapperCount(), 0u);
  auto collection = outlook.Application()->ExplorersObject();
  collection->Fail("Advise", Sim::FaultPlan{E_FAIL, 1, false});
  EXPECT_FALSE(tracker.Attach(Explorers(collection)));
  EXPECT_TRUE(tracker.Attach(Explorers(collection)));
  collection->Fail("Count", Sim::FaultPlan{E_FAIL, 1, false});
  EXPECT_THROW(tracker.Attach(Explorers(collection)), ComError);  // listing the windows failed
  EXPECT_TRUE(tracker.Attach(Explorers()));
}

}  // namespace
}  // namespace CV
