// Stores on disk in the simulated Outlook: the sample mailbox and small
// handmade stores of each layout, checked through Outlook's object model as
// the add-in sees them, including broken and hostile files, the collecting
// walk and the export.
#include "mailstore/mail_store.h"

#include <gtest/gtest.h>

#include <set>

#include <glib.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "archive/archive_list.h"
#include "export/mail_export.h"
#include "foundation/lifetime.h"
#include "foundation/utf.h"
#include "mailstore/message_source.h"
#include "snapshot/store_snapshot.h"
#include "sim/posix_paths.h"
#include "sim/sim_interface_table.h"
#include "sim/sim_internet_cache.h"
#include "components/email_object.h"
#include "components/component_registry.h"
#include "support/errors.h"

namespace CV::MailStore {
namespace {

namespace fs = std::filesystem;
using namespace CV::Outlook;

const fs::path kSamples = CV_SAMPLES;

// A folder by its path below the store's root ("Posteingang/Büro").
Folder FolderAt(const std::shared_ptr<Sim::SimStore>& store, const std::string& path) {
  Folder folder(store->Root());
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::u16string name = FromUtf8(path.substr(start, end - start));
    const Folders children = folder.Folders();
    Folder next;
    for (std::int32_t i = 1; i <= children.Count(); ++i)
      if (GetProperty(children.Item(i).Object(), u"Name").AsText() == name) next = children.Item(i);
    if (!next) ADD_FAILURE() << "no folder " << path;
    folder = next;
    start = end + 1;
  }
  return folder;
}

MailItem MailWithSubject(const Folder& folder, std::u16string_view subject) {
  const Items items = folder.Items();
  for (std::int32_t i = 1; i <= items.Count(); ++i) {
    try {
      if (auto mail = Query<MailItem>(items.Item(i)); mail && mail.Subject() == subject) return mail;
    } catch (const ComError&) {
      // a corrupt item
    }
  }
  ADD_FAILURE() << "no mail " << ToUtf8(subject);
  return {};
}

class SampleMailbox : public ::testing::Test {
 protected:
  void SetUp() override { store = LoadStore(outlook, kSamples / "mailbox", &statistics); }
  Sim::SimOutlook outlook;
  std::shared_ptr<Sim::SimStore> store;
  LoadStatistics statistics;
};

TEST_F(SampleMailbox, FoldersKindsAndCounts) {
  EXPECT_EQ(statistics.messages, 37u);
  const std::pair<const char*, std::int32_t> counts[] = {
      {"Posteingang", 12}, {"Posteingang/Büro", 3}, {"Posteingang/Büro/Projekte Ä", 2}, {"Gesendete Elemente", 2},
      {"Entwürfe", 1},     {"Gelöschte Elemente", 1}, {"Junk-E-Mail", 1}, {"Kalender", 1}, {"Archiv 2024", 5},
      {"Newsletter", 2},   {"Newsletter/Alt", 2},    {"Postausgang", 0}, {"Posteingang/Word", 5}};
  for (const auto& [path, count] : counts) EXPECT_EQ(FolderAt(store, path).Items().Count(), count) << path;
  EXPECT_EQ(Folder(store->DefaultFolder(olFolderInbox)).FullFolderPath(), u"\\\\mailbox\\Posteingang");
  EXPECT_EQ(FolderAt(store, "Kalender").DefaultItemType(), olAppointmentItem);
  EXPECT_EQ(store->DefaultFolder(olFolderCalendar)->Name(), u"Kalender");
  EXPECT_EQ(FolderAt(store, "Archiv 2024").DefaultItemType(), olMailItem);
}

TEST_F(SampleMailbox, MailsAsOutlookShowsThem) {
  const Folder inbox = FolderAt(store, "Posteingang");
  const MailItem offer = MailWithSubject(inbox, u"Angebot für die Büroausstattung");
  EXPECT_EQ(offer.SenderName(), u"Peter Schulz");
  EXPECT_EQ(offer.SenderEmailAddress(), u"p.schulz@example.org");
  EXPECT_EQ(offer.To(), u"Anna Groß");
  EXPECT_EQ(offer.CC(), u"Einkauf");
  EXPECT_EQ(offer.ReceivedByName(), u"Anna Groß");
  EXPECT_EQ(offer.BodyFormat(), olFormatHTML);
  EXPECT_NE(offer.HTMLBody().find(u"cid:image001.png@01DC0000.00000000"), std::u16string::npos);
  ASSERT_EQ(offer.Attachments().Count(), 1);
  EXPECT_EQ(offer.Attachments().Item(1).PropertyAccessor().GetProperty(Property::AttachContentId).AsText(),
            u"image001.png@01DC0000.00000000");
  EXPECT_EQ(offer.SentOn().Type(), VarType::Date);
  EXPECT_GT(offer.Size(), 1000);

  EXPECT_EQ(MailWithSubject(inbox, u"Berichte Q4 – zwei gleichnamige Anhänge").Attachments().Count(), 6);
  const MailItem signed_ = MailWithSubject(inbox, u"Unterschriebene Vereinbarung");
  EXPECT_EQ(signed_.PropertyAccessor().GetProperty(Property::SecurityFlags), Variant::FromI4(2));
  ASSERT_EQ(signed_.Attachments().Count(), 1);  // the signature stays with the mail
  EXPECT_EQ(signed_.Attachments().Item(1).FileName(), u"smime.p7s");
  // An invitation is a mail to the store, its calendar part an attachment.
  const MailItem invitation = MailWithSubject(inbox, u"Einladung: Projektbesprechung");
  EXPECT_EQ(GetProperty(invitation.Object(), u"Body").AsText(), u"Bitte zusagen.\r\n");
  ASSERT_EQ(invitation.Attachments().Count(), 1);
  EXPECT_EQ(invitation.Attachments().Item(1).FileName(), u"Einladung.ics");
  EXPECT_EQ(MailWithSubject(inbox, u"Rückfrage Nr. 7").Importance(), olImportanceHigh);
  EXPECT_EQ(MailWithSubject(inbox, u"WG: Ursprüngliche Nachricht").Attachments().Item(1).Type(), olEmbeddeditem);
  const MailItem draft = MailWithSubject(FolderAt(store, "Entwürfe"), u"Entwurf: Jahresbericht");
  EXPECT_FALSE(draft.Sent());
  EXPECT_FALSE(draft.Submitted());
  EXPECT_EQ(MailWithSubject(FolderAt(store, "Gesendete Elemente"), u"Re: Angebot").ReceivedByName(), u"");
  const MailItem archived = MailWithSubject(FolderAt(store, "Archiv 2024"), u"Archiv 2024 – Nachricht 2");
  EXPECT_EQ(archived.BodyFormat(), olFormatPlain);
  EXPECT_EQ(GetProperty(archived.Object(), u"Body").AsText(), u"From the archive 2.\nFrom here on.\n");  // unescaped

  // The broken file is a corrupt item; every other one a mail.
  int mails = 0, others = 0, corrupt = 0;
  const Items items = inbox.Items();
  for (std::int32_t i = 1; i <= items.Count(); ++i) {
    try {
      Query<MailItem>(items.Item(i)) ? ++mails : ++others;
    } catch (const ComError& e) {
      EXPECT_EQ(e.Error(), MakeHResult(0x8004011Bu));
      ++corrupt;
    }
  }
  EXPECT_EQ(mails, 11);
  EXPECT_EQ(others, 0);
  EXPECT_EQ(corrupt, 1);
  // Items made on request are found again by their EntryID.
  const auto found = Query<MailItem>(NameSpace(outlook.Application()->Session()).GetItemFromID(offer.EntryID(), u""));
  EXPECT_EQ(found.Subject(), offer.Subject());
}

TEST_F(SampleMailbox, CollectingAndExportingIt) {
  auto table = std::make_shared<Sim::SimInterfaceTable>();
  CArchiveList list(table);
  ASSERT_EQ(list.SetApplication(outlook.Application()), S_OK);
  int inaccessible = 0;
  EXPECT_TRUE(list.AddFoldersRecursive(Folder(store->Root()), inaccessible, nullptr));
  EXPECT_EQ(inaccessible, 1);  // the broken file
  EXPECT_EQ(list.GetTotalMailCount(), 35);  // every mail but the appointment and the broken one

  FS::IFileSystem& fs = FS::DefaultFileSystem();
  auto cache = std::make_shared<Sim::SimInternetCache>(fs, FS::ToWindows(fs::absolute(kSamples / "cache").string()));
  Office::CMailExport converter({std::make_shared<Components::CComponentRegistry>(), ProcessLifetime(fs),
                                 ProcessLifetime(DefaultGuidSource()), cache});
  const auto email = std::dynamic_pointer_cast<Components::CEMail>(
      converter.Export(MailWithSubject(FolderAt(store, "Posteingang"), u"Angebot für die Büroausstattung"), false).Object());
  const auto resources = email->Resources();
  ASSERT_EQ(resources.size(), 2u);  // the inline picture and the cached remote one
  EXPECT_EQ(resources[0].relativePath, u"Content-Dateien\\image001.png");
  EXPECT_TRUE(FS::Exists(fs, resources[1].fullPath));
  EXPECT_EQ(cache->RetrieveFile(u"https://nicht-im-cache.example/bild.png"), u"") << "an address the cache never saw";
  const auto names = std::dynamic_pointer_cast<Components::CEMail>(
      converter.Export(MailWithSubject(FolderAt(store, "Posteingang"), u"Berichte Q4 – zwei gleichnamige Anhänge"), false)
          .Object())->Attachments();
  std::vector<std::u16string> files;
  for (const auto& path : names) files.push_back(path.substr(path.rfind(u'\\') + 1));
  EXPECT_EQ(files, (std::vector<std::u16string>{u"Bericht.pdf", u"Bericht(1).pdf", u"boot.ini", u"_CON.txt",
                                                u"Frage_ was_.txt", u"Übersicht Größen.xlsx"}));
}

class HandmadeStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cv-store-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  void Write(const fs::path& relative, const std::string& bytes) {
    fs::create_directories((dir / relative).parent_path());
    std::ofstream(dir / relative, std::ios::binary) << bytes;
  }
  static std::string Mail(const std::string& subject, const std::string& body = "Text.\n") {
    return "From: a@example.org\nTo: b@example.org\nSubject: " + subject + "\nDate: Mon, 01 Dec 2025 10:00:00 +0000\n\n" + body;
  }
  fs::path dir;
  Sim::SimOutlook outlook;
};

