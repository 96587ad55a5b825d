// The two dialogs through the add-in's callbacks, with our selection controls
// acted on by a script as a user would: refining folder by folder, OK and
// "Abbrechen", controls that fail or answer oddly, opening a mail, and the
// excluded-folders dialog with and without a change.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "foundation/string_table.h"
#include "outlook/excluded_folders.h"
#include "foundation/format.h"
#include "foundation/utf.h"
#include "support/addin_fixture.h"
#include "support/faulty_object.h"

namespace CV {
namespace {

using namespace CV::Outlook;
using Components::CFolderSelectControl;
using Components::CMailSelectControl;

// A control whose "Modified" answers with a value of the test's choosing.
class ModifiedAs final : public IObject, public std::enable_shared_from_this<ModifiedAs> {
 public:
  ModifiedAs(ObjectPtr target, Variant modified) : m_target(std::move(target)), m_modified(std::move(modified)) {}
  ObjectPtr QueryInterface(const Guid& iid) override { return m_target->QueryInterface(iid) ? shared_from_this() : nullptr; }
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override {
    if (name == u"Modified") return m_modified;
    return m_target->Invoke(name, kind, std::move(args));
  }
  std::uint32_t Advise(const Guid& iid, std::shared_ptr<IEventSink> sink) override { return m_target->Advise(iid, sink); }
  void Unadvise(std::uint32_t cookie) override { m_target->Unadvise(cookie); }
  const ObjectPtr& Target() const { return m_target; }

