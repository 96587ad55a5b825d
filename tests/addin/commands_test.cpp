// Scenarios through the callbacks, called by name as Office calls them, on
// the simulated Outlook: collecting mails and folders, counters and enable
// states, before, during and after the jobs. The simulated Outlook lives in
// the test thread's apartment, so a job's worker gets on only while the test
// serves it, as on Outlook's UI thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "outlook/excluded_folders.h"
#include "foundation/utf.h"
#include "support/addin_fixture.h"
#include "support/hang_guard.h"

namespace CV {
namespace {

using namespace std::chrono_literals;
using namespace CV::Outlook;

class CommandsTest : public Fake::AddinFixture {
 protected:
  void SetUp() override {
    Connect();
    ribbon = outlook.NewRibbonUI();
    Call(u"OnLoad", {Variant::FromObject(ribbon)});
  }
  ObjectPtr ControlOn(ObjectPtr context, std::u16string id = u"AddMailsCmd") {
    return outlook.NewRibbonControl(std::move(id), std::move(context));
  }
  bool Enabled(std::u16string_view callback, const ObjectPtr& control) {
    return Call(callback, {Variant::FromObject(control)}).AsBool();
  }
  std::u16string Label(std::u16string_view callback) { return Call(callback, {Variant()}).AsText(); }
  void Press(std::u16string_view callback, const ObjectPtr& control) {
    EXPECT_TRUE(Call(callback, {Variant::FromObject(control)}).IsEmpty());
    WaitForJob();
  }
  void WaitForJob() {
    ASSERT_TRUE(Serve([&] { return !connect->JobRunner().WorkerAlive(); }));
  }
  // Serves the worker's calls one at a time until it waits for this thread
  // while it holds the archive list's map lock.
  bool ParkUnderMapLock() {
    return Serve([&] {
      if (apartment->PendingCalls() == 0) return false;
      if (!connect->ArchiveList().MapLockIsFree()) return true;
      apartment->ServeOne();
      return false;
    });
  }
  std::vector<std::u16string> Paths() {
    std::vector<std::u16string> paths;
    connect->ArchiveList().GetFolderPaths(paths, false);
    return paths;
  }
  void Exclude(const std::u16string& lines) {
    settings.Set(AddinSettingsKey(), u"ExcludeFolder", RegType::Sz, RegistryString(lines));
  }
  struct State {
    std::u16string mails, folders;
    bool reset, create, refine;
    bool operator==(const State&) const = default;
  };
  State Now() {
    const ObjectPtr c = ControlOn(explorer);
    return {Label(u"GetMailCount"), Label(u"GetFolderCount"), Enabled(u"GetResetSelectionEnabled", c),
            Enabled(u"GetStartARCCreationEnabled", c), Enabled(u"GetRefineSelectionEnabled", c)};
  }