TEST_F(HandmadeStore, MaildirPlusPlusStoresAndMboxFiles) {
  Write("cur/1:2,S", Mail("Im Posteingang"));
  Write("new/2", Mail("Neu"));
  Write("tmp/3", Mail("Unfertig"));
  Write(".Sent/cur/1", Mail("Gesendet"));
  Write(".Projekte.Alpha/cur/1", Mail("Alpha"));
  Write(".Projekte.Drafts/cur/1", Mail("Entwurf im Projekt"));  // deeper down no default folder is claimed
  Write("Listen.mbox", "From x Mon Dec 1 10:00:00 2025\n" + Mail("Eins", "Text\nFrom inside a line\nno separator\n") +
                           "\nFrom y Mon Dec 1 10:00:00 2025\n" + Mail("Zwei") + "\n");
  Write("leer.mbox", "");
  Write("binary.dat", std::string("\x89PNG\r\n", 6));
  auto store = LoadStore(outlook, dir);
  EXPECT_EQ(Folder(store->DefaultFolder(olFolderInbox)).Items().Count(), 2);  // cur and new, not tmp
  EXPECT_EQ(FolderAt(store, "Sent").Items().Count(), 1);
  EXPECT_EQ(store->DefaultFolder(olFolderSentMail)->Name(), u"Sent");
  EXPECT_EQ(FolderAt(store, "Projekte/Alpha").Items().Count(), 1);
  EXPECT_EQ(FolderAt(store, "Projekte/Drafts").Items().Count(), 1);
  EXPECT_EQ(Folder(store->DefaultFolder(olFolderDrafts)).Items().Count(), 0);
  const Folder lists = FolderAt(store, "Listen");
  ASSERT_EQ(lists.Items().Count(), 2);
  EXPECT_EQ(GetProperty(Query<MailItem>(lists.Items().Item(1)).Object(), u"Body").AsText(),
            u"Text\nFrom inside a line\nno separator\n");
  EXPECT_EQ(Query<MailItem>(lists.Items().Item(2)).Subject(), u"Zwei");
}

