// "Archiv erstellen" through the add-in's callbacks on the simulated
// Outlook, with our container writer producing a real container: what ends up
// in it, the six properties, and the failure table of the job, with faults
// injected into Outlook and into the writer. No partial container is ever
// left.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "archive/fill_mail_archive_job.h"
#include "foundation/utf.h"
#include "components/container/container_check.h"
#include "components/container/container_writer.h"
#include "components/container/zip_reader.h"
#include "sim/posix_paths.h"
#include "support/addin_fixture.h"
#include "support/faulty_file_system.h"
#include "support/faulty_object.h"

namespace CV {
namespace {

using namespace CV::Outlook;
namespace fs = std::filesystem;

class ScriptedTarget final : public Components::IExportTargetChooser {
 public:
  std::optional<Components::ExportTarget> Choose() override {
    ++asked;
    return target;
  }
  std::optional<Components::ExportTarget> target;
  int asked = 0;
};

class ScriptedProgress final : public Components::IExportProgress {
 public:
  bool MailWritten(std::int32_t received, std::int32_t, std::uint64_t) override {
    if (onMail) onMail(received);
    return received != stopAt;
  }
  void ContainerWritten(std::u16string_view file) override { written = ToUtf8(file); }
  void Failed(std::string_view cause) override { causes.emplace_back(cause); }
  int stopAt = 0;
  std::function<void(int)> onMail;
  std::string written;
  std::vector<std::string> causes;
};

// A path as the writer's file-system port takes it.
std::u16string Port(const fs::path& path) { return FS::ToWindows(path.string()); }

class ArchiveCreationTest : public Fake::AddinFixture {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cv-archive-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    container = dir / "Archiv.zip";
    target->target = Components::ExportTarget{Port(container), u"Quartal 4"};
    RegisterWriter();
    Connect();
    ribbon = outlook.NewRibbonUI();
    Call(u"OnLoad", {Variant::FromObject(ribbon)});
  }
  void TearDown() override {
    connect.reset();
    for (const auto& entry : fs::directory_iterator(dir))
      EXPECT_FALSE(entry.path().filename().string().find(".part-") != std::string::npos)
          << "a temporary container was left: " << entry.path();
    if (!std::getenv("CV_KEEP")) fs::remove_all(dir);
  }
  void Press(std::u16string_view callback, const ObjectPtr& control) {
    Call(callback, {Variant::FromObject(control)});
    ASSERT_TRUE(Serve([&] { return !connect->JobRunner().WorkerAlive(); }));
  }
  // The factory makes our writer, with faults planned by configure.
  void RegisterWriter(std::function<void(Fake::FaultyObject&)> configure = nullptr) {
    const Components::WriterPorts ports{target, progress, files, 6};
    factory->Register(u"CVMail.CVMailExport", [this, ports, configure] {
      writer = std::make_shared<Fake::FaultyObject>(std::make_shared<Components::CContainerWriter>(ports));
      if (configure) configure(*writer);
      return writer;
    });
  }
  ObjectPtr On(ObjectPtr context) { return outlook.NewRibbonControl(u"CreateArchivCmd", std::move(context)); }
  nlohmann::json Manifest() {
    Components::ZipReader zip(container);
    return nlohmann::json::parse(zip.ReadAll(*zip.Find("manifest.json")));
  }
  std::vector<std::pair<std::string, std::string>> Properties() {
    std::vector<std::pair<std::string, std::string>> list;
    const nlohmann::json manifest = Manifest();
    for (const auto& p : manifest["properties"]) list.emplace_back(p[0], p[1]);
    return list;
  }