  std::shared_ptr<Sim::SimRibbonUI> ribbon;
  std::shared_ptr<Sim::SimExplorer> explorer = outlook.OpenExplorer(inbox);
};

TEST_F(CommandsTest, SelectedMailsInPlainAndConversationView) {
  auto mails = inbox->AddMails(5);
  EXPECT_EQ(Now(), (State{u"    0", u"    0", false, false, false}));
  EXPECT_FALSE(Enabled(u"GetAddMailsEnabled", ControlOn(explorer)));  // nothing selected

  explorer->Select({mails[0], mails[1], mails[2]});
  EXPECT_TRUE(Enabled(u"GetAddMailsEnabled", ControlOn(explorer)));
  Press(u"AddMails", ControlOn(explorer));
  EXPECT_EQ(Now(), (State{u"    3", u"    1", true, true, true}));
  EXPECT_EQ(ui->Dialog(0)->title, u"Erfasse Mails");

  // A conversation view: the headers' mails; the selected items are not looked at.
  auto sent = store->DefaultFolder(olFolderSentMail);
  auto elsewhere = sent->AddMails(2);
  explorer->SelectConversations({{mails[3], elsewhere[0]}, {mails[4]}});
  EXPECT_TRUE(Enabled(u"GetAddMailsEnabled", ControlOn(explorer)));
  Press(u"AddMails", ControlOn(explorer));
  EXPECT_EQ(Now(), (State{u"    6", u"    1", true, true, true}));  // all filed under the current folder

  Press(u"AddMails", ControlOn(explorer));  // the same selection again changes nothing
  EXPECT_EQ(Now(), (State{u"    6", u"    1", true, true, true}));
  EXPECT_TRUE(ui->MessagesShown().empty());

  // Collapsed conversations: no item is selected, the headers alone decide.
  explorer->SelectConversations({{elsewhere[1]}}, false);
  EXPECT_TRUE(Enabled(u"GetAddMailsEnabled", ControlOn(explorer)));
  explorer->SelectConversations({inbox->AddItems(Sim::ItemKind::MeetingRequest, 1)}, false);
  EXPECT_FALSE(Enabled(u"GetAddMailsEnabled", ControlOn(explorer)));
}

TEST_F(CommandsTest, AddMailsTakesTheActiveExplorersSelectionWhateverTheMenuShows) {
  auto mails = inbox->AddMails(4);
  explorer->Select({mails[0]});
  auto other = outlook.OpenExplorer(store->DefaultFolder(olFolderSentMail));
  other->Select({});
  outlook.Application()->activeExplorer = explorer;
  auto menuSelection = other->SelectionObject();  // a context menu over another window's selection
  other->Select({mails[1], mails[2], mails[3]});
  Press(u"AddMails", ControlOn(other->SelectionObject(), u"AddMailsMenuCmd"));
  std::vector<std::u16string> ids;
  std::u16string storeId;
  connect->ArchiveList().GetSelectedMailIds(u"Persönliche Ordner\\Posteingang", ids, storeId);
  EXPECT_EQ(ids, std::vector<std::u16string>{mails[0]->EntryId()});
  EXPECT_EQ(Paths(), std::vector<std::u16string>{u"Persönliche Ordner\\Posteingang"});
}

TEST_F(CommandsTest, SelectionsWithoutMails) {
  auto meetings = inbox->AddItems(Sim::ItemKind::MeetingRequest, 2);
  auto contact = inbox->AddItems(Sim::ItemKind::Contact, 1);
  explorer->Select({meetings[0], contact[0]});
  // The mail and multiple-items context menus hand over the selection itself.
  EXPECT_FALSE(Enabled(u"GetAddMailsEnabled", ControlOn(explorer)));
  EXPECT_FALSE(Enabled(u"GetAddMailsEnabled", ControlOn(explorer->SelectionObject(), u"AddMailsMenuCmd")));
  Press(u"AddMails", ControlOn(explorer));
  EXPECT_EQ(Now(), (State{u"    0", u"    1", false, false, false}));  // the folder enters, empty
  EXPECT_TRUE(ui->MessagesShown().empty());

  auto mail = inbox->AddMail();
  explorer->Select({meetings[1], mail});  // mixed: enabled
  EXPECT_TRUE(Enabled(u"GetAddMailsEnabled", ControlOn(explorer->SelectionObject(), u"AddMailMenuCmd")));
  EXPECT_FALSE(Enabled(u"GetAddMailsEnabled", ControlOn(inbox)));  // a folder is no selection
  EXPECT_EQ(connect->GetAddMailsEnabled(nullptr, nullptr), E_POINTER);
  VariantBool enabled = 1;
  EXPECT_EQ(connect->GetAddMailsEnabled(nullptr, &enabled), E_POINTER);
}

TEST_F(CommandsTest, FoldersAndTheirEnableRules) {
  inbox->AddMails(5);
  inbox->AddItems(Sim::ItemKind::MeetingRequest, 2);
  auto calendar = store->DefaultFolder(olFolderCalendar);
  auto drafts = store->DefaultFolder(olFolderDrafts);
  struct Case {
    const char* name;
    ObjectPtr context;
    bool folder, folders;
  };
  const Case cases[] = {
      {"explorer: current folder (inbox, no subfolders)", explorer, true, false},
      {"folder context menu on the calendar", calendar, false, false},
      {"folder context menu on drafts", drafts, true, false},
      {"store context menu: its root folder", store, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Enabled(u"GetAddFolderEnabled", ControlOn(c.context, u"AddFolderCmd__btn")), c.folder);
    EXPECT_EQ(Enabled(u"GetAddFoldersEnabled", ControlOn(c.context, u"AddFolderRekursivCmd")), c.folders);
  }
  Press(u"AddFolder", ControlOn(calendar, u"AddFolderMenuCmd"));  // nothing, no message
  EXPECT_EQ(Now(), (State{u"    0", u"    0", false, false, false}));
  Press(u"AddFolder", ControlOn(explorer, u"AddFolderCmd__btn"));
  EXPECT_EQ(Now(), (State{u"    5", u"    1", true, true, true}));
  EXPECT_EQ(ui->Dialog(1)->title, u"Erfasse Ordner");
  EXPECT_EQ(ui->Dialog(1)->percents.back(), 100);  // the bar reaches the end over the meeting requests
  Press(u"AddFolder", ControlOn(drafts, u"AddFolderMenuCmd"));
  EXPECT_EQ(Now(), (State{u"    5", u"    2", true, true, true}));

  // A control without context works like a ribbon button: the active
  // explorer's current folder.
  explorer->SetCurrentFolder(store->DefaultFolder(olFolderSentMail));
  store->DefaultFolder(olFolderSentMail)->AddMails(2);
  EXPECT_TRUE(Enabled(u"GetAddFolderEnabled", ControlOn(nullptr, u"AddFolderCmd__btn")));
  Press(u"AddFolder", ControlOn(nullptr, u"AddFolderCmd__btn"));
  EXPECT_EQ(Now(), (State{u"    7", u"    3", true, true, true}));
}

TEST_F(CommandsTest, TreeWithAnExcludedMiddleAndACalendarBetween) {
  auto top = inbox->AddFolder(u"Top");
  auto middle = top->AddFolder(u"Middle");
  middle->AddFolder(u"Bottom")->AddMails(2);
  middle->AddMails(4);
  top->AddMails(1);
  top->AddFolder(u"Cal", olAppointmentItem)->AddFolder(u"Sub")->AddMails(3);
  settings.Set(AddinSettingsKey(), u"ExcludeFolder", RegType::Sz,
               RegistryString(u"\r\n\\\\Persönliche Ordner\\Posteingang\\Top\\Middle\r\n"));
  Press(u"AddFolders", ControlOn(top, u"AddFolderRekursivMenuCmd"));
  EXPECT_EQ(Now(), (State{u"    6", u"    3", true, true, true}));  // Top, Bottom, Sub
  std::vector<std::u16string> paths;
  connect->ArchiveList().GetFolderPaths(paths, false);
  EXPECT_EQ(paths, (std::vector<std::u16string>{u"Persönliche Ordner\\Posteingang\\Top",
                                                u"Persönliche Ordner\\Posteingang\\Top\\Cal\\Sub",
                                                u"Persönliche Ordner\\Posteingang\\Top\\Middle\\Bottom"}));
  EXPECT_TRUE(connect->ArchiveList().ExcludedFolders().empty());  // emptied at the end
  EXPECT_EQ(ribbon->Invalidations(), 2u);  // when the run began and when it finished
  Press(u"AddFolders", ControlOn(top, u"AddFolderRekursivMenuCmd"));  // a second run changes nothing
  EXPECT_EQ(Now(), (State{u"    6", u"    3", true, true, true}));
}

TEST_F(CommandsTest, CancelInTheSecondOfThreeFolders) {
  auto parent = inbox->AddFolder(u"Drei");
  for (const char16_t* name : {u"Eins", u"Zwei", u"Zwo"}) parent->AddFolder(name)->AddMails(4);
  Exclude(u"\\\\Persönliche Ordner\\Archiv");  // a set that must be gone after the cancel
  ui->nextDialog = std::make_shared<Fake::DialogRecord>();
  ui->nextDialog->cancelOnProgressCall = 6;  // 4 reports for "Eins", the 2nd mail of "Zwei"
  parent->ItemsObject();  // "Drei" itself holds no mails and reports nothing
  auto third = parent->SubFolders()[2];
  third->ItemsObject()->FailAlways("Item", E_ACCESSDENIED);  // would be inaccessible, but is never reached
  Press(u"AddFolders", ControlOn(parent, u"AddFolderRekursivMenuCmd"));
  EXPECT_EQ(Now(), (State{u"    6", u"    3", true, true, true}));  // Drei, Eins with 4, Zwei with 2
  EXPECT_EQ(third->ItemsObject()->Calls("Item"), 0u);
  EXPECT_TRUE(ui->MessagesShown().empty());
  EXPECT_TRUE(connect->ArchiveList().ExcludedFolders().empty());
}

TEST_F(CommandsTest, TwoInaccessibleMailsAmongTenAreReportedOnce) {
  auto mails = inbox->AddMails(10);
  mails[3]->FailAlways("SenderEmailAddress", E_ACCESSDENIED);
  mails[8]->FailAlways("SenderEmailAddress", E_ACCESSDENIED);
  explorer->Select(mails);
  Press(u"AddMails", ControlOn(explorer));
  EXPECT_EQ(Now(), (State{u"    8", u"    1", true, true, true}));
  const auto messages = ui->MessagesShown();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(ToUtf8(messages[0].text),
            "Auf 2 Mail(s) konnte nicht zugegriffen werden. Sie wurden daher nicht zum Export ausgewählt.");
  EXPECT_EQ(ToUtf8(messages[0].caption), "Corvane E-Mail Archiv für Microsoft Outlook");
  EXPECT_EQ(messages[0].style, 0x40u);
}

TEST_F(CommandsTest, CancelDuringALargeSelectionKeepsWhatWasAdded) {
  auto mails = inbox->AddMails(50);
  mails[3]->FailAlways("SenderEmailAddress", E_ACCESSDENIED);  // would be reported, but the user cancels
  explorer->Select(mails);
  ui->nextDialog = std::make_shared<Fake::DialogRecord>();
  ui->nextDialog->cancelOnProgressCall = 10;
  Press(u"AddMails", ControlOn(explorer));
  EXPECT_EQ(Now(), (State{u"   10", u"    1", true, true, true}));  // the failing mail made no step
  EXPECT_TRUE(ui->MessagesShown().empty());
}

TEST_F(CommandsTest, MailsThatAreAllDeselectedStillEnableResetRefineAndCreate) {
  inbox->AddMails(2);
  Press(u"AddFolder", ControlOn(explorer));
  std::vector<std::u16string> ids;
  std::u16string storeId;
  connect->ArchiveList().GetSelectedMailIds(u"Persönliche Ordner\\Posteingang", ids, storeId);
  ASSERT_EQ(ids.size(), 2u);
  auto table = SafeArray::Create2D(8, 2);
  for (std::int32_t r = 0; r < 2; ++r) {
    table->At({0, r}) = Variant::FromBstr(Bstr(ids[static_cast<std::size_t>(r)]));
    table->At({1, r}) = Variant::FromBool(false);
  }
  connect->ArchiveList().ApplySelection(u"Persönliche Ordner\\Posteingang", Variant::FromArray(table));
  EXPECT_EQ(Now(), (State{u"    0", u"    1", true, true, true}));
}

TEST_F(CommandsTest, ResetClearsAndRefreshes) {
  inbox->AddMails(3);
  Press(u"AddFolder", ControlOn(explorer));
  const std::uint64_t before = ribbon->Invalidations();
  Press(u"ResetSelection", ControlOn(explorer, u"ResetSelectionCmd"));
  EXPECT_EQ(Now(), (State{u"    0", u"    0", false, false, false}));
  EXPECT_EQ(ribbon->Invalidations(), before + 1);
}

// A job holds the map lock across Outlook calls that only this thread can
// serve: every callback pressed meanwhile must answer without waiting for
// it (a wait would never end), the commands doing nothing at all.
TEST_F(CommandsTest, WhileAJobHoldsTheMapLockEveryCallbackAnswersAndNoCommandActs) {
  auto mails = inbox->AddMails(4);
  inbox->AddFolder(u"Unter")->AddMails(1);
  explorer->Select(mails);
  Press(u"AddFolder", ControlOn(store->DefaultFolder(olFolderSentMail)));  // something to count
  Exclude(u"\\\\Persönliche Ordner\\Posteingang");
  Call(u"AddMails", {Variant::FromObject(ControlOn(explorer))});
  ASSERT_TRUE(ParkUnderMapLock());
  {
    Fake::HangGuard guard("a callback while a job holds the map lock");
    EXPECT_TRUE(connect->IsBusy());
    const ObjectPtr c = ControlOn(explorer);
    for (const char16_t* callback : {u"GetAddMailsEnabled", u"GetAddFolderEnabled", u"GetAddFoldersEnabled",
                                     u"GetResetSelectionEnabled", u"GetStartARCCreationEnabled",
                                     u"GetRefineSelectionEnabled"})
      EXPECT_FALSE(Enabled(callback, c)) << ToUtf8(callback);
    EXPECT_EQ(Label(u"GetMailCount"), u"    0");
    EXPECT_EQ(Label(u"GetFolderCount"), u"    1");
    // The ribbon may not have refreshed yet: the commands get through.
    for (auto command : {&CConnect::AddMails, &CConnect::AddFolder, &CConnect::AddFolders, &CConnect::ResetSelection,
                         &CConnect::StartARCCreation, &CConnect::RefineSelection, &CConnect::SelectIgnoredFolder})
      ((*connect).*command)(c);
  }
  WaitForJob();
  EXPECT_EQ(ui->DialogCount(), 2u);  // no job was even created
  EXPECT_EQ(Now(), (State{u"    4", u"    2", true, true, true}));  // not reset, nothing else added
  EXPECT_TRUE(connect->ArchiveList().ExcludedFolders().empty());
}

// The exclusion set is for the recursive job alone. One that never starts
// must not leave it behind, or a later "Ordner hinzufügen" on an excluded
// folder would add nothing.
TEST_F(CommandsTest, ARecursiveAddThatNeverStartsLeavesNoExclusionBehind) {
  auto top = inbox->AddFolder(u"Top");
  top->AddFolder(u"Unten");
  top->AddMails(2);
  inbox->AddMails(1);
  Exclude(u"\\\\Persönliche Ordner\\Posteingang\\Top");
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"no target folder", [&] {
         outlook.Application()->Fail("ActiveExplorer", Sim::FaultPlan{E_FAIL, 1, false});
         Press(u"AddFolders", ControlOn(explorer, u"AddFolderRekursivCmd"));
       }},
      {"Init fails", [&] {
         table->Plan("Register", Sim::FaultPlan{E_OUTOFMEMORY, 1, false});
         Press(u"AddFolders", ControlOn(top, u"AddFolderRekursivMenuCmd"));
       }},
      {"the runner refuses: the last worker is still in Finish", [&] {
         Call(u"AddFolder", {Variant::FromObject(ControlOn(inbox, u"AddFolderMenuCmd"))});
         ASSERT_TRUE(Serve([&] {
           if (!connect->IsBusy() && apartment->PendingCalls() > 0) return true;
           apartment->ServeOne();
           return false;
         }));
         Press(u"AddFolders", ControlOn(top, u"AddFolderRekursivMenuCmd"));
       }},
  };
  for (const auto& [name, neverStarts] : cases) {
    SCOPED_TRACE(name);
    Press(u"ResetSelection", ControlOn(explorer));
    neverStarts();
    EXPECT_TRUE(connect->ArchiveList().ExcludedFolders().empty());
    Press(u"AddFolder", ControlOn(top, u"AddFolderMenuCmd"));
    std::vector<std::u16string> ids;
    std::u16string storeId;
    connect->ArchiveList().GetSelectedMailIds(u"Persönliche Ordner\\Posteingang\\Top", ids, storeId);
    EXPECT_EQ(ids.size(), 2u) << "Top's mails";
  }
}