// A Maildir++ folder that a link reaches a second time is read once: its
// mails would otherwise be archived twice.
TEST_F(HandmadeStore, AMaildirPlusPlusFolderReachedTwiceIsReadOnce) {
  Write("cur/1", Mail("Posteingang"));
  Write(".Archiv/cur/1", Mail("Archiv"));
  fs::create_directory_symlink(".Archiv", dir / ".Kopie");
  LoadStatistics statistics;
  auto store = LoadStore(outlook, dir, &statistics);
  EXPECT_EQ(statistics.messages, 2u);
  EXPECT_EQ(FolderAt(store, "Archiv").Items().Count(), 1);
}

// A Maildir++ folder's .cvfolder describes the folder its name ends in,
// never the folders named before it.
TEST_F(HandmadeStore, AMaildirPlusPlusSidecarDescribesTheLastFolderOfItsName) {
  Write("cur/1", Mail("Posteingang"));
  Write(".Projekte.Termine/cur/1", Mail("Termin"));
  Write(".Projekte.Termine/.cvfolder", "\nkind=calendar\n");
  auto store = LoadStore(outlook, dir);
  EXPECT_EQ(FolderAt(store, "Projekte").DefaultItemType(), olMailItem);
  EXPECT_EQ(FolderAt(store, "Projekte/Termine").DefaultItemType(), olAppointmentItem);
}

// A Maildir++ name whose dots do not each stand between two names (a dot at
// its end, two in a row) is one folder named as it stands: no folder without
// a name, which no path could find again, and never two directories' mails
// in one folder, where the second would hide the first.
TEST_F(HandmadeStore, AMaildirPlusPlusNameWithAnEmptyPartIsOneFolder) {
  Write("cur/1", Mail("Posteingang"));
  Write(".Archiv/cur/1", Mail("Archiv"));
  Write(".Archiv./cur/1", Mail("Archiv mit Punkt"));
  Write(".Termine./cur/1", Mail("Termin"));
  Write(".Termine./.cvfolder", "\nkind=calendar\n");
  Write("..Leer/cur/1", Mail("Leer"));
  Write(".A..B/cur/1", Mail("A B"));
  Write(".../cur/1", Mail("nur Punkte"));
  Write(".C.D/cur/1", Mail("C D"));
  auto store = LoadStore(outlook, dir);
  std::function<void(const Sim::SimFolder&)> noEmptyName = [&](const Sim::SimFolder& folder) {
    for (const auto& child : folder.SubFolders()) {
      EXPECT_FALSE(child->Name().empty()) << ToUtf8(folder.Name());
      noEmptyName(*child);
    }
  };
  noEmptyName(*store->Root());
  const std::pair<const char*, const char16_t*> places[] = {
      {"Archiv", u"Archiv"}, {"Archiv.", u"Archiv mit Punkt"}, {".Leer", u"Leer"},
      {"A..B", u"A B"},      {"..", u"nur Punkte"},            {"C/D", u"C D"},
  };
  for (const auto& [path, subject] : places) {
    const Folder folder = FolderAt(store, path);
    EXPECT_EQ(folder.Items().Count(), 1) << path;
    EXPECT_TRUE(MailWithSubject(folder, subject)) << path;
  }
  EXPECT_EQ(FolderAt(store, "Termine.").DefaultItemType(), olAppointmentItem);
}

// The content check reads a mail right after the export made it: the
// bytes the item was made of come back without another read, for the last
// few mails and up to a size; older or larger ones are read again, and a
// file that changed meanwhile then shows its new bytes. Each file is read
// whole, however large, and an mbox message as its stretch.
TEST_F(HandmadeStore, TheCheckSeesTheBytesTheItemWasMadeOf) {
  const std::string large = Mail("Gross", std::string(1 << 20, 'x') + "\n");  // past the kept size
  for (int i = 0; i < 6; ++i) Write("cur/" + std::to_string(i), i == 5 ? large : Mail("Mail " + std::to_string(i)));
  Write("Liste.mbox", "From x Mon Dec 1 10:00:00 2025\n" + Mail("Eins") + "\nFrom y Mon Dec 1 10:00:00 2025\n" +
                          Mail("Zwei") + "\n");
  auto store = LoadStore(outlook, dir);
  const Folder inbox(store->DefaultFolder(olFolderInbox));
  const Items items = inbox.Items();
  ASSERT_EQ(items.Count(), 6);
  std::vector<std::u16string> ids;
  for (std::int32_t i = 1; i <= 6; ++i) ids.push_back(Query<MailItem>(items.Item(i)).EntryID());
  const Sim::SimFolder& folder = *store->DefaultFolder(olFolderInbox);
  const auto nameOf = [&](int i) { return MessageName(folder, ids[static_cast<std::size_t>(i)]); };
  // Each file now says something else.
  for (int i = 0; i < 6; ++i) Write("cur/" + nameOf(i), "geändert " + std::to_string(i));
  for (int i = 0; i < 6; ++i) {
    const std::string bytes = MessageBytes(folder, ids[static_cast<std::size_t>(i)]);
    const bool kept = i >= 1 && i <= 4;  // the last four made, the large one not among them
    if (kept) EXPECT_EQ(bytes, Mail("Mail " + nameOf(i))) << i;
    else EXPECT_EQ(bytes, "geändert " + std::to_string(i)) << i;
  }
  Write("cur/" + nameOf(5), large);
  EXPECT_EQ(MessageBytes(folder, ids[5]), large);
  const Folder list = FolderAt(store, "Liste");
  const Sim::SimFolder& listFolder = *std::static_pointer_cast<Sim::SimFolder>(list.Object());
  EXPECT_EQ(MessageBytes(listFolder, Query<MailItem>(list.Items().Item(2)).EntryID()), Mail("Zwei") + "\n");
}