  fs::path dir, container;
  std::shared_ptr<ScriptedTarget> target = std::make_shared<ScriptedTarget>();
  std::shared_ptr<ScriptedProgress> progress = std::make_shared<ScriptedProgress>();
  std::shared_ptr<Fake::FaultyFileSystem> files = std::make_shared<Fake::FaultyFileSystem>();
  std::shared_ptr<Fake::FaultyObject> writer;
  std::shared_ptr<Sim::SimRibbonUI> ribbon;
  std::shared_ptr<Sim::SimExplorer> explorer = outlook.OpenExplorer(inbox);
};

TEST_F(ArchiveCreationTest, TheSelectedMailsUnderTheirFoldersWithTheSixProperties) {
  auto mails = inbox->AddMails(3);
  mails[0]->size = 1000, mails[1]->size = 2000, mails[2]->size = 3000;
  auto sent = store->DefaultFolder(olFolderSentMail);
  auto sentMail = sent->AddMail(u"Gesendet");
  sentMail->size = 500;
  Press(u"AddFolder", On(inbox));
  Press(u"AddFolder", On(sent));
  // The first inbox mail is filed under Sent as well: a second listing.
  explorer->SetCurrentFolder(sent);
  explorer->Select({mails[0]});
  Press(u"AddMails", On(explorer));
  const std::uint64_t before = ribbon->Invalidations();
  Press(u"StartARCCreation", On(explorer));
  EXPECT_EQ(ribbon->Invalidations(), before);  // this job does not refresh the ribbon
  ASSERT_TRUE(fs::exists(container));
  EXPECT_EQ(Components::VerifyContainer(container), std::vector<std::string>{});

  const nlohmann::json manifest = Manifest();
  EXPECT_EQ(manifest["announced"], 5);
  EXPECT_EQ(manifest["received"], 5);
  std::vector<std::string> members, subjects;
  std::vector<bool> headersOnly;
  for (const auto& m : manifest["mails"]) {
    members.push_back(m["member"]), subjects.push_back(m["subject"]), headersOnly.push_back(m["headersOnly"]);
  }
  // Folders in path order, mails in EntryID order, numbered in the container.
  EXPECT_EQ(members, (std::vector<std::string>{
                         "mails/Persönliche Ordner/Gesendete Elemente/000001.eml",
                         "mails/Persönliche Ordner/Gesendete Elemente/000002.eml",
                         "mails/Persönliche Ordner/Posteingang/000003.eml",
                         "mails/Persönliche Ordner/Posteingang/000004.eml",
                         "mails/Persönliche Ordner/Posteingang/000005.eml"}));
  EXPECT_EQ(headersOnly, (std::vector<bool>{false, false, true, false, false}));  // mails[0] the second time
  EXPECT_EQ(Properties(), (std::vector<std::pair<std::string, std::string>>{
                              {"Content Generator", "Corvane E-Mail Archiv für Microsoft Outlook"},
                              {"Ersteller", "Peter Schulz"},
                              {"Erstellungsdatum", "05.12.2026 10:15:00"},
                              {"Anzahl der Mails", "5"},
                              {"Gesamtgröße der Mails", "7 kB"},  // 1000 + 500 + 1000 + 2000 + 3000 bytes
                              {"Kommentar", "Quartal 4"}}));
  EXPECT_EQ(connect->ArchiveList().GetSelectedMailCount(), 5);  // the list is left as it was
  EXPECT_TRUE(ui->MessagesShown().empty());
}

// The whole flow: collect two folders, refine one of them, create the archive.
// What one mail costs Outlook's UI thread, which serves every call the job
// makes into its apartment: the count by member, exactly, so that a change
// that adds a call is seen and its count updated on purpose. The reference
// mail: an HTML body with one picture of its own and one file attached.
TEST_F(ArchiveCreationTest, TheCallsOneMailMakesIntoOutlooksApartment) {
  auto mail = inbox->AddMail(u"Angebot");
  mail->htmlBody = u"<body><img src=\"cid:logo@x\"><p>Unser Angebot</p></body>";
  mail->AddInlinePicture(u"logo.png", "png", u"logo@x");
  mail->AddAttachment(u"Angebot.pdf", "%PDF-1.4");
  Press(u"AddFolder", On(inbox));
  const auto before = outlook.World()->Crossings();
  Press(u"StartARCCreation", On(explorer));
  ASSERT_TRUE(fs::exists(container));
  std::map<std::string, std::uint64_t> made;
  for (const auto& [member, calls] : outlook.World()->Crossings()) {
    const auto it = before.find(member);
    if (const std::uint64_t n = calls - (it == before.end() ? 0 : it->second)) made[member] = n;
  }
  const std::map<std::string, std::uint64_t> expected{
      // once per run
      {"Session", 1},
      // the mail
      {"GetItemFromID", 1}, {"QueryInterface", 3}, {"EntryID", 1}, {"Subject", 1}, {"To", 1}, {"SenderName", 1},
      {"SentOnBehalfOfName", 1}, {"CC", 1}, {"BCC", 1}, {"Size", 1}, {"Importance", 1}, {"ReceivedByName", 1},
      {"ReceivedTime", 1}, {"Submitted", 1}, {"PropertyAccessor", 3}, {"GetProperty", 1}, {"SaveAs", 1},
      // its attachments: the picture and the file, each judged once
      {"Attachments", 1}, {"Count", 3}, {"Item", 2}, {"Parent", 2}, {"BodyFormat", 1}, {"GetProperties", 2},
      {"HTMLBody", 1}, {"FileName", 1}, {"SaveAsFile", 1},
  };
  EXPECT_EQ(made, expected);
}

TEST_F(ArchiveCreationTest, WhatTheUserUntickedStaysOutOfTheArchive) {
  auto inboxMails = inbox->AddMails(5);
  auto sent = store->DefaultFolder(olFolderSentMail);
  sent->AddMails(2);
  const auto label = [&] { return Call(u"GetMailCount", {Variant()}).AsText(); };
  Press(u"AddFolder", On(inbox));
  EXPECT_EQ(label(), u"    5");
  Press(u"AddFolder", On(sent));
  EXPECT_EQ(label(), u"    7");
  std::set<std::u16string> unticked;
  dialogScript = [&](int, const ObjectPtr& control) {
    auto& select = dynamic_cast<Components::CMailSelectControl&>(*control);
    select.SelectFolder(u"Persönliche Ordner\\Posteingang");
    for (int i : {0, 2, 4}) {
      select.SetSelected(inboxMails[i]->EntryId(), false);
      unticked.insert(inboxMails[i]->EntryId());
    }
    return DialogResult::Ok;
  };
  Press(u"RefineSelection", On(explorer));
  EXPECT_EQ(label(), u"    4");
  Press(u"StartARCCreation", On(explorer));
  ASSERT_TRUE(Components::VerifyContainer(container).empty());
  const nlohmann::json manifest = Manifest();
  ASSERT_EQ(manifest["mails"].size(), 4u);
  for (const auto& mail : manifest["mails"]) EXPECT_FALSE(unticked.count(FromUtf8(mail["entryId"].get<std::string>())));
  EXPECT_EQ(Properties()[3].second, "4");
}

TEST_F(ArchiveCreationTest, NothingSelectedShowsMessage108AndCreatesNoWriter) {
  inbox->AddMails(2);
  Press(u"StartARCCreation", On(explorer));  // an empty list
  Press(u"AddFolder", On(inbox));
  std::vector<std::u16string> ids;
  std::u16string storeId;
  connect->ArchiveList().GetSelectedMailIds(u"Persönliche Ordner\\Posteingang", ids, storeId);
  auto table = SafeArray::Create2D(8, 2);
  for (std::int32_t r = 0; r < 2; ++r) {
    table->At({0, r}) = Variant::FromBstr(Bstr(ids[static_cast<std::size_t>(r)]));
    table->At({1, r}) = Variant::FromBool(false);
  }
  connect->ArchiveList().ApplySelection(u"Persönliche Ordner\\Posteingang", Variant::FromArray(table));
  Press(u"StartARCCreation", On(explorer));  // mails, but none selected
  const auto messages = ui->MessagesShown();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& m : messages) {
    EXPECT_EQ(ToUtf8(m.text), "Bitte wählen Sie mindestens eine E-Mail zum Export aus.");
    EXPECT_EQ(ToUtf8(m.caption), "Corvane E-Mail Archiv für Microsoft Outlook");
    EXPECT_EQ(m.style, 0x40u);
    EXPECT_EQ(m.owner, 0u);
  }
  EXPECT_EQ(writer, nullptr);
  EXPECT_FALSE(fs::exists(container));
}