TEST_F(CommandsTest, CommandsWithoutOutlookDoNothing) {
  ASSERT_EQ(connect->OnDisconnection(0), S_OK);
  for (const char16_t* command : {u"AddMails", u"AddFolder", u"AddFolders"})
    Press(command, ControlOn(explorer));
  EXPECT_EQ(Now(), (State{u"    0", u"    0", false, false, false}));
  EXPECT_FALSE(Enabled(u"GetAddFolderEnabled", ControlOn(explorer)));  // no application: no active explorer
  EXPECT_TRUE(Enabled(u"GetAddFolderEnabled", ControlOn(inbox)));      // the folder menu needs none
  std::vector<std::u16string> excluded;
  EXPECT_NO_THROW(LoadExcludedFolders(excluded, Application(), settings));
}

TEST_F(CommandsTest, OutlookFailuresDisableAndDoNothing) {
  inbox->AddMails(2);
  inbox->FailAlways("DefaultItemType", E_FAIL);
  EXPECT_FALSE(Enabled(u"GetAddFolderEnabled", ControlOn(explorer)));
  outlook.Application()->FailAlways("ActiveExplorer", RPC_E_CALL_REJECTED);
  Press(u"AddMails", ControlOn(explorer));
  Press(u"AddFolder", ControlOn(explorer));
  EXPECT_EQ(Now(), (State{u"    0", u"    0", false, false, false}));
  // A selection whose enumeration fails ends the job before anything is added.
  outlook.Application()->Fail("ActiveExplorer", Sim::FaultPlan{});
  explorer->Select(inbox->ItemList());
  explorer->SelectionObject()->FailAlways("GetSelection", E_UNEXPECTED);
  Press(u"AddMails", ControlOn(explorer));
  EXPECT_EQ(Now(), (State{u"    0", u"    0", false, false, false}));
  EXPECT_TRUE(ui->MessagesShown().empty());
}