TEST_F(HandmadeStore, HostileAndOddFiles) {
  Write("Ordner mit \"Sonderzeichen\" & <Klammern>/1.eml",
        "From: =?iso-8859-1?q?J=FCrgen?= <j@example.org>\nSubject: =?iso-8859-1?q?Gr=FC=DFe?=\n\n" +
            std::string(200000, 'x'));
  Write("Ordner mit \"Sonderzeichen\" & <Klammern>/2.eml", std::string(3000, '\0'));
  Write("Ordner mit \"Sonderzeichen\" & <Klammern>/3.eml", "");
  Write("Ordner mit \"Sonderzeichen\" & <Klammern>/.cvfolder", "kind=mail\n");
  Write("Notizen/.cvfolder", "kind=mail\r\ndefault=drafts\r\n");  // written on Windows
  Write("Notizen/1.eml", Mail("Notiz"));
  auto store = LoadStore(outlook, dir);
  const Folder odd = FolderAt(store, "Ordner mit \"Sonderzeichen\" & <Klammern>");
  const Items items = odd.Items();
  ASSERT_EQ(items.Count(), 3);
  const MailItem first = Query<MailItem>(items.Item(1));
  EXPECT_EQ(first.Subject(), u"Grüße");
  EXPECT_EQ(first.SenderName(), u"Jürgen");
  for (std::int32_t i : {2, 3}) EXPECT_EQ(Fake::ErrorOf([&] { Query<MailItem>(items.Item(i)); }), MakeHResult(0x8004011Bu));
  EXPECT_FALSE(Query<MailItem>(Folder(store->DefaultFolder(olFolderDrafts)).Items().Item(1)).Sent());
  EXPECT_THROW(LoadStore(outlook, dir / "fehlt"), StoreError);
}

// Mails and folders come in the byte order of their names, whatever order
// the file system lists them in: a store reads the same on every machine.
TEST_F(HandmadeStore, MailsAndFoldersInTheOrderOfTheirNames) {
  const std::vector<std::string> files = {"1.eml", "10.eml", "2.eml", "B.eml", "a.eml", "\xC3\xA4.eml"};
  const std::vector<std::string> folders = {"Archiv", "Zeugnisse", "alt", "\xC3\x84mter"};
  for (auto it = files.rbegin(); it != files.rend(); ++it) Write("Ablage/" + *it, Mail(*it));
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) Write("Ablage/" + *it + "/1.eml", Mail(*it));
  auto store = LoadStore(outlook, dir);
  const Folder ablage = FolderAt(store, "Ablage");
  std::vector<std::string> subjects, names;
  for (std::int32_t i = 1; i <= ablage.Items().Count(); ++i)
    subjects.push_back(ToUtf8(Query<MailItem>(ablage.Items().Item(i)).Subject()));
  for (std::int32_t i = 1; i <= ablage.Folders().Count(); ++i) names.push_back(ToUtf8(ablage.Folders().Item(i).Name()));
  EXPECT_EQ(subjects, files);
  EXPECT_EQ(names, folders);
}

// Any one of the headers a mail has makes a file a mail; a file with none
// of them is an item Outlook cannot open.
TEST_F(HandmadeStore, AnyOneMailHeaderMakesAMail) {
  const std::string headers[] = {"From: a@example.org", "To: b@example.org", "Subject: Betreff",
                                 "Date: Mon, 01 Dec 2025 10:00:00 +0000", "Message-ID: <x@example.org>",
                                 "X-Mailer: sonst nichts"};
  for (std::size_t i = 0; i < std::size(headers); ++i)
    Write("Ordner/" + std::to_string(i + 1) + ".eml", headers[i] + "\n\nText\n");
  auto store = LoadStore(outlook, dir);
  const Items items = FolderAt(store, "Ordner").Items();
  ASSERT_EQ(items.Count(), 6);
  for (std::int32_t i = 1; i <= 5; ++i) EXPECT_TRUE(Query<MailItem>(items.Item(i))) << headers[i - 1];
  EXPECT_EQ(Fake::ErrorOf([&] { Query<MailItem>(items.Item(6)); }), MakeHResult(0x8004011Bu));
}

// A directory's name is its folder's: UTF-8 as it stands, and every byte
// that is no UTF-8 as "%XX" (a lone continuation byte, a sequence cut short
// or broken, a byte UTF-8 never has), so that names differing only there
// stay apart.
TEST_F(HandmadeStore, FolderNamesFromAnyBytes) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"Ablage", u"Ablage"},
      {"B\xC3\xBCro", u"B\u00FCro"},
      {"\xE2\x82\xAC-Belege", u"\u20AC-Belege"},
      {"Gru\xC3\x9F \xF0\x9F\x98\x80", u"Gru\u00DF \U0001F600"},
      {"a\x80", u"a%80"},
      {"b\xC3", u"b%C3"},
      {"c\xE2\x82", u"c%E2%82"},
      {"d\xC3(", u"d%C3("},
      {"e\xFF", u"e%FF"},
      {"f\xF0\x9F\x98", u"f%F0%9F%98"},
      {"g\xF8\x88\x80\x80\x80", u"g%F8%88%80%80%80"},
      {"h\xBF", u"h%BF"},
  };
  for (const auto& [bytes, name] : cases) Write(bytes + "/1.eml", Mail("x"));
  auto store = LoadStore(outlook, dir);
  std::set<std::u16string> names;
  for (const auto& folder : store->Root()->SubFolders()) names.insert(folder->Name());
  for (const auto& [bytes, name] : cases) EXPECT_TRUE(names.count(name)) << ToUtf8(name);
}

