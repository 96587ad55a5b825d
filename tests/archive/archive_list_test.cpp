// The archive list on the simulated Outlook.
#include "archive/archive_list.h"

#include <gtest/gtest.h>

#include "foundation/com_error.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"

namespace CV {
namespace {

using namespace CV::Outlook;
using Sim::FaultPlan;
using Sim::ItemKind;
using Sim::SimFolder;

class ArchiveListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store = outlook.AddStore(u"Persönliche Ordner");
    inbox = store->DefaultFolder(olFolderInbox);
    ASSERT_EQ(list.SetApplication(outlook.Application()), S_OK);
  }
  void TearDown() override {
    EXPECT_TRUE(list.MapLockIsFree());
    EXPECT_EQ(list.GetSelectedMailCount() <= list.GetTotalMailCount(), true);
  }
  struct Counts {
    int selected, total, folders;
    bool operator==(const Counts&) const = default;
  };
  Counts CountsNow() { return {list.GetSelectedMailCount(), list.GetTotalMailCount(), list.GetFolderCount()}; }
  std::vector<std::u16string> Paths(bool withCounts = false) {
    std::vector<std::u16string> out;
    list.GetFolderPaths(out, withCounts);
    return out;
  }
  bool Add(const std::shared_ptr<SimFolder>& folder) {
    int inaccessible = 0;
    return list.AddFolder(Folder(folder), inaccessible, nullptr);
  }
  std::vector<std::u16string> Ids(const std::u16string& path, std::u16string* storeId = nullptr) {
    std::vector<std::u16string> ids;
    std::u16string store;
    list.GetSelectedMailIds(path, ids, store);
    if (storeId) *storeId = store;
    return ids;
  }
  // A mail table whose rows switch the mails off (columns 0 and 1 filled).
  static Variant Deselecting(const std::vector<std::u16string>& ids, std::uint32_t columns = 8) {
    auto table = SafeArray::Create2D(columns, static_cast<std::uint32_t>(ids.size()));
    for (std::int32_t r = 0; r < static_cast<std::int32_t>(ids.size()); ++r) {
      table->At({0, r}) = Variant::FromBstr(Bstr(ids[static_cast<std::size_t>(r)]));
      if (columns > 1) table->At({1, r}) = Variant::FromI4(0);  // VT_I4 0 converts to false
    }
    return Variant::FromArray(table);
  }
  const std::u16string kInbox = u"Persönliche Ordner\\Posteingang";

  Sim::SimOutlook outlook;
  std::shared_ptr<Sim::SimStore> store;
  std::shared_ptr<SimFolder> inbox;
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  CArchiveList list{table};
};

TEST_F(ArchiveListTest, FoldersMailsAndTheirCounts) {
  std::vector<std::u16string> ids{u"stays?"};
  std::u16string storeId = u"unchanged";
  list.GetSelectedMailIds(kInbox, ids, storeId);  // empty list: nothing for any path
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(storeId, u"unchanged");
  EXPECT_EQ(CountsNow(), (Counts{0, 0, 0}));

  EXPECT_TRUE(Add(store->DefaultFolder(olFolderCalendar)));  // no mail folders: nothing
  EXPECT_TRUE(Add(store->DefaultFolder(olFolderContacts)));
  EXPECT_EQ(CountsNow(), (Counts{0, 0, 0}));
  EXPECT_TRUE(Add(store->DefaultFolder(olFolderDrafts)));  // a mail folder without mails still counts
  EXPECT_EQ(Paths(true), std::vector<std::u16string>{u"Persönliche Ordner\\Entwürfe%0"});

  inbox->AddMails(5);
  inbox->AddItems(ItemKind::MeetingRequest, 2);  // non-mail items count nowhere
  int inaccessible = 0;
  EXPECT_TRUE(list.AddFolder(Folder(inbox), inaccessible, nullptr));
  EXPECT_EQ(inaccessible, 0);
  EXPECT_EQ(CountsNow(), (Counts{5, 5, 2}));
  ids = Ids(u"\\\\" + kInbox, &storeId);  // the raw Outlook form names the same folder
  EXPECT_EQ(ids.size(), 5u);
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
  EXPECT_EQ(storeId, store->StoreId());
}