TEST_F(ArchiveCreationTest, AWriterThatCannotBeUsedShowsMessage107) {
  inbox->AddMails(1);
  Press(u"AddFolder", On(inbox));
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"not registered", [&] { factory->refused.insert(u"CVMail.CVMailExport"); }},
      {"put_MailCount fails", [&] {
         factory->refused.clear();
         RegisterWriter([](Fake::FaultyObject& w) { w.Fail("MailCount", Sim::FaultPlan{E_FAIL, 1, true}); });
       }},
  };
  std::size_t shown = 0;
  for (const auto& [name, setup] : cases) {
    SCOPED_TRACE(name);
    setup();
    Press(u"StartARCCreation", On(explorer));
    const auto messages = ui->MessagesShown();
    ASSERT_EQ(messages.size(), ++shown);
    EXPECT_EQ(ToUtf8(messages.back().text),
              "Diese Installation des Corvane E-Mail Archiv für Microsoft Outlook ist beschädigt.\r\nBitte installieren "
              "Sie das Add-In neu oder wenden Sie sich an Ihren Systemadministrator.");
    EXPECT_EQ(messages.back().style, 0x10u);
    EXPECT_FALSE(connect->JobRunner().WorkerAlive());
    EXPECT_TRUE(runReport->lines.empty()) << "the job ran without a writer";
  }
}