// Who received a mail: the first of its To, else of its Cc, else a word
// for nobody named; a mail one sent received no one.
TEST_F(HandmadeStore, WhoReceivedAMail) {
  const struct {
    const char* folder;
    const char* headers;
    std::u16string receivedBy;
  } cases[] = {
      {"Ordner", "To: Anna <a@example.org>, Bert <b@example.org>\nCc: Carla <c@example.org>\n", u"Anna"},
      {"Ordner", "Cc: Carla <c@example.org>, Dora <d@example.org>\n", u"Carla"},
      {"Ordner", "Bcc: Emil <e@example.org>\n", u"Empfänger"},
      {"Sent", "To: Anna <a@example.org>\n", u""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    Write(std::string(cases[i].folder) + "/" + std::to_string(i) + ".eml",
          "From: x@example.org\n" + std::string(cases[i].headers) + "Subject: " + std::to_string(i) + "\n\nText\n");
  auto store = LoadStore(outlook, dir);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Folder folder = std::string(cases[i].folder) == "Sent" ? Folder(store->DefaultFolder(olFolderSentMail))
                                                                 : FolderAt(store, cases[i].folder);
    EXPECT_EQ(MailWithSubject(folder, FromUtf8(std::to_string(i))).ReceivedByName(), cases[i].receivedBy) << i;
  }
}

// Every text part as a reader's mail program reads it: byte-order mark,
// MIME charset, the HTML's <meta>; a charset nobody knows as windows-1252,
// named; a NUL byte as a character; every inline text part as body, in its
// order; an attached message as it stands.
TEST_F(HandmadeStore, TextsAsTheReaderReadsThem) {
  const auto part = [](const std::string& type, const std::string& bytes, const std::string& extra = "") {
    gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    const std::string text = encoded;
    g_free(encoded);
    return "Content-Type: " + type + "\r\nContent-Transfer-Encoding: base64\r\n" + extra + "\r\n" + text + "\r\n";
  };
  const auto single = [&](const std::string& subject, const std::string& type, const std::string& bytes) {
    return "From: a@example.org\r\nSubject: " + subject + "\r\nMIME-Version: 1.0\r\n" + part(type, bytes);
  };
  const auto mixed = [](const std::string& subject, const std::vector<std::string>& parts) {
    std::string out = "From: a@example.org\r\nSubject: " + subject +
                      "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n";
    for (const auto& p : parts) out += "--b\r\n" + p;
    return out + "--b--\r\n";
  };
  const std::string utf16le = std::string("\xFF\xFE<\0p\0>\0K\0\xF6\0l\0n\0", 16);
  const std::string utf16be = std::string("\0<\0p\0>\0K\0\xF6\0l\0n", 14);
  const struct {
    const char* subject;
    std::string mail;
    std::u16string html, body;  // what the item holds; html empty: a plain-text mail
    std::size_t attachments;
    std::string note;
  } cases[] = {
      {"bom", single("bom", "text/html", utf16le), u"<p>Köln", u"", 0, ""},
      {"utf16", single("utf16", "text/html; charset=utf-16", utf16be), u"<p>Köln", u"", 0, ""},
      {"meta", single("meta", "text/html", "<meta charset=windows-1252><p>Gr\xFC\xDF" "e aus K\xF6ln"),
       u"<meta charset=windows-1252><p>Grüße aus Köln", u"", 0, ""},
      {"meta with underscore", single("meta with underscore", "text/html", "<meta charset=\"ISO_8859-15\"><p>\xA4 5"),
       u"<meta charset=\"ISO_8859-15\"><p>\u20AC 5", u"", 0, ""},
      {"unknown", single("unknown", "text/plain; charset=x-unknown", "K\xF6ln \xE4\xF6\xFC"), u"", u"Köln äöü", 0,
       "Zeichensatz \u201Ex-unknown\u201C unbekannt, als Windows-1252 gelesen"},
      {"nul", single("nul", "text/plain; charset=utf-8", std::string("vor\0nach", 8)), u"",
       std::u16string(u"vor\0nach", 8), 0, ""},
      {"plain then html", mixed("plain then html", {part("text/plain; charset=utf-8", "Erst Text"),
                                                    part("text/html; charset=utf-8", "<html><body><p>dann HTML</p></body></html>")}),
       u"<html><body><p>Erst Text</p>\r\n<p>dann HTML</p></body></html>", u"Erst Text", 0, ""},
      {"html then footer", mixed("html then footer", {part("text/html; charset=utf-8", "<html><body><p>Brief</p></body></html>"),
                                                      part("text/plain; charset=utf-8", "Liste <a>\r\nabmelden")}),
       u"<html><body><p>Brief</p><p>Liste &lt;a&gt;<br>\r\nabmelden</p>\r\n</body></html>", u"Liste <a>\r\nabmelden", 0, ""},
      {"plain alternatives", [&] {
         std::string alternative = mixed("plain alternatives", {part("text/plain; charset=utf-8", "Erste Fassung"),
                                                                part("text/plain; charset=utf-8", "Zweite Fassung"),
                                                                part("text/html; charset=utf-8", "<p>HTML</p>")});
         return alternative.replace(alternative.find("multipart/mixed"), 15, "multipart/alternative");
       }(),
       u"<p>HTML</p>", u"Erste Fassung", 0, ""},  // the body's plain text is the first one
      {"text attachment", mixed("text attachment", {part("text/plain; charset=utf-8", "Brief"),
                                                    part("text/plain; charset=utf-8", "Anhang",
                                                         "Content-Disposition: attachment; filename=a.txt\r\n")}),
       u"", u"Brief", 1, ""},
  };
  for (const auto& c : cases) Write(std::string("Ordner/") + c.subject + ".eml", c.mail);
  LoadStatistics statistics;
  auto store = LoadStore(outlook, dir, &statistics);
  const Folder folder = FolderAt(store, "Ordner");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subject);
    const MailItem mail = MailWithSubject(folder, FromUtf8(c.subject));
    if (!mail) continue;
    EXPECT_EQ(mail.BodyFormat(), c.html.empty() ? olFormatPlain : olFormatHTML);
    if (!c.html.empty()) {
      EXPECT_EQ(mail.HTMLBody(), c.html);
    }
    if (!c.body.empty()) {
      EXPECT_EQ(GetProperty(mail.Object(), u"Body").AsText(), c.body);
    }
    EXPECT_EQ(mail.Attachments().Count(), static_cast<std::int32_t>(c.attachments));
  }
  const auto notes = statistics.notes->All();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].why, cases[4].note);
  EXPECT_EQ(notes[0].path.filename(), "unknown.eml");
}