TEST_F(ArchiveListTest, ApplySelectionAndSelectingAgain) {
  inbox->AddMails(3);
  Add(inbox);
  const std::vector<std::u16string> ids = Ids(kInbox);
  for (const Variant& refused : {Deselecting(ids, 1), Deselecting(ids, 2), Variant::FromBstr(u"no table")})
    list.ApplySelection(kInbox, refused);  // fewer than three columns, or no table
  list.ApplySelection(u"Anderer Ordner", Deselecting(ids));
  EXPECT_EQ(CountsNow(), (Counts{3, 3, 1}));
  list.ApplySelection(kInbox, Deselecting({ids[0], u"not-in-this-folder"}));
  EXPECT_EQ(CountsNow(), (Counts{2, 3, 1}));
  EXPECT_EQ(Paths(true), std::vector<std::u16string>{kInbox + u"%3"});  // deselected mails still count
  list.ApplySelection(kInbox, Deselecting(ids));
  EXPECT_EQ(CountsNow(), (Counts{0, 3, 1}));
  Add(inbox);  // adding again selects again
  EXPECT_EQ(CountsNow(), (Counts{3, 3, 1}));
}

TEST_F(ArchiveListTest, PathsAreOrdinalAndNormalized) {
  auto root = store->Root();
  for (const char16_t* name : {u"Postfach", u"A", u"P", u"a", u"Pa", u"B"}) root->AddFolder(name)->AddMail();
  for (const auto& folder : root->SubFolders())
    if (folder->ItemType() == olMailItem && !folder->ItemList().empty()) Add(folder);
  std::vector<std::u16string> expected;
  for (const char16_t* name : {u"A", u"B", u"P", u"Pa", u"Postfach", u"a"})
    expected.push_back(u"Persönliche Ordner\\" + std::u16string(name));
  EXPECT_EQ(Paths(), expected);
  EXPECT_EQ(CArchiveList::NormalizeFolderPath(u"\\\\\\x\\y"), u"x\\y");
  EXPECT_EQ(CArchiveList::NormalizeFolderPath(u""), u"");
}

TEST_F(ArchiveListTest, ClearKeepsExclusionsAndApplication) {
  const auto mails = inbox->AddMails(2);
  Add(inbox);
  list.SetExcludedFolders({u"\\\\Persönliche Ordner\\Junk-E-Mail"});
  list.ShowMail(kInbox, mails[0]->EntryId());
  EXPECT_EQ(mails[0]->Calls("Display"), 1u);
  list.Clear();
  list.ShowMail(kInbox, mails[0]->EntryId());  // the folder is no longer listed: nothing opens
  EXPECT_EQ(mails[0]->Calls("Display"), 1u);
  EXPECT_EQ(CountsNow(), (Counts{0, 0, 0}));
  EXPECT_TRUE(Paths().empty());
  EXPECT_EQ(list.ExcludedFolders(), std::vector<std::u16string>{u"Persönliche Ordner\\Junk-E-Mail"});
  EXPECT_TRUE(list.GetApplication());
}

// An entry id is unique only within its store: a mail opens from the store
// of the folder it was collected from.
TEST_F(ArchiveListTest, AMailOpensFromTheStoreOfItsFolder) {
  const auto mails = inbox->AddMails(1);
  const auto otherInbox = outlook.AddStore(u"Archiv 2020")->DefaultFolder(olFolderInbox);
  const auto twin = std::make_shared<Sim::SimItem>(outlook.World(), ItemKind::Mail, mails[0]->EntryId(), u"Zwilling");
  twin->Build(otherInbox);
  otherInbox->Adopt(twin);
  Add(otherInbox);
  list.ShowMail(u"Archiv 2020\\Posteingang", mails[0]->EntryId());
  EXPECT_EQ(twin->Calls("Display"), 1u);
  EXPECT_EQ(mails[0]->Calls("Display"), 0u);
}

TEST_F(ArchiveListTest, InaccessibleItemsAreCountedAndSkipped) {
  inbox->AddMails(10);
  // Two items cannot be fetched, one cannot tell its EntryID.
  inbox->ItemsObject()->Fail("Item", FaultPlan{E_ACCESSDENIED, 3, false});
  inbox->ItemList()[6]->FailAlways("EntryID", E_ACCESSDENIED);
  int inaccessible = 0;
  EXPECT_TRUE(list.AddFolder(Folder(inbox), inaccessible, nullptr));
  EXPECT_EQ(inaccessible, 2);
  EXPECT_EQ(CountsNow(), (Counts{8, 8, 1}));
  EXPECT_EQ(inbox->ItemsObject()->Calls("Count"), 1u);  // read once per folder
}