// A target the writer cannot use is the writer's to tell, in German, with
// the folder or file the user chose; it declines the export, so the add-in
// shows nothing of its own (no damaged installation), and no file is left.
TEST_F(ArchiveCreationTest, ATargetThatCannotBeUsedIsToldByTheWriterAndDeclined) {
  inbox->AddMails(2);
  Press(u"AddFolder", On(inbox));
  fs::create_directory(dir / "gesperrt");
  fs::permissions(dir / "gesperrt", fs::perms::owner_read | fs::perms::owner_exec);
  const std::string d = dir.string();
  const struct {
    const char* name;
    fs::path file;
    std::int32_t createFails, lockFails;
    std::string cause;
  } cases[] = {
      {"missing folder", dir / "fehlt" / "Archiv.zip", 0, 0, "Der Ordner „" + d + "/fehlt“ existiert nicht."},
      {"read-only folder", dir / "gesperrt" / "Archiv.zip", 0, 0,
       "Kein Schreibzugriff auf den Ordner „" + d + "/gesperrt“."},
      {"full disk", container, Win32Error::DiskFull, 0,
       "Der Datenträger ist voll: „" + d + "/Archiv.zip“ konnte nicht geschrieben werden."},
      {"network gone", container, Win32Error::NetNameDeleted, 0, "Die Verbindung zu „" + d + "“ ist unterbrochen."},
      {"another error", container, 1117, 0, "„" + d + "/Archiv.zip“ konnte nicht geschrieben werden (Fehler 1117)."},
      {"the owner's lock is refused", container, 0, Win32Error::LockViolation,
       "Die Datei „" + d + "/Archiv.zip“ wird von einem anderen Programm verwendet."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    progress->causes.clear();
    target->target->file = Port(c.file);
    files->Plan("CreateForWriting", Sim::FaultPlan{c.createFails, 1, false});
    files->Plan("LockRange", Sim::FaultPlan{c.lockFails, 1, false});
    Press(u"StartARCCreation", On(explorer));
    EXPECT_EQ(progress->causes, std::vector<std::string>{c.cause});
    EXPECT_EQ(writer->Calls("AddEMail"), 0u);
    EXPECT_TRUE(ui->MessagesShown().empty());
    EXPECT_FALSE(fs::exists(c.file));
  }
  fs::permissions(dir / "gesperrt", fs::perms::owner_all);
  EXPECT_TRUE(fs::is_empty(dir / "gesperrt"));
}

// A file of the target's name is replaced only when the user said so;
// otherwise the container goes beside it under the first free number.
TEST_F(ArchiveCreationTest, AnExistingFileIsReplacedOnlyWhenAsked) {
  inbox->AddMails(1);
  Press(u"AddFolder", On(inbox));
  const auto older = [](const fs::path& file) {
    std::ofstream(file, std::ios::binary) << "older";
  };
  older(container);
  older(dir / "Archiv (2).zip");
  Press(u"StartARCCreation", On(explorer));
  EXPECT_EQ(fs::file_size(container), 5u);
  EXPECT_EQ(fs::file_size(dir / "Archiv (2).zip"), 5u);
  EXPECT_EQ(progress->written, (dir / "Archiv (3).zip").string());
  EXPECT_TRUE(Components::VerifyContainer(dir / "Archiv (3).zip").empty());

  // A file system that calls the taken name a file that exists.
  files->Plan("MoveFileTo", Sim::FaultPlan{Win32Error::FileExists, 1, false});
  Press(u"StartARCCreation", On(explorer));
  EXPECT_EQ(progress->written, (dir / "Archiv (4).zip").string());

  target->target->mayReplace = true;
  Press(u"StartARCCreation", On(explorer));
  EXPECT_EQ(progress->written, container.string());
  EXPECT_TRUE(Components::VerifyContainer(container).empty());
  EXPECT_FALSE(fs::exists(dir / "Archiv (5).zip"));
  EXPECT_TRUE(progress->causes.empty());
}

TEST_F(ArchiveCreationTest, DecliningTheTargetEndsSilently) {
  inbox->AddMails(1);
  Press(u"AddFolder", On(inbox));
  target->target.reset();
  Press(u"StartARCCreation", On(explorer));
  EXPECT_EQ(target->asked, 1);
  EXPECT_TRUE(ui->MessagesShown().empty());
  EXPECT_EQ(connect->JobRunner().GetStatus(), 0u);  // no job ran
}

// The worker's last steps (the job's end, the writer released) come after
// the run's status is final: a press then must not ask for a second target
// only for the runner to refuse the job.
TEST_F(ArchiveCreationTest, APressWhileTheLastWorkerStillEndsAsksForNothing) {
  // Holds each worker in its last step until opened.
  class GatedEnd final : public IThreadHooks {
   public:
    void Enter(int) override {}
    void Leave() override {
      std::unique_lock lock(mutex);
      leaving = true;
      apartment->Wake();  // the UI thread serves its apartment while it waits for this
      opened.wait(lock, [&] { return open; });
      leaving = open = false;
    }
    bool Leaving() {
      std::lock_guard lock(mutex);
      return leaving;
    }
    void Open() {
      std::lock_guard lock(mutex);
      open = true;
      opened.notify_all();
    }
    std::mutex mutex;
    std::condition_variable opened;
    bool leaving = false, open = false;
    std::shared_ptr<Sim::SimApartment> apartment;
  };
  auto gate = std::make_shared<GatedEnd>();
  gate->apartment = apartment;
  threads = gate;
  Connect();
  Call(u"OnLoad", {Variant::FromObject(ribbon)});
  inbox->AddMails(2);
  Call(u"AddFolder", {Variant::FromObject(On(inbox))});
  ASSERT_TRUE(Serve([&] { return gate->Leaving(); }));
  gate->Open();
  ASSERT_TRUE(Serve([&] { return !connect->JobRunner().WorkerAlive(); }));

  Call(u"StartARCCreation", {Variant::FromObject(On(explorer))});
  ASSERT_TRUE(Serve([&] { return gate->Leaving(); }));
  EXPECT_NE(connect->JobRunner().GetStatus(), kStillActive);  // the run is over, its worker is not
  Call(u"StartARCCreation", {Variant::FromObject(On(explorer))});
  EXPECT_EQ(target->asked, 1);
  gate->Open();
  ASSERT_TRUE(Serve([&] { return !connect->JobRunner().WorkerAlive(); }));
  EXPECT_EQ(Manifest()["mails"].size(), 2u);
}

// The writer's answer, Outlook's failures and the disk end the run; none of
// them leaves a container, and an older file of the target's name stays.
TEST_F(ArchiveCreationTest, RunsThatEndEarlyLeaveNoContainer) {
  auto mails = inbox->AddMails(5);
  Press(u"AddFolder", On(inbox));
  const fs::path gone = dir / "weg";
  struct Case {
    const char* name;
    std::function<void()> setup;
    bool ended;         // the job came to EndExport
    std::string cause;  // what the writer told
  };
  const Case cases[] = {
      {"the writer stops after the third mail", [&] { progress->stopAt = 3; }, false, ""},
      {"a mail was deleted after collecting", [&] { inbox->Release(mails[2].get()); }, false, ""},
      {"the target's directory goes before EndExport", [&] {
         fs::create_directory(gone);
         target->target->file = Port(gone / "Archiv.zip");
         progress->onMail = [gone](int received) {
           if (received == 5) fs::remove_all(gone);
         };
       }, true, "Der Ordner „" + gone.string() + "“ existiert nicht."},
      {"the disk is full when the container is completed", [&] {
         files->Plan("WriteAt", Sim::FaultPlan{Win32Error::DiskFull, 1, true});
       }, true, "Der Datenträger ist voll: „" + container.string() + "“ konnte nicht geschrieben werden."},
      {"the flush to the disk fails", [&] { files->Plan("Flush", Sim::FaultPlan{1117, 1, true}); }, true,
       "„" + container.string() + "“ konnte nicht geschrieben werden (Fehler 1117)."},
      {"the target is held by another program", [&] {
         files->Plan("MoveFileTo", Sim::FaultPlan{Win32Error::SharingViolation, 1, true});
       }, true, "Die Datei „" + container.string() + "“ wird von einem anderen Programm verwendet."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::ofstream older(container, std::ios::binary);
      older << "an older archive";
    }
    target->target->mayReplace = true;
    progress->causes.clear();
    c.setup();
    Press(u"StartARCCreation", On(explorer));
    EXPECT_EQ(fs::file_size(container), 16u) << "the older file was touched";
    EXPECT_EQ(writer->Calls("EndExport") > 0, c.ended);
    EXPECT_EQ(writer->Calls("SetProperty") > 0, c.ended);
    EXPECT_EQ(progress->causes, c.cause.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.cause});
    progress->stopAt = 0, progress->onMail = nullptr;
    target->target->file = Port(container);
    inbox->Adopt(mails[2]);
    for (const char* call : {"WriteAt", "Flush", "MoveFileTo"}) files->Plan(call, {});
  }
  EXPECT_TRUE(ui->MessagesShown().empty());
}