// A message in the calendar, the contacts or the tasks is an item of that
// folder's kind, never a mail: the archive passes it over.
TEST_F(HandmadeStore, AMessageInASpecialFolderIsThatFoldersItem) {
  const struct {
    const char* folder;
    Guid iid;
  } cases[] = {{"Kalender", Guid::FromLiteral("00063033-0000-0000-C000-000000000046")},
               {"Kontakte", Guid::FromLiteral("00063021-0000-0000-C000-000000000046")},
               {"Aufgaben", Guid::FromLiteral("00063035-0000-0000-C000-000000000046")},
               {"Ablage", Iid::MailItem}};
  for (const auto& c : cases)
    Write(std::string(c.folder) + "/1.eml", "From: a@example.org\r\nSubject: Eintrag\r\n\r\nText\r\n");
  auto store = LoadStore(outlook, dir);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const Items items = FolderAt(store, c.folder).Items();
    ASSERT_EQ(items.Count(), 1);
    const ObjectPtr item = items.Item(1);
    EXPECT_NE(item->QueryInterface(c.iid), nullptr);
    EXPECT_EQ(item->QueryInterface(Iid::MailItem) != nullptr, c.iid == Iid::MailItem);
  }
}

// A part without a name is named by what it is: a picture of the body
// (an image with a content id) "bild<n>", anything else "Anhang<n>", each
// counted on its own.
TEST_F(HandmadeStore, APartWithoutANameIsNamedByWhatItIs) {
  const auto part = [](const std::string& type, const std::string& text, const std::string& extra) {
    return "Content-Type: " + type + "\r\n" + extra + "\r\n" + text + "\r\n";
  };
  const std::string mail =
      "From: a@example.org\r\nSubject: ohne Namen\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n" +
      part("text/html", "<p>Brief <img src=\"cid:p1\"></p>", "") + "--b\r\n" +
      part("image/png", "erstes Bild", "Content-ID: <p1>\r\n") + "--b\r\n" +
      part("image/png", "zweites Bild", "Content-Disposition: attachment\r\n") + "--b\r\n" +
      part("application/pdf", "%PDF-1.4", "Content-ID: <d1>\r\nContent-Disposition: attachment\r\n") + "--b--\r\n";
  Write("Ordner/ohne.eml", mail);
  auto store = LoadStore(outlook, dir);
  const MailItem item = MailWithSubject(FolderAt(store, "Ordner"), u"ohne Namen");
  ASSERT_TRUE(item);
  std::vector<std::u16string> names;
  for (std::int32_t i = 1; i <= item.Attachments().Count(); ++i) names.push_back(item.Attachments().Item(i).FileName());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"bild1", u"Anhang1", u"Anhang2"}));
}

// An attachment arrives as its bytes stand: an attached message whatever
// GMime could not write anew (a NUL in a multipart without boundary) and
// whose boundary begins with the outer one ("m" outside, "mix" inside: it
// ends at the outer delimiter line, not at its own), the last part of a
// message whose last delimiter line has no line break (no stray CR).
TEST_F(HandmadeStore, AnAttachmentArrivesAsItStands) {
  const auto mail = [](const std::string& boundary, const std::string& second, const std::string& end) {
    return "From: a@example.org\r\nSubject: aussen\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" +
           boundary + "\"\r\n\r\n--" + boundary + "\r\nContent-Type: text/plain\r\n\r\nBrief\r\n--" + boundary + "\r\n" +
           second + end;
  };
  const std::string nul = std::string("From: b@example.org\r\nSubject: innen\r\nContent-Type: multipart/mixed\r\n\r\n"
                                      "vor\0nach\r\nEnde", 75);
  const std::string mix = "From: b@example.org\r\nSubject: innen\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\nContent-Type: text/plain\r\n\r\n"
                          "innerer Brief\r\n--m-\r\n--mix--";
  const std::string rfc822 = "Content-Type: message/rfc822\r\n\r\n";
  const std::string file = "Content-Type: text/plain\r\nContent-Disposition: attachment; filename=a.txt\r\n\r\nAnhang\r\n";
  const struct {
    const char* name;
    std::string mail, attachment;
  } cases[] = {
      {"nul in an attached message", mail("b", rfc822 + nul, "\r\n--b--\r\n"), nul},
      {"inner boundary begins with the outer", mail("m", rfc822 + mix, "\r\n--m--\r\n"), mix},
      {"a part after it", mail("m", rfc822 + mix, "\r\n--m  \r\nContent-Type: text/plain\r\n\r\nNachsatz\r\n--m--"), mix},
      {"no line break at the end", mail("m", rfc822 + mix, "\r\n--m--"), mix},
      {"last delimiter without line break", mail("b", file, "--b--"), "Anhang"},
      {"last delimiter with line break", mail("b", file, "--b--\r\n"), "Anhang"},
      {"last delimiter with blanks", mail("b", file, "--b--  "), "Anhang"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write("Ordner/1.eml", c.mail);
    auto store = LoadStore(outlook, dir);
    const MailItem item = MailWithSubject(FolderAt(store, "Ordner"), u"aussen");
    ASSERT_EQ(item.Attachments().Count(), 1);
    const auto sim = std::dynamic_pointer_cast<Sim::SimItem>(item.Object());
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->attachments.at(0)->bytes, c.attachment);
  }
}