TEST_F(ArchiveListTest, FolderThatCannotBeReadIsLeftAsFarAsItGot) {
  inbox->AddMails(2);
  inbox->FailAlways("Items", E_FAIL);
  int inaccessible = 0;
  EXPECT_TRUE(list.AddFolder(Folder(inbox), inaccessible, nullptr));
  EXPECT_EQ(inaccessible, 0);
  EXPECT_EQ(CountsNow(), (Counts{0, 0, 1}));  // entered, without mails

  auto sent = store->DefaultFolder(olFolderSentMail);
  sent->FailAlways("FullFolderPath", E_FAIL);
  EXPECT_TRUE(Add(sent));
  EXPECT_EQ(CountsNow(), (Counts{0, 0, 1}));
}

TEST_F(ArchiveListTest, RecursiveWalkSurvivesSubfolderFailuresAndStopsOnCancel) {
  auto a = inbox->AddFolder(u"A");
  auto b = inbox->AddFolder(u"B");
  a->AddFolder(u"A1")->AddMails(1);
  b->AddMails(1);
  a->FoldersObject()->FailAlways("Count", E_FAIL);  // A's subtree cannot be enumerated
  int inaccessible = 0;
  EXPECT_TRUE(list.AddFoldersRecursive(Folder(inbox), inaccessible, nullptr));
  EXPECT_EQ(Paths(), (std::vector<std::u16string>{u"Persönliche Ordner\\Posteingang",
                                                  u"Persönliche Ordner\\Posteingang\\A",
                                                  u"Persönliche Ordner\\Posteingang\\B"}));

  class CancelAfter final : public Progress::IAbsProgress {
   public:
    bool Progress(std::uint64_t, std::uint64_t, int) override { return ++calls < 2; }
    void SetText(const std::u16string&) override {}
    int calls = 0;
  } cancel;
  list.Clear();
  auto c = inbox->AddFolder(u"C");
  c->AddMails(3);
  EXPECT_FALSE(list.AddFoldersRecursive(Folder(c), inaccessible, &cancel));
  EXPECT_EQ(CountsNow(), (Counts{2, 2, 1}));  // the mails handled before the cancel stay
}

TEST_F(ArchiveListTest, AddMailsFilesUnderTheFolderAndCountsInaccessible) {
  auto mails = inbox->AddMails(10);
  mails[2]->FailAlways("SenderEmailAddress", E_ACCESSDENIED);
  mails[7]->FailAlways("SenderEmailAddress", E_ACCESSDENIED);
  std::vector<MailItem> items;
  for (auto& m : mails) items.emplace_back(m);
  items.emplace_back(nullptr);  // a null element counts as inaccessible
  int inaccessible = 0;
  EXPECT_TRUE(list.AddMails(Folder(store->DefaultFolder(olFolderSentMail)), items, inaccessible, nullptr));
  EXPECT_EQ(inaccessible, 3);
  EXPECT_EQ(CountsNow(), (Counts{8, 8, 1}));
  EXPECT_EQ(Paths(), std::vector<std::u16string>{u"Persönliche Ordner\\Gesendete Elemente"});

  std::vector<MailItem> none;
  EXPECT_TRUE(list.AddMails(Folder(inbox), none, inaccessible, nullptr));
  EXPECT_EQ(CountsNow(), (Counts{8, 8, 2}));  // the folder comes in even without mails
}

TEST_F(ArchiveListTest, ApplicationThroughTheInterfaceTable) {
  EXPECT_EQ(table->RegisteredCount(), 1u);
  EXPECT_EQ(list.GetApplication().Object(), outlook.Application());
  EXPECT_EQ(list.SetApplication(outlook.Application()), S_OK);  // replaces the registration
  EXPECT_EQ(table->RegisteredCount(), 1u);

  table->Plan("Revoke", FaultPlan{E_UNEXPECTED, 1, false});
  EXPECT_EQ(list.SetApplication(outlook.Application()), E_UNEXPECTED);
  table->Plan("Fetch", FaultPlan{E_FAIL, 1, true});
  EXPECT_FALSE(list.GetApplication());  // any failure: no application
  std::vector<std::u16string> ids{u"x"};
  std::u16string storeId;
  list.GetSelectedMailIds(kInbox, ids, storeId);
  EXPECT_EQ(ids, std::vector<std::u16string>{u"x"});  // without application nothing changes

  EXPECT_EQ(list.SetApplication(nullptr), S_OK);
  EXPECT_EQ(table->RegisteredCount(), 0u);
  EXPECT_FALSE(list.GetApplication());
}

TEST(ArchiveListLifetime, DestructorRevokesTheApplication) {
  Sim::SimOutlook outlook;
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  {
    CArchiveList list(table);
    ASSERT_EQ(list.SetApplication(outlook.Application()), S_OK);
    EXPECT_EQ(table->RegisteredCount(), 1u);
  }
  EXPECT_EQ(table->RegisteredCount(), 0u);
}

}  // namespace
}  // namespace CV