TEST_F(ArchiveCreationTest, PropertyAndMailFailuresWithinTheRun) {
  auto mails = inbox->AddMails(4);
  mails[1]->FailAlways("Subject", E_ACCESSDENIED);  // its conversion fails: skipped, not counted
  for (auto& m : mails) m->size = 100;
  Press(u"AddFolder", On(inbox));
  RegisterWriter([](Fake::FaultyObject& w) { w.Fail("SetProperty", Sim::FaultPlan{E_FAIL, 4, false}); });  // the count
  user->displayName.reset();  // the SAM-compatible name stands in
  user->dateText.reset();
  Press(u"StartARCCreation", On(explorer));
  ASSERT_TRUE(fs::exists(container));  // EndExport still came
  EXPECT_EQ(Manifest()["received"], 3);
  EXPECT_EQ(Properties(), (std::vector<std::pair<std::string, std::string>>{
                              {"Content Generator", "Corvane E-Mail Archiv für Microsoft Outlook"},
                              {"Ersteller", "FIRMA\\pschulz"},
                              {"Erstellungsdatum", "Invalid DateTime"}}));
  EXPECT_EQ(Components::VerifyContainer(container), std::vector<std::string>{});
}

TEST_F(ArchiveCreationTest, EveryMailFailingStillClosesTheContainer) {
  auto mails = inbox->AddMails(2);
  Press(u"AddFolder", On(inbox));
  user->displayName.reset(), user->samName.reset();
  for (auto& m : mails) m->FailAlways("To", E_FAIL);
  Press(u"StartARCCreation", On(explorer));
  ASSERT_TRUE(fs::exists(container));
  const auto properties = Properties();
  ASSERT_EQ(properties.size(), 5u);  // no "Ersteller" without a name
  EXPECT_EQ(properties[2], (std::pair<std::string, std::string>{"Anzahl der Mails", "0"}));
  EXPECT_EQ(properties[3], (std::pair<std::string, std::string>{"Gesamtgröße der Mails", "0"}));
}