// What a careless loader would lose or let in: the text of a multipart
// without boundary before a later plain part (both are the body, in their
// order), the mail's own moment, and the hidden entries of a directory tree.
TEST_F(HandmadeStore, TextDatesAndHiddenEntries) {
  Write("Ordner/1.eml",
        "From: a@example.org\nSubject: ohne Grenze\nDate: Tue, 09 Dec 2025 12:00:00 +0100\nMIME-Version: 1.0\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: multipart/alternative\n\nErster Text\n"
        "--b\nContent-Type: text/plain\n\nZweiter Text\n--b--\n");
  Write("Ordner/.DS_Store", Mail("kein Brief"));
  Write(".versteckt/1.eml", Mail("versteckt"));
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  auto store = LoadStore(outlook, dir);
  const Folder folder = FolderAt(store, "Ordner");
  ASSERT_EQ(folder.Items().Count(), 1);
  const MailItem mail = Query<MailItem>(folder.Items().Item(1));
  EXPECT_EQ(GetProperty(mail.Object(), u"Body").AsText(), u"Erster Text\r\n\r\nZweiter Text");
  EXPECT_EQ(mail.Attachments().Count(), 0);
  EXPECT_EQ(mail.ReceivedTime().AsDouble(), 46000.5);
  const Folders top = Folder(store->Root()).Folders();
  for (std::int32_t i = 1; i <= top.Count(); ++i) EXPECT_EQ(top.Item(i).FullFolderPath().find(u"versteckt"), std::u16string::npos);
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

// Every file of a store is read as what it is or named with why; folders
// left out by rule are counted. Each case is a store of its own.
TEST_F(HandmadeStore, EveryFileReadOrNamed) {
  const std::string pm = "From a@b Mon Dec  1 09:00:00 2025\n";
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::pair<std::string, int>> counts;  // folder path, items
    std::vector<std::pair<std::string, std::string>> problems, notes;  // file below the store, why
    std::vector<std::pair<std::u16string, std::size_t>> hidden;
  } cases[] = {
      {"extensions in any case",
       {{"Ordner/a.EML", Mail("a")}, {"Ordner/b.Eml", Mail("b")}, {"Ordner/c.eml", Mail("c")}, {"Z.MBOX", pm + Mail("z")}},
       {{"Ordner", 3}, {"Z", 1}}, {}, {}, {}},
      {"a Maildir's plain subfolders, loose mails and mbox files",
       {{"Box/cur/1", Mail("1")}, {"Box/new/2", Mail("2")}, {"Box/lose.eml", Mail("lose")},
        {"Box/Projekte/cur/3", Mail("3")}, {"Box/Projekte/Alt/4.eml", Mail("4")}, {"Box/Listen.mbox", pm + Mail("5")},
        {"Box/dovecot-uidlist", "3 V1 N4\n"}, {"Box/subscriptions", "Projekte\n"}, {"Box/tmp/6", Mail("6")}},
       {{"Box", 3}, {"Box/Projekte", 1}, {"Box/Projekte/Alt", 1}, {"Box/Listen", 1}}, {}, {}, {}},
      {"files that are no mail are named",
       {{"Ordner/1.eml", Mail("1")}, {"Ordner/bild.png", "\x89PNG\r\n"}, {"Ordner/notiz.txt", "Einkaufen\n"},
        {"Ordner/.DS_Store", "x"}},
       {{"Ordner", 1}},
       {{"Ordner/bild.png", "no mail file"}, {"Ordner/notiz.txt", "no mail file"}}, {}, {}},
      {"mbox separators without a blank line",
       {{"Archiv.mbox", pm + Mail("1") + pm + Mail("2") + "\n" + pm + Mail("3") + pm + Mail("4")}},
       {{"Archiv", 4}}, {}, {{"Archiv.mbox#2", "ohne Leerzeile"}, {"Archiv.mbox#4", "ohne Leerzeile"}}, {}},
      {"hidden folders and mbox files are counted, not read",
       {{"Ordner/1.eml", Mail("1")}, {".Versteckt/a.eml", Mail("a")}, {".Versteckt/Tief/b.EML", Mail("b")},
        {".Versteckt/Tief/Liste.mbox", pm + Mail("c") + "\n" + pm + Mail("d")}, {".Maildir/cur/1", Mail("e")},
        {".leer/notiz.txt", "x"}, {".Alt.mbox", pm + Mail("f") + "\n" + pm + Mail("g")},
        {"Ordner/.Listen", pm + Mail("h")}, {"Ordner/.notiz", "x"}},
       {{"Ordner", 1}}, {}, {}, {{u".Versteckt", 4}, {u".Maildir", 1}, {u".Alt.mbox", 2}, {u"Ordner\\.Listen", 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& [path, bytes] : c.files) Write(path, bytes);
    Sim::SimOutlook world;
    LoadStatistics statistics;
    auto store = LoadStore(world, dir, &statistics);
    for (const auto& [path, count] : c.counts) EXPECT_EQ(FolderAt(store, path).Items().Count(), count) << path;
    const auto named = [&](const std::vector<ReadProblems::Problem>& found,
                           const std::vector<std::pair<std::string, std::string>>& expected) {
      ASSERT_EQ(found.size(), expected.size());
      for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].path, dir / expected[i].first);
        EXPECT_NE(found[i].why.find(expected[i].second), std::string::npos) << found[i].why;
      }
    };
    named(statistics.problems->All(), c.problems);
    named(statistics.notes->All(), c.notes);
    std::vector<std::pair<std::u16string, std::size_t>> hidden;
    for (const auto& left : statistics.hidden) hidden.emplace_back(left.folder, left.mails);
    std::sort(hidden.begin(), hidden.end());
    auto expectedHidden = c.hidden;
    std::sort(expectedHidden.begin(), expectedHidden.end());
    EXPECT_EQ(hidden, expectedHidden);
  }
}