// Outlook unloads the add-in while a collecting job runs. The job honours
// the cancel only through calls this thread serves (its progress reports,
// the closing of its dialog, the ribbon refresh), so the teardown serves the
// apartment while it waits: the job then ends in time, is not abandoned and
// closes its own dialog.
TEST_F(CommandsTest, TeardownServesARunningJobUntilItHonoursTheCancel) {
  inbox->AddMails(50);
  inbox->ItemList()[2]->FailAlways("EntryID", E_ACCESSDENIED);  // would be reported, but the job is cancelled
  Call(u"AddFolder", {Variant::FromObject(ControlOn(explorer))});
  ASSERT_TRUE(ParkUnderMapLock());
  const auto record = ui->Dialog(0);
  // A grace that a loaded machine cannot run out of while the job is served:
  // only a wait that does not serve would abandon it.
  connect->JobRunner().SetStopTimeouts(10s, 10s);
  {
    Fake::HangGuard guard("the teardown");
    connect.reset();
  }
  EXPECT_EQ(record->cancelPresses, 1);
  EXPECT_TRUE(record->closed);
  EXPECT_FALSE(record->closedLater);
  EXPECT_LT(record->percents.size(), 50u);
  EXPECT_TRUE(ui->MessagesShown().empty());
  EXPECT_EQ(ribbon->Invalidations(), 2u);
}

TEST_F(CommandsTest, LabelsOfLargeCounts) {
  Bstr label;
  EXPECT_EQ(connect->GetMailCount(nullptr, nullptr), E_POINTER);
  auto many = inbox->AddMails(12);
  Press(u"AddFolder", ControlOn(explorer));
  ASSERT_EQ(connect->GetMailCount(nullptr, &label), S_OK);
  EXPECT_EQ(label.Text(), u"   12");
}

}  // namespace
}  // namespace CV