 private:
  ObjectPtr m_target;
  Variant m_modified;
};

class DialogsTest : public Fake::AddinFixture {
 protected:
  void SetUp() override {
    sent = store->DefaultFolder(olFolderSentMail);
    inboxMails = inbox->AddMails(4);
    sentMails = sent->AddMails(3);
    Connect();
    Call(u"OnLoad", {Variant::FromObject(outlook.NewRibbonUI())});
    Collect(inbox);
    Collect(sent);
  }
  void Collect(const std::shared_ptr<Sim::SimFolder>& folder) {
    Call(u"AddFolder", {Variant::FromObject(outlook.NewRibbonControl(u"x", folder))});
    ASSERT_TRUE(Serve([&] { return !connect->JobRunner().WorkerAlive(); }));
  }
  void Refine(std::function<int(CMailSelectControl&)> user) {
    dialogScript = [user](int id, const ObjectPtr& control) {
      EXPECT_EQ(id, 206);
      auto* select = dynamic_cast<CMailSelectControl*>(control.get());
      return select ? user(*select) : user(*std::dynamic_pointer_cast<CMailSelectControl>(
                                          std::dynamic_pointer_cast<Fake::FaultyObject>(control)->Target()));
    };
    Call(u"RefineSelection", {Variant::FromObject(outlook.NewRibbonControl(u"RefineSelectionCmd", inbox))});
  }
  std::u16string Label() { return Call(u"GetMailCount", {Variant()}).AsText(); }
  std::vector<bool> Flags(const std::shared_ptr<Sim::SimFolder>& folder) {
    std::vector<std::u16string> ids;
    std::u16string storeId;
    connect->ArchiveList().GetSelectedMailIds(CArchiveList::NormalizeFolderPath(folder->FullFolderPath()), ids, storeId);
    std::vector<bool> flags;
    for (const auto& mail : folder->ItemList())
      flags.push_back(std::find(ids.begin(), ids.end(), mail->EntryId()) != ids.end());
    return flags;
  }
  const std::u16string kInbox = u"Persönliche Ordner\\Posteingang";
  const std::u16string kSent = u"Persönliche Ordner\\Gesendete Elemente";
  std::shared_ptr<Sim::SimFolder> sent;
  std::vector<std::shared_ptr<Sim::SimItem>> inboxMails, sentMails;
};

TEST_F(DialogsTest, AFolderIsWrittenBackWhenTheNextIsPickedAndTheLastOneOnOk) {
  EXPECT_EQ(Label(), u"    7");
  for (const int ending : {DialogResult::Cancel, DialogResult::Ok}) {
    SCOPED_TRACE(ending);
    Refine([&](CMailSelectControl& select) {
      const auto folders = select.Folders();
      EXPECT_EQ(folders.size(), 2u);
      EXPECT_EQ(folders[0].path, kSent);
      EXPECT_EQ(folders[0].count, 3);
      select.SelectFolder(kInbox);
      const auto rows = select.Rows();
      EXPECT_EQ(rows.size(), 4u);
      EXPECT_TRUE(select.SetSelected(inboxMails[1]->EntryId(), false));
      EXPECT_TRUE(select.SetSelected(inboxMails[2]->EntryId(), false));
      EXPECT_EQ(Label(), ending == DialogResult::Cancel ? u"    7" : u"    5");  // nothing written yet
      select.SelectFolder(kSent);  // the inbox's changes go back now
      EXPECT_EQ(Label(), u"    5");
      select.SetSelected(sentMails[0]->EntryId(), false);
      return ending;
    });
    EXPECT_EQ(Flags(inbox), (std::vector<bool>{true, false, false, true}));
    EXPECT_EQ(Flags(sent), (std::vector<bool>{ending == DialogResult::Cancel, true, true}));
  }
  EXPECT_EQ(Label(), u"    4");
  EXPECT_EQ(dialogs->owners.back(), 0x1234u);  // owned by the active window
}

TEST_F(DialogsTest, PickingFoldersWithoutChangesWritesNothing) {
  connect->ArchiveList().ApplySelection(kInbox, Variant());  // no table: nothing
  Refine([&](CMailSelectControl& select) {
    select.SelectFolder(kInbox);
    select.SelectFolder(kSent);
    select.SelectFolder(kInbox);
    return DialogResult::Ok;
  });
  EXPECT_EQ(Label(), u"    7");
}

// Ends the test run with a message when the test thread has not come back
// in time: a UI thread that waits for a lock without serving its apartment
// hangs Outlook for good, and here the test with it.
class HangBound {
 public:
  explicit HangBound(std::chrono::seconds bound, const char* what)
      : m_thread([this, bound, what] {
          std::unique_lock lock(m_mutex);
          if (!m_done.wait_for(lock, bound, [this] { return m_finished; })) {
            std::fprintf(stderr, "hang: %s\n", what);
            std::_Exit(1);
          }
        }) {}
  ~HangBound() {
    {
      std::lock_guard lock(m_mutex);
      m_finished = true;
    }
    m_done.notify_all();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  std::thread m_thread;
};

// The refine dialog is open in one explorer; in another the user presses
// "Ordner hinzufügen", and the job's worker holds the list's map lock while
// its Outlook call waits for the UI thread. A pick in the dialog must not
// wait for that lock: the UI thread would never serve the worker again.
TEST_F(DialogsTest, APickWhileAJobHoldsTheListNeverWaitsForIt) {
  auto archive = store->Root()->AddFolder(u"Archiv");
  archive->AddMails(30);
  HangBound bound(std::chrono::seconds(60), "a dialog handler waited for the archive list's map lock");
  Refine([&](CMailSelectControl& select) {
    select.SelectFolder(kInbox);
    EXPECT_TRUE(select.SetSelected(inboxMails[0]->EntryId(), false));
    Call(u"AddFolder", {Variant::FromObject(outlook.NewRibbonControl(u"x", archive))});  // in the other explorer
    // Serve the worker's calls one by one until it waits inside Outlook with the lock.
    const auto parked = [&] { return apartment->PendingCalls() > 0 && !connect->ArchiveList().MapLockIsFree(); };
    for (int i = 0; i < 2000 && !parked(); ++i)
      if (!apartment->ServeOne()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(parked()) << "the job is not waiting inside Outlook with the lock";
    select.SelectFolder(kSent);  // returns at once: the inbox's change waits for the job
    EXPECT_TRUE(select.Rows().empty());  // the busy folder shows no mails
    EXPECT_FALSE(connect->ArchiveList().MapLockIsFree());
    return DialogResult::Ok;
  });
  // Outlook serves the worker again; the job writes the change as it lets go.
  ASSERT_TRUE(Serve([&] { return !connect->JobRunner().WorkerAlive(); }));
  EXPECT_EQ(Flags(inbox), (std::vector<bool>{false, true, true, true}));
  EXPECT_EQ(Label(), u"   36");
  Refine([&](CMailSelectControl& select) {  // picked again, the folder shows its mails
    select.SelectFolder(kSent);
    EXPECT_EQ(select.Rows().size(), 3u);
    return DialogResult::Cancel;
  });
}

TEST_F(DialogsTest, OnlyABooleanTrueCountsAsAModification) {
  for (const Variant& modified : {Variant::FromI4(1), Variant::FromBstr(u"-1"), Variant::FromVariantBool(1),
                                  Variant::FromBool(true)}) {
    dialogScript = [&](int, const ObjectPtr& control) {
      auto& select = dynamic_cast<CMailSelectControl&>(*std::dynamic_pointer_cast<ModifiedAs>(control)->Target());
      select.SelectFolder(kInbox);
      select.SetSelected(inboxMails[0]->EntryId(), false);
      return DialogResult::Ok;
    };
    auto host = std::make_shared<Sim::SimDialogHost>(
        [&](int) { return std::make_shared<ModifiedAs>(std::make_shared<CMailSelectControl>(), modified); }, dialogScript);
    CDlgEMailSelect dialog(connect->SharedArchiveList(), Ports().mailExport);
    dialog.DoModal(*host, 0);
    EXPECT_EQ(Flags(inbox)[0], modified != Variant::FromBool(true)) << "type " << static_cast<int>(modified.Type());
  }
}

TEST_F(DialogsTest, AControlThatFailsInAnyCallLeavesTheListConsistent) {
  // A control whose folder list fails still writes the change back; any
  // other failure (no events: no pick reaches the dialog) loses the change,
  // never the list's consistency.
  const std::pair<const char*, std::int32_t> cases[] = {
      {"Folders", 6}, {"Modified", 7}, {"CurrentFolder", 7}, {"Mails", 7}, {"Advise", 7}};
  for (const auto& [member, selected] : cases) {
    SCOPED_TRACE(member);
    Call(u"ResetSelection", {Variant()});
    Collect(inbox);
    Collect(sent);
    std::shared_ptr<Fake::FaultyObject> faulty;
    auto host = std::make_shared<Sim::SimDialogHost>(
        [&](int) {
          faulty = std::make_shared<Fake::FaultyObject>(std::make_shared<CMailSelectControl>());
          faulty->Fail(member, Sim::FaultPlan{E_FAIL, 1, true});
          return faulty;
        },
        [&](int, const ObjectPtr&) {
          auto& select = dynamic_cast<CMailSelectControl&>(*faulty->Target());
          select.SelectFolder(kInbox);
          select.SetSelected(inboxMails[3]->EntryId(), false);
          select.SelectFolder(kSent);
          return DialogResult::Ok;
        });
    CDlgEMailSelect dialog(connect->SharedArchiveList(), Ports().mailExport);
    EXPECT_EQ(dialog.DoModal(*host, 0), DialogResult::Ok);
    EXPECT_EQ(connect->ArchiveList().GetSelectedMailCount(), selected);
    EXPECT_EQ(Label(), Format(u"%5i", selected));  // the counters follow the maps
  }
}

TEST_F(DialogsTest, TheMailTableAndWhatSpoilsIt) {
  inboxMails[2]->importance = olImportanceHigh;
  inboxMails[2]->AddAttachment(u"a.pdf", "a");
  inboxMails[2]->senderName = u"Meier", inboxMails[2]->sentOnBehalfOfName = u"Schulz";
  inboxMails[2]->size = 4711;
  const Variant table = connect->ArchiveList().GetFolderMailTable(u"\\\\" + kInbox, Ports().mailExport);
  ASSERT_EQ(table.Type(), VarType::ArrayOfVariant);
  const SafeArray& array = *table.AsArray();
  ASSERT_EQ(array.UpperBound(1), 7);
  ASSERT_EQ(array.UpperBound(2), 3);
  std::int32_t row = -1;
  for (std::int32_t r = 0; r <= 3; ++r)
    if (array.At({0, r}).AsText() == inboxMails[2]->EntryId()) row = r;
  ASSERT_GE(row, 0);
  EXPECT_EQ(array.At({1, row}), Variant::FromBool(true));
  EXPECT_EQ(array.At({2, row}), Variant::FromI4(1));
  EXPECT_EQ(array.At({3, row}), Variant::FromBool(true));
  EXPECT_EQ(array.At({4, row}).AsText(), u"Schulz (Meier)");
  EXPECT_EQ(array.At({5, row}).AsText(), inboxMails[2]->subject);
  EXPECT_EQ(array.At({6, row}), Variant::FromDate(inboxMails[2]->receivedTime));
  EXPECT_EQ(array.At({7, row}), Variant::FromI4(4711));
  EXPECT_EQ(array.At({3, (row + 1) % 4}), Variant::FromBool(false));
  for (std::int32_t r = 1; r <= 3; ++r) EXPECT_LT(array.At({0, r - 1}).AsText(), array.At({0, r}).AsText());
  // The control shows every visible column of it.
  CMailSelectControl shown;
  shown.Invoke(u"Mails", InvokeKind::PropertyPut, {table});
  const CMailSelectControl::Row seen = shown.Rows().at(static_cast<std::size_t>(row));
  EXPECT_EQ(seen.entryId, inboxMails[2]->EntryId());
  EXPECT_EQ(seen.sender, u"Schulz (Meier)");
  EXPECT_EQ(seen.importance, 1);
  EXPECT_TRUE(seen.attachments);
  EXPECT_EQ(seen.date, inboxMails[2]->receivedTime);
  EXPECT_EQ(seen.size, 4711);
  EXPECT_FALSE(shown.Rows().at(static_cast<std::size_t>((row + 1) % 4)).attachments);

  // A listed mail that has become another kind of item is left out.
  auto meeting = std::make_shared<Sim::SimItem>(outlook.World(), Sim::ItemKind::MeetingRequest, inboxMails[0]->EntryId(), u"T");
  meeting->Build(inbox);
  inbox->Release(inboxMails[0].get());
  inbox->Adopt(meeting);
  const Variant shorter = connect->ArchiveList().GetFolderMailTable(kInbox, Ports().mailExport);
  ASSERT_EQ(shorter.Type(), VarType::ArrayOfVariant);
  EXPECT_EQ(shorter.AsArray()->UpperBound(2), 2);
  EXPECT_TRUE(connect->ArchiveList().GetFolderMailTable(u"Nicht da", Ports().mailExport).IsEmpty());
  inbox->Release(inboxMails[1].get());  // deleted in Outlook after it was collected
  EXPECT_TRUE(connect->ArchiveList().GetFolderMailTable(kInbox, Ports().mailExport).IsEmpty());
  Refine([&](CMailSelectControl& select) {
    EXPECT_EQ(select.Folders()[1].count, 4);  // still listed with its full count
    select.SelectFolder(kInbox);
    EXPECT_TRUE(select.Rows().empty());
    return DialogResult::Ok;
  });
}

TEST_F(DialogsTest, OpeningAMailShowsItModally) {
  Refine([&](CMailSelectControl& select) {
    select.SelectFolder(kSent);
    select.OpenMail(sentMails[1]->EntryId());
    select.OpenMail(u"unbekannt");  // Outlook cannot find it: nothing happens
    return DialogResult::Cancel;
  });
  EXPECT_EQ(sentMails[1]->Calls("Display"), 1u);
  EXPECT_EQ(sentMails[1]->modalDisplays, 1) << "shown modally";
  EXPECT_EQ(sentMails[0]->Calls("Display"), 0u);
}

// A control that sends its events short of arguments (or with more)
// reaches the dialog with empty texts for the missing ones: nothing opens,
// nothing is written back, nothing breaks.
TEST_F(DialogsTest, EventsShortOfArgumentsOpenNothing) {
  class SinkTap final : public IObject, public std::enable_shared_from_this<SinkTap> {
   public:
    explicit SinkTap(ObjectPtr target) : m_target(std::move(target)) {}
    ObjectPtr QueryInterface(const Guid& iid) override { return m_target->QueryInterface(iid) ? shared_from_this() : nullptr; }
    Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override {
      return m_target->Invoke(name, kind, std::move(args));
    }
    std::uint32_t Advise(const Guid& iid, std::shared_ptr<IEventSink> s) override {
      sink = s;
      return m_target->Advise(iid, std::move(s));
    }
    void Unadvise(std::uint32_t cookie) override { m_target->Unadvise(cookie); }
    const ObjectPtr& Target() const { return m_target; }
    std::shared_ptr<IEventSink> sink;

   private:
    ObjectPtr m_target;
  };
  std::shared_ptr<SinkTap> tap;
  auto host = std::make_shared<Sim::SimDialogHost>(
      [&](int) { return tap = std::make_shared<SinkTap>(std::make_shared<CMailSelectControl>()); },
      [&](int, const ObjectPtr&) {
        const Variant sentPath = Variant::FromBstr(Bstr(kSent));
        tap->sink->OnEvent(Vendor::MailSelectEvent::MailOpen, {sentPath});
        tap->sink->OnEvent(Vendor::MailSelectEvent::MailOpen, {});
        tap->sink->OnEvent(Vendor::MailSelectEvent::FolderSelected, {});
        tap->sink->OnEvent(Vendor::MailSelectEvent::MailOpen,
                           {sentPath, Variant::FromBstr(Bstr(sentMails[2]->EntryId())), sentPath});
        return DialogResult::Cancel;
      });
  CDlgEMailSelect dialog(connect->SharedArchiveList(), Ports().mailExport);
  EXPECT_EQ(dialog.DoModal(*host, 0), DialogResult::Cancel);
  for (const auto& mail : sentMails) EXPECT_EQ(mail->Calls("Display"), mail == sentMails[2] ? 1u : 0u);
  EXPECT_EQ(connect->ArchiveList().GetSelectedMailCount(), 7);
  // The dialog's connection ends with it.
  EXPECT_EQ(std::dynamic_pointer_cast<CMailSelectControl>(tap->Target())->SinkCount(), 0u);
}

// The stand-in's connections: only its events interface, only cookies it
// gave, each once.
TEST(MailSelectStandIn, ConnectionsTakeOnlyWhatTheyGave) {
  struct Quiet final : IEventSink {
    void OnEvent(std::int32_t, const std::vector<Variant>&) override {}
  };
  auto control = std::make_shared<CMailSelectControl>();
  auto sink = std::make_shared<Quiet>();
  EXPECT_THROW(control->Advise(Vendor::Iid::CVMailSelect, sink), ComError);
  const std::uint32_t cookie = control->Advise(Vendor::Iid::CVMailSelectEvents, sink);
  EXPECT_THROW(control->Unadvise(cookie + 1), ComError);
  EXPECT_EQ(control->SinkCount(), 1u);
  EXPECT_NO_THROW(control->Unadvise(cookie));
  EXPECT_EQ(control->SinkCount(), 0u);
  EXPECT_THROW(control->Unadvise(cookie), ComError);
}

TEST_F(DialogsTest, TheExcludedFoldersDialogAppliesOnlyAChange) {
  const auto value = [&] {
    std::unique_ptr<ISettingsKey> key;
    std::vector<std::uint8_t> data;
    settings.OpenUserKey(AddinSettingsKey(), key);
    return key->QueryValueData(u"ExcludeFolder", data) == 0 ? std::optional(std::u16string(
                                                                  reinterpret_cast<const char16_t*>(data.data()), data.size() / 2))
                                                            : std::nullopt;
  };
  const std::u16string root = u"\\\\Persönliche Ordner\\";
  const std::set<std::u16string> defaults{root + u"Gelöschte Elemente", root + u"Junk-E-Mail", root + u"Postausgang",
                                          root + u"RSS-Feeds"};
  const std::u16string inbox = root + u"Posteingang", junk = root + u"Junk-E-Mail";
  struct Case {
    const char* name;
    std::u16string folder;
    bool mark;
    int ending;
    bool written;
  };
  // While nothing is stored the default set is what a recursive add skips,
  // so the tree shows it marked; marking one of them again is no change.
  for (const Case& c : {Case{"OK without a change", u"", false, DialogResult::Ok, false},
                        Case{"OK after marking a folder of the default set", junk, true, DialogResult::Ok, false},
                        Case{"Abbrechen after marking", inbox, true, DialogResult::Cancel, false},
                        Case{"OK after marking", inbox, true, DialogResult::Ok, true}}) {
    SCOPED_TRACE(c.name);
    dialogScript = [&](int id, const ObjectPtr& control) {
      EXPECT_EQ(id, 110);
      auto& tree = dynamic_cast<CFolderSelectControl&>(*control);
      EXPECT_EQ(tree.Mode(), -1);
      EXPECT_EQ(tree.Marked(), defaults);
      EXPECT_TRUE(tree.IsMarked(junk));
      EXPECT_FALSE(tree.IsMarked(inbox));
      EXPECT_GT(tree.FolderPaths().size(), 10u);
      if (!c.folder.empty()) {
        EXPECT_EQ(tree.Mark(c.folder, c.mark), c.folder == inbox);
      }
      return c.ending;
    };
    Call(u"SelectIgnoredFolder", {Variant::FromObject(outlook.NewRibbonControl(u"x", this->inbox))});
    EXPECT_EQ(value().has_value(), c.written);
  }
  std::u16string expected;
  std::set<std::u16string> marked = defaults;
  marked.insert(inbox);
  for (const std::u16string& path : marked) expected += path + u"\r\n";
  EXPECT_EQ(value(), expected + std::u16string(1, u'\0'));
  std::vector<std::u16string> excluded;
  LoadExcludedFolders(excluded, connect->Application(), settings);
  EXPECT_EQ(excluded, std::vector<std::u16string>(marked.begin(), marked.end()));
  dialogScript = [&](int, const ObjectPtr& control) {  // the stored value is shown the next time
    auto& tree = dynamic_cast<CFolderSelectControl&>(*control);
    EXPECT_EQ(tree.Marked(), marked);
    EXPECT_EQ(tree.Invoke(u"Dirty", InvokeKind::PropertyGet, {}), Variant::FromBool(false));
    EXPECT_TRUE(tree.Mark(junk, false));
    EXPECT_EQ(tree.Invoke(u"Dirty", InvokeKind::PropertyGet, {}), Variant::FromBool(true));
    // Applied (the page's own button), the page is clean until the next change.
    tree.Invoke(u"Apply", InvokeKind::Method, {});
    EXPECT_EQ(tree.Invoke(u"Dirty", InvokeKind::PropertyGet, {}), Variant::FromBool(false));
    return DialogResult::Ok;
  };
  Call(u"SelectIgnoredFolder", {Variant::FromObject(outlook.NewRibbonControl(u"x", this->inbox))});
  marked.erase(junk);
  LoadExcludedFolders(excluded, connect->Application(), settings);
  EXPECT_EQ(excluded, std::vector<std::u16string>(marked.begin(), marked.end()));
}

// The folder list arrives as "path%count" lines: an empty line (a list's
// last line break, two in a row) is no folder, a path without count counts 0,
// and the last "%" parts the count from a path that holds one; a new list
// replaces the one before.
TEST(MailSelectControl, FolderLinesAsTheListHasThem) {
  const struct {
    std::u16string lines;
    std::vector<std::pair<std::u16string, std::int32_t>> folders;
  } cases[] = {
      {u"", {}},
      {u"\r\n", {}},
      {u"A\\B%3\r\n\r\nC%12\r\n", {{u"A\\B", 3}, {u"C", 12}}},
      {u"ohne Zahl", {{u"ohne Zahl", 0}}},
      {u"100% sicher%7", {{u"100% sicher", 7}}},
  };
  CMailSelectControl control;  // each list replaces the one before
  for (const auto& c : cases) {
    control.Invoke(u"Folders", InvokeKind::PropertyPut, {Variant::FromBstr(Bstr(c.lines))});
    std::vector<std::pair<std::u16string, std::int32_t>> folders;
    for (const auto& folder : control.Folders()) folders.emplace_back(folder.path, folder.count);
    EXPECT_EQ(folders, c.folders) << ToUtf8(c.lines);
  }
}

// A row whose cells are missing or of other types shows as unticked,
// normal, without attachments, date or size.
TEST(MailSelectControl, CellsOfOtherTypesShowAsNothing) {
  auto array = SafeArray::Create2D(8, 2);
  array->At({0, 0}) = Variant::FromBstr(u"a");
  array->At({1, 0}) = Variant::FromI4(1);  // no VT_BOOL: not ticked
  array->At({7, 0}) = Variant::FromBstr(u"groß");
  array->At({0, 1}) = Variant::FromBstr(u"b");
  array->At({1, 1}) = Variant::FromBool(true);
  array->At({2, 1}) = Variant::FromBstr(u"1");
  array->At({6, 1}) = Variant::FromDate(46000.25);
  array->At({7, 1}) = Variant::FromBstr(u"2048");
  CMailSelectControl control;
  control.Invoke(u"Mails", InvokeKind::PropertyPut, {Variant::FromArray(array)});
  const auto rows = control.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_FALSE(rows[0].selected);
  EXPECT_EQ(rows[0].importance, 0);
  EXPECT_FALSE(rows[0].attachments);
  EXPECT_EQ(rows[0].date, 0.0);
  EXPECT_EQ(rows[0].size, 0);
  EXPECT_TRUE(rows[1].selected);
  EXPECT_EQ(rows[1].importance, 1);
  EXPECT_EQ(rows[1].date, 46000.25);
  EXPECT_EQ(rows[1].size, 2048);

  // Ticking by row (as the list on screen does) is a change; a row past the
  // end is none.
  EXPECT_EQ(control.Invoke(u"Modified", InvokeKind::PropertyGet, {}), Variant::FromBool(false));
  control.SetSelectedRows({5}, true);
  EXPECT_EQ(control.Invoke(u"Modified", InvokeKind::PropertyGet, {}), Variant::FromBool(false));
  control.SetSelectedRows({0, 2}, true);
  EXPECT_EQ(control.Invoke(u"Modified", InvokeKind::PropertyGet, {}), Variant::FromBool(true));
  EXPECT_TRUE(control.Rows()[0].selected);
}

TEST_F(DialogsTest, TheControlsRefuseAPutWithoutItsOneValue) {
  const ObjectPtr controls[] = {std::make_shared<CMailSelectControl>(), std::make_shared<CFolderSelectControl>(settings)};
  const std::u16string_view names[] = {u"Folders", u"SettingsKey"};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(ToUtf8(names[i]));
    for (const std::size_t count : {0u, 2u}) {
      try {
        controls[i]->Invoke(names[i], InvokeKind::PropertyPut, std::vector<Variant>(count, Variant::FromBstr(u"x")));
        ADD_FAILURE() << count << " values taken";
      } catch (const ComError& e) {
        EXPECT_EQ(e.Error(), DISP_E_BADPARAMCOUNT);
      }
    }
    try {
      controls[i]->Invoke(u"Nothing", InvokeKind::PropertyPut, {Variant::FromBstr(u"x")});
      ADD_FAILURE() << "an unknown member taken";
    } catch (const ComError& e) {
      EXPECT_EQ(e.Error(), DISP_E_UNKNOWNNAME);
    }
  }
}

TEST_F(DialogsTest, AControlThatCannotBeMadeShowsTheDamagedInstallationMessage) {
  controlsRegistered = false;
  bool scripted = false;
  dialogScript = [&](int, const ObjectPtr&) {
    scripted = true;
    return DialogResult::Ok;
  };
  for (const char16_t* command : {u"RefineSelection", u"SelectIgnoredFolder"}) {
    SCOPED_TRACE(ToUtf8(command));
    const std::size_t before = ui->MessagesShown().size();
    EXPECT_EQ(Call(command, {Variant::FromObject(outlook.NewRibbonControl(u"x", inbox))}), Variant());
    const auto shown = ui->MessagesShown();
    ASSERT_EQ(shown.size(), before + 1);
    EXPECT_EQ(shown.back().text, StringTableText(StringId::InstallationDamaged));
    EXPECT_EQ(shown.back().caption, StringTableText(StringId::ProductTitle));
    EXPECT_EQ(shown.back().style, MessageStyle::IconError);
    EXPECT_EQ(shown.back().owner, 0x1234u);
  }
  EXPECT_FALSE(scripted) << "no dialog is shown without its control";
}

}  // namespace
}  // namespace CV