// An mbox that cannot be opened is named, its folder empty; one that
// changes after it was read fails its mails with a German cause that names
// it, never with mail from the wrong place.
TEST_F(HandmadeStore, AnMboxUnreadableOrChanged) {
  const std::string pm = "From a@b Mon Dec  1 09:00:00 2025\n";
  Write("Gesperrt.mbox", pm + Mail("gesperrt"));
  Write("Archiv.mbox", pm + Mail("eins") + "\n" + pm + Mail("zwei"));
  fs::permissions(dir / "Gesperrt.mbox", fs::perms::none);
  const bool root = ::access((dir / "Gesperrt.mbox").c_str(), R_OK) == 0;
  LoadStatistics statistics;
  auto store = LoadStore(outlook, dir, &statistics);
  if (!root) {
    ASSERT_EQ(statistics.problems->All().size(), 1u);
    EXPECT_EQ(statistics.problems->All()[0].path, dir / "Gesperrt.mbox");
    EXPECT_NE(statistics.problems->All()[0].why.find("cannot be opened"), std::string::npos);
  }
  const Items items = FolderAt(store, "Archiv").Items();
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(Query<MailItem>(items.Item(1)).Subject(), u"eins");
  std::ofstream(dir / "Archiv.mbox", std::ios::binary | std::ios::app) << "\n" << pm << Mail("drei");
  std::u16string description;
  const HRESULT hr = Fake::ErrorOf([&] {
    try {
      Query<MailItem>(items.Item(2)).Subject();
    } catch (const ComError& e) {
      if (e.Info()) description = e.Info()->description;
      throw;
    }
  });
  EXPECT_EQ(hr, kCorruptData);
  EXPECT_EQ(description, u"Das Postfach „" + FromUtf8((dir / "Archiv.mbox").string()) +
                             u"“ hat sich während des Exports geändert.");
}

TEST(Mbox, UnescapingAndBoundaries) {
  EXPECT_EQ(UnescapeMbox(">From a\n>>From b\nFrom c\n> From d\n"), "From a\n>From b\nFrom c\n> From d\n");
}

}  // namespace
}  // namespace CV::MailStore

namespace CV::Snapshot {
namespace {

// A snapshot loaded again gives the same document: every field the loader
// reads is one the writer wrote, and nothing changes on the way (the
// unreadable mail, the signed one and the pictures of the sample included).
TEST(StoreSnapshot, LoadedAgainGivesTheSameDocument) {
  Sim::SimOutlook first;
  const auto store = MailStore::LoadStore(first, CV_SAMPLES "/mailbox");
  const std::string document = Write(*store);
  Sim::SimOutlook second;
  const auto loaded = Load(second, document);
  EXPECT_EQ(Write(*loaded), document);
  EXPECT_NE(document.find("\"fails\""), std::string::npos);
  EXPECT_NE(document.find("\"securityFlags\": 2"), std::string::npos);
  EXPECT_NE(document.find("\"contentId\": \"image"), std::string::npos);
}

// What the sample leaves at its default comes back too.
TEST(StoreSnapshot, FieldsAwayFromTheirDefaultsComeBack) {
  Sim::SimOutlook first;
  const auto store = first.AddStore(u"Archiv");
  const auto mail = store->DefaultFolder(Outlook::olFolderInbox)->AddMail(u"Rechnung");
  mail->AddAttachment(u"logo.png", "png", Outlook::olByValue)->flags = 4;  // rendered inside the body
  const std::string document = Write(*store);
  ASSERT_NE(document.find("\"flags\": 4"), std::string::npos);
  Sim::SimOutlook second;
  EXPECT_EQ(Write(*Load(second, document)), document);
}

TEST(StoreSnapshot, RefusesWhatIsNoSnapshot) {
  Sim::SimOutlook outlook;
  const struct {
    const char* document;
    bool loads;
  } cases[] = {
      {"", false},
      {"{}", false},
      {"[1]", false},
      {R"({"format":"cv-store-snapshot","version":2})", false},
      {R"({"format":"cv-store-snapshot","version":1,"store":"S","root":{"items":[{"kind":0}]}})", false},
      {R"({"format":"cv-store-snapshot","version":1,"store":"S","root":{"items":[],"folders":[]}})", true},  // empty
      // whole documents of another kind or version
      {R"({"format":"cv-store-snapshot","version":2,"store":"S","root":{"items":[],"folders":[]}})", false},
      {R"({"format":"cv-store","version":1,"store":"S","root":{"items":[],"folders":[]}})", false},
  };
  for (const auto& [document, loads] : cases) {
    SCOPED_TRACE(document);
    if (loads) EXPECT_NO_THROW(Load(outlook, document));
    else EXPECT_THROW(Load(outlook, document), std::runtime_error);
  }
  const std::string badBytes =
      R"({"format":"cv-store-snapshot","version":1,"store":"S","root":{"items":[{"kind":0,"entryId":"E","subject":"s",)"
      R"("senderEmailAddress":"","to":"","cc":"","bcc":"","senderName":"","sentOnBehalfOfName":"","receivedByName":"",)"
      R"("bodyFormat":2,"htmlBody":"","body":"","importance":1,"securityFlags":0,"size":-1,"receivedTime":1.0,)"
      R"("sentOn":1.0,"creationTime":1.0,"sent":true,"submitted":true,"savesAsUnicode":false,)"
      R"("attachments":[{"fileName":"a","bytes":"\u0100","type":1,"contentId":"","flags":0}]}],"folders":[]}})";
  EXPECT_THROW(Load(outlook, badBytes), std::runtime_error);
  std::string topByte = badBytes;
  topByte.replace(topByte.find("\\u0100"), 6, "\\u00ff");  // the largest byte there is
  EXPECT_NO_THROW(Load(outlook, topByte));
}

}  // namespace
}  // namespace CV::Snapshot