TEST_F(ArchiveCreationTest, ADiskThatFillsUpLeavesNoContainer) {
  inbox->AddMails(30);
  std::uint32_t noise = 12345;
  for (auto& m : inbox->ItemList()) {
    std::u16string text;
    for (int i = 0; i < 20000; ++i) text += static_cast<char16_t>(u'a' + (noise = noise * 1103515245 + 12345) % 26);
    m->htmlBody = u"<body><p>" + text + u"</p></body>";
  }
  Press(u"AddFolder", On(inbox));
  // Files beyond the limit cannot be written, as on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 200 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Press(u"StartARCCreation", On(explorer));
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(fs::exists(container));
}

TEST_F(ArchiveCreationTest, ATamperedContainerFailsItsVerification) {
  inbox->AddMails(3);
  Press(u"AddFolder", On(inbox));
  Press(u"StartARCCreation", On(explorer));
  ASSERT_TRUE(Components::VerifyContainer(container).empty());
  Components::ZipReader zip(container);
  const auto& member = zip.Entries().at(1);
  std::fstream file(container, std::ios::in | std::ios::out | std::ios::binary);
  const auto at = static_cast<std::streamoff>(member.offset + 30 + member.name.size() + member.compressedSize / 2);
  file.seekg(at);
  const char byte = static_cast<char>(file.get());
  file.seekp(at);
  file.put(static_cast<char>(byte ^ 0x20));
  file.close();
  const auto problems = Components::VerifyContainer(container);
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems[0].find(member.name), std::string::npos) << problems[0];
}

TEST(FormatSize, UnitsAboveEachPowerOfTwo) {
  const std::pair<std::int64_t, std::u16string_view> cases[] = {
      {0, u"0"},          {1024, u"1024"},          {1025, u"1 kB"},        {1048576, u"1024 kB"},
      {1048577, u"1 MB"}, {1073741824, u"1024 MB"}, {1073741825, u"1 GB"}, {5LL << 40, u"5120 GB"},
      {1536, u"2 kB"}};
  for (const auto& [total, text] : cases) EXPECT_EQ(FormatSize(total), text) << total;
}

}  // namespace
}  // namespace CV
