// The mail converter on the simulated Outlook with our e-mail
// object: header fields, the three body formats, pictures, real and inline
// attachments, colliding and hostile names, signed mails, header-only
// repeats, the temporary directory's life, and a fault sweep over every
// Outlook call of the export.
#include "export/mail_export.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "export/attachment_names.h"
#include "export/html_rewriter.h"
#include "foundation/lifetime.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "components/email_object.h"
#include "components/component_registry.h"
#include "support/errors.h"
#include "support/faulty_file_system.h"

namespace CV::Office {
namespace {

using namespace CV::Outlook;
using Components::CEMail;

std::u16string WithoutPrefix(std::u16string path) {
  if (path.starts_with(u"\\\\?\\")) path.erase(0, 4);
  return path;
}

std::string ReadAll(FS::IFileSystem& fs, const std::u16string& path) {
  std::vector<std::uint8_t> bytes;
  if (FS::ReadWholeFile(fs, path, bytes) != 0) return "<unreadable>";
  return std::string(bytes.begin(), bytes.end());
}

class MailExportTest : public ::testing::Test {
 protected:
  MailExportTest() {
    outlook.World()->SetFileSystem(fs);
    store = outlook.AddStore(u"Persönliche Ordner");
    inbox = store->DefaultFolder(olFolderInbox);
  }
  ~MailExportTest() override {
    converter.reset();
    if (!lastTempDir.empty()) {
      EXPECT_FALSE(FS::Exists(*fs, lastTempDir)) << "the converter left its directory";
    }
  }
  std::shared_ptr<CEMail> Export(const std::shared_ptr<Sim::SimItem>& mail, bool headersOnly = false) {
    const Vendor::EMail email = converter->Export(MailItem(mail), headersOnly);
    lastTempDir = converter->TempDirectory();
    return std::dynamic_pointer_cast<CEMail>(email.Object());
  }
  std::u16string Text(const std::shared_ptr<CEMail>& email, std::u16string_view name) {
    return email->Property(name).ChangeType(VarType::Bstr).AsText();
  }
  std::string Html(const std::shared_ptr<CEMail>& email) { return email->Property(u"HtmlBody").AsBstr().Bytes(); }
  std::vector<std::u16string> AttachmentNames(const std::shared_ptr<CEMail>& email) {
    std::vector<std::u16string> names;
    for (const auto& path : email->Attachments()) names.push_back(path.substr(path.rfind(u'\\') + 1));
    return names;
  }

  std::shared_ptr<Fake::FaultyFileSystem> fs = std::make_shared<Fake::FaultyFileSystem>();
  std::shared_ptr<Components::CComponentRegistry> factory = std::make_shared<Components::CComponentRegistry>();
  Sim::SimOutlook outlook;
  std::shared_ptr<Sim::SimStore> store;
  std::shared_ptr<Sim::SimFolder> inbox;
  std::unique_ptr<CMailExport> converter = std::make_unique<CMailExport>(
      MailExportPorts{factory, fs, ProcessLifetime(DefaultGuidSource()), nullptr});
  std::u16string lastTempDir;
};

TEST_F(MailExportTest, HeaderFieldsStateAndDate) {
  auto mail = inbox->AddMail(u"Angebot Größe 3");
  mail->to = u"Schulz, Peter; Meier", mail->cc = u"Kunz", mail->bcc = u"Archiv";
  mail->senderName = u"Meier", mail->sentOnBehalfOfName = u"Schulz";
  mail->importance = olImportanceHigh, mail->size = 4711;
  auto email = Export(mail, true);
  EXPECT_EQ(Text(email, u"EntryID"), mail->EntryId());
  EXPECT_EQ(email->Property(u"Type"), Variant::FromI4(0));
  EXPECT_EQ(Text(email, u"Subject"), u"Angebot Größe 3");
  EXPECT_EQ(Text(email, u"To"), u"Schulz, Peter; Meier");
  EXPECT_EQ(Text(email, u"From"), u"Schulz (Meier)");
  EXPECT_EQ(Text(email, u"CC"), u"Kunz");
  EXPECT_EQ(Text(email, u"BCC"), u"Archiv");
  EXPECT_EQ(email->Property(u"Size"), Variant::FromI4(4711));
  EXPECT_EQ(email->Property(u"Importance"), Variant::FromI4(1));
  EXPECT_EQ(email->Property(u"MailState"), Variant::FromI4(0));
  EXPECT_EQ(email->Property(u"Date"), Variant::FromDate(mail->receivedTime));
  for (const auto importance : {olImportanceNormal, olImportanceLow}) {  // only "high" is marked
    mail->importance = importance;
    EXPECT_EQ(Export(mail, true)->Property(u"Importance"), Variant::FromI4(0));
  }

  struct Case {
    const char* name;
    std::function<void(Sim::SimItem&)> setup;
    std::int32_t state;
    double Sim::SimItem::*date;
  };
  const Case cases[] = {
      {"received", [](auto&) {}, 0, &Sim::SimItem::receivedTime},
      {"sent: nobody received it", [](auto& m) { m.receivedByName.clear(); }, 1, &Sim::SimItem::sentOn},
      {"the receiver cannot be read: sent",
       [](auto& m) { m.FailAlways("ReceivedByName", E_ACCESSDENIED); }, 1, &Sim::SimItem::sentOn},
      {"draft, even with a receiver", [](auto& m) { m.submitted = false, m.sent = false; }, 2,
       &Sim::SimItem::creationTime},
      {"submitted but not sent yet", [](auto& m) { m.submitted = true, m.sent = false; }, 0,
       &Sim::SimItem::receivedTime},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = inbox->AddMail();
    c.setup(*m);
    auto e = Export(m, true);
    EXPECT_EQ(e->Property(u"MailState"), Variant::FromI4(c.state));
    EXPECT_EQ(e->Property(u"Date"), Variant::FromDate((*m).*c.date));
  }
}

TEST(SenderText, RepresentedAndSender) {
  const std::tuple<std::u16string_view, std::u16string_view, std::u16string_view> cases[] = {
      {u"Meier", u"Schulz", u"Schulz (Meier)"}, {u"Meier", u"Meier", u"Meier"}, {u"meier", u"Meier", u"Meier (meier)"},
      {u"Meier", u"", u"Meier"},  // nobody represented: the sender alone
      {u"", u"Schulz", u""},
  };
  for (const auto& [sender, represented, text] : cases) EXPECT_EQ(SenderText(sender, represented), text);
}

TEST_F(MailExportTest, TheRewrittenBodyStartsAtTheBodyWithItsPicturesAsResources) {
  auto mail = inbox->AddMail(u"Mit Bild");
  mail->htmlBody = u"<html><head><style>p{}</style></head><body><p class=MsoNormal>Hallo Peter,</p>"
                   u"<p><img width=20 src=\"cid:image001.png@01DA\"></p><p>Gruß</p></body></html>";
  mail->AddInlinePicture(u"logo.png", "\x89PNG logo", u"image001.png@01DA");
  auto email = Export(mail);
  const std::string html = Html(email);
  EXPECT_TRUE(html.starts_with("<html xmlns=\"http://www.w3.org/TR/REC-html40\">\r\n<head>\r\n<meta http-equiv="));
  const std::size_t div = html.find("<div class=WordSection1>");
  ASSERT_NE(div, std::string::npos);
  const std::size_t body = html.find_first_not_of("\r\n", div + 24);
  EXPECT_EQ(html.substr(body, 34), "<p class=MsoNormal>Hallo Peter,</p");  // the header paragraphs are gone
  for (const char* gone : {"Von:", "Betreff:", "Generator", "<!--[if", "<link"}) EXPECT_EQ(html.find(gone), std::string::npos) << gone;
  EXPECT_EQ(Text(email, u"HtmlFileName"), u"Content.html");
  const auto resources = email->Resources();
  ASSERT_EQ(resources.size(), 1u);
  EXPECT_EQ(resources[0].relativePath, u"Content-Dateien\\image001.png");
  EXPECT_EQ(resources[0].fullPath, converter->TempDirectory() + u"\\Content-Dateien\\image001.png");
  EXPECT_EQ(ReadAll(*fs, resources[0].fullPath), "\x89PNG logo");
  EXPECT_TRUE(email->Attachments().empty());  // the inline picture is no attachment
}

// A body without the tags a whole document has keeps every character.
TEST_F(MailExportTest, AnHtmlBodyWithoutItsOuterTagsIsKeptWhole) {
  // A control character that differs from "<" by one bit is no tag either.
  for (const char16_t* body : {u"<p>Erster Satz</p><p>Zweiter</p>", u"Erster Satz<br>Zweiter", u"<BODY>Erster Satz</BODY>Zweiter",
                               u"Erster Satz\u001cbody>Zweiter"}) {
    auto mail = inbox->AddMail(u"Ohne Rahmen");
    mail->htmlBody = body;
    const std::string html = Html(Export(mail));
    const std::size_t div = html.find("<div class=WordSection1>");
    ASSERT_NE(div, std::string::npos) << ToUtf8(body);
    const std::size_t first = html.find_first_not_of("\r\n", div + 24);
    EXPECT_EQ(html.substr(first, 11), ToUtf8(body).starts_with("<BODY>") ? "Erster Satz" : ToUtf8(body).substr(0, 11)) << ToUtf8(body);
    EXPECT_NE(html.find("Zweiter"), std::string::npos) << ToUtf8(body);
  }
}

TEST_F(MailExportTest, PlainAndRichTextBodies) {
  for (std::int32_t format : {olFormatPlain, olFormatRichText}) {
    SCOPED_TRACE(format);
    auto mail = inbox->AddMail(u"Text");
    mail->bodyFormat = format;
    mail->body = u"Erste Zeile <mit Klammern>\r\n\r\nLetzte Zeile";
    const std::string html = Html(Export(mail));
    EXPECT_NE(html.find("<p class=MsoPlainText>Erste Zeile &lt;mit Klammern&gt;<o:p></o:p></p>"), std::string::npos);
    EXPECT_NE(html.find("Letzte Zeile"), std::string::npos);
    EXPECT_EQ(html.find("Betreff:"), std::string::npos);
  }
}

TEST_F(MailExportTest, RealAndInlineAttachmentsWithCollidingNames) {
  auto mail = inbox->AddMail(u"Anhänge");
  mail->htmlBody = u"<body><img src=\"cid:used@1\"></body>";
  mail->AddInlinePicture(u"used.png", "used", u"used@1");
  mail->AddInlinePicture(u"unused.png", "unused", u"unused@1");  // a content id the body does not use
  mail->AddAttachment(u"scan.pdf", "eins");
  mail->AddAttachment(u"scan.pdf", "zwei");
  mail->AddAttachment(u"Content.html", "html");
  mail->AddAttachment(u"README", "a");
  mail->AddAttachment(u"README", "b");
  mail->AddAttachment(u"README", "c");
  mail->AddAttachment(u"archiv.tar.gz", "d");
  mail->AddAttachment(u"archiv.tar.gz", "e");
  mail->AddAttachment(u"referenz.bin", "f")->flags = ATT_MHTML_REF;  // part of the body
  auto email = Export(mail);
  EXPECT_EQ(AttachmentNames(email),
            (std::vector<std::u16string>{u"unused.png", u"scan.pdf", u"scan(1).pdf", u"Content(1).html", u"README",
                                         u"README(1)", u"README(2)", u"archiv.tar.gz", u"archiv.tar(1).gz"}));
  EXPECT_EQ(ReadAll(*fs, email->Attachments()[2]), "zwei");

  auto rtf = inbox->AddMail(u"RTF");
  rtf->bodyFormat = olFormatRichText;
  rtf->AddAttachment(u"Bild.bmp", "ole", olOLE);  // an OLE object lives in the body
  rtf->AddAttachment(u"Brief.doc", "doc");
  EXPECT_EQ(AttachmentNames(Export(rtf)), std::vector<std::u16string>{u"Brief.doc"});

  auto plain = inbox->AddMail(u"Text");
  plain->bodyFormat = olFormatPlain;
  plain->AddInlinePicture(u"x.png", "x", u"x@1")->flags = ATT_MHTML_REF;  // plain text has no inline parts
  EXPECT_EQ(AttachmentNames(Export(plain)), std::vector<std::u16string>{u"x.png"});
}

// Every picture part arrives, as the body's picture where an <img> shows it
// by its whole content id, else as an attachment: ids that are prefixes of
// one another, an id two parts share, a part a link or a style names; and a
// footer after </body> or </html> stays in the body.
TEST_F(MailExportTest, EveryPicturePartArrivesAndFootersStay) {
  struct Case {
    const char* name;
    std::u16string html;
    std::vector<std::pair<std::u16string, std::string>> parts;  // content id, bytes
    std::vector<std::string> pictures, attachments;             // the bytes that arrive as each
    std::vector<std::string> words;                              // text the body keeps
  };
  std::vector<std::pair<std::u16string, std::string>> twelve;
  std::u16string shows;
  std::vector<std::string> all;
  for (int i = 1; i <= 12; ++i) {
    twelve.emplace_back(u"image" + FromUtf8(std::to_string(i)), "bild" + std::to_string(i));
    shows += u"<img src=\"cid:image" + FromUtf8(std::to_string(i)) + u"\">";
    all.push_back("bild" + std::to_string(i));
  }
  const Case cases[] = {
      {"ids that are prefixes of one another", u"<body>" + shows + u"</body>", twelve, all, {}, {}},
      {"only image10 shown", u"<body><img src='cid:image10'></body>", twelve,
       {"bild10"}, {"bild1", "bild2", "bild3", "bild4", "bild5", "bild6", "bild7", "bild8", "bild9", "bild11", "bild12"}, {}},
      {"one id, two parts", u"<body><img src=\"cid:bild@x\"></body>", {{u"bild@x", "erstes"}, {u"bild@x", "zweites"}},
       {"erstes"}, {"zweites"}, {}},
      {"named in a link and a style only", u"<body><a href=\"cid:doc@x\">PDF</a><div style='background:url(cid:bg@x)'>"
                                           u"Text</div></body>",
       {{u"doc@x", "%PDF"}, {u"bg@x", "hintergrund"}}, {}, {"%PDF", "hintergrund"}, {"PDF", "Text"}},
      {"a footer after </body>", u"<html><body><p>Brief</p></body><p>Fusszeile A</p></html>", {}, {}, {},
       {"Brief", "Fusszeile A"}},
      {"a footer after </html>", u"<html><body><p>Brief</p></body></html><p>Fusszeile B</p>", {}, {}, {},
       {"Brief", "Fusszeile B"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto mail = inbox->AddMail(u"Bilder");
    mail->htmlBody = c.html;
    for (std::size_t i = 0; i < c.parts.size(); ++i)
      mail->AddInlinePicture(u"teil" + FromUtf8(std::to_string(i)) + u".png", c.parts[i].second, c.parts[i].first);
    auto email = Export(mail);
    std::vector<std::string> pictures, attachments;
    for (const auto& resource : email->Resources()) pictures.push_back(ReadAll(*fs, resource.fullPath));
    for (const auto& path : email->Attachments()) attachments.push_back(ReadAll(*fs, path));
    std::sort(pictures.begin(), pictures.end());
    std::sort(attachments.begin(), attachments.end());
    std::vector<std::string> wantPictures = c.pictures, wantAttachments = c.attachments;
    std::sort(wantPictures.begin(), wantPictures.end());
    std::sort(wantAttachments.begin(), wantAttachments.end());
    EXPECT_EQ(pictures, wantPictures);
    EXPECT_EQ(attachments, wantAttachments);
    const std::string html = Html(email);
    for (const std::string& word : c.words) EXPECT_NE(html.find(word), std::string::npos) << word;
  }
}

// An attachment is never left out in silence: one that cannot be saved or
// handed on fails its mail, with its name in the error.
TEST_F(MailExportTest, AnAttachmentThatCannotBeSavedFailsItsMail) {
  auto mail = inbox->AddMail();
  mail->AddAttachment(u"a.txt", "a");
  mail->AddAttachment(u"b.txt", "b")->Fail("SaveAsFile", Sim::FaultPlan{E_ACCESSDENIED, 1, false});
  mail->AddAttachment(u"c.txt", "c");
  try {
    Export(mail);
    ADD_FAILURE() << "the mail was exported without b.txt";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Error(), E_ACCESSDENIED);
    ASSERT_NE(e.Info(), nullptr);
    EXPECT_EQ(e.Info()->description, u"Anhang \u201Eb.txt\u201C");
  }
  EXPECT_EQ(AttachmentNames(Export(mail)), (std::vector<std::u16string>{u"a.txt", u"b.txt", u"c.txt"}));  // once more
  mail->attachments[1]->FailAlways("FileName", E_FAIL);
  EXPECT_EQ(Fake::ErrorOf([&] { Export(mail); }), E_FAIL);
}

// Names the archive takes but the file system does not: each attachment is
// saved under a name that fits, keeps its whole name in the archive and
// arrives whole, on POSIX (255 bytes a name), with Windows' limits (255
// units a name, 259 a path) and with a path limit that leaves little room.
TEST_F(MailExportTest, LongAttachmentNamesFitTheFileSystemAndKeepTheirNames) {
  std::u16string emoji;
  for (int i = 0; i < 150; ++i) emoji += u"\U0001F4E7";
  const std::u16string umlauts = std::u16string(126, u'ü') + u".pdf";  // 256 bytes
  const std::vector<std::pair<std::u16string, std::u16string>> attachments = {  // given, kept
      {umlauts, umlauts},
      {umlauts, std::u16string(126, u'ü') + u"(1).pdf"},
      {std::u16string(200, u'文'), std::u16string(200, u'文')},
      {emoji + u".txt", SafeAttachmentName(emoji + u".txt")},
      {u"kurz.txt", u"kurz.txt"},
  };
  // Windows' limits are emulated on top of this file system's own; under
  // Wine, Windows names land on a POSIX file system that counts bytes too.
  FS::NameLimits own = FS::DefaultFileSystem().Limits();
  own.nameBytes = std::min<std::size_t>(own.nameBytes, 255);
  const FS::NameLimits limitSets[] = {own, {255, 255, 259}, {255, 255, 90}};
  for (const FS::NameLimits& limits : limitSets) {
    SCOPED_TRACE(limits.pathUnits);
    fs->SetLimits(limits);
    auto mail = inbox->AddMail();
    for (std::size_t i = 0; i < attachments.size(); ++i) mail->AddAttachment(attachments[i].first, std::to_string(i));
    const auto email = Export(mail);
    const auto saved = email->NamedAttachments();
    ASSERT_EQ(saved.size(), attachments.size());
    for (std::size_t i = 0; i < saved.size(); ++i) {
      const std::u16string file = saved[i].path.substr(saved[i].path.rfind(u'\\') + 1);
      EXPECT_EQ(saved[i].name.empty() ? file : saved[i].name, attachments[i].second) << i;
      EXPECT_LE(Utf8Length(file), limits.nameBytes) << i;
      EXPECT_LE(saved[i].path.size(), limits.pathUnits) << i;
      EXPECT_EQ(ReadAll(*fs, saved[i].path), std::to_string(i)) << i;
      EXPECT_EQ(ExtensionOf(file), ExtensionOf(attachments[i].second)) << i;
      EXPECT_EQ(saved[i].name.empty(), file == attachments[i].second) << i;  // named only when shortened
    }
  }
}

TEST(AttachmentNames, FitNameCutsWholeCharactersAndKeepsTheTail) {
  const FS::NameLimits bytes{10, SIZE_MAX, SIZE_MAX}, units{SIZE_MAX, 8, SIZE_MAX}, path{SIZE_MAX, SIZE_MAX, 14};
  const struct {
    FS::NameLimits limits;
    std::u16string_view stem, tail, fitted;
  } cases[] = {
      {bytes, u"abcdefghijkl", u".pdf", u"abcdef.pdf"},
      {bytes, u"abcdef", u".pdf", u"abcdef.pdf"},               // exactly at the limit
      {bytes, u"ääää", u".pdf", u"äää.pdf"},                     // two bytes a character
      {units, u"abc\U0001F4E7", u".txt", u"abc.txt"},            // never half a pair
      {bytes, u"abcd. xyz", u".txt", u"abcd.txt"},                // no dot or blank at the cut
      {bytes, u"abc", u".verylongextension", u"a.verylong"},    // no stem fits: the tail is cut too
      {path, u"abcdefghij", u"(1).pdf", u"ab(1).pdf"},          // "C:\x" + "\" + 9 units
      {FS::NameLimits{}, u"abc", u".txt", u"abc.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(FitName(u"C:\\x", c.stem, c.tail, c.limits), c.fitted) << ToUtf8(c.stem);
}

TEST(AttachmentNames, HostileNamesAreMadeSafe) {
  const std::u16string long210 = std::u16string(210, u'x') + u".pdf";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"Bericht.pdf", u"Bericht.pdf"},
      {u"..\\..\\Windows\\system.ini", u"system.ini"},
      {u"../../etc/passwd", u"passwd"},
      {u"C:\\Users\\x\\evil.exe", u"evil.exe"},
      {u"\\\\server\\share\\x.doc", u"x.doc"},
      {u"C:evil.txt", u"C_evil.txt"},
      {u"a<b>c:d\"e|f?g*h.txt", u"a_b_c_d_e_f_g_h.txt"},
      {u"tab\there\x01.txt", u"tab_here_.txt"},
      {u"trailing. . .", u"trailing"},
      {u"..", u"Anhang"},
      {u"", u"Anhang"},
      {u"dir/", u"Anhang"},
      {u"CON", u"_CON"},
      {u"con.txt", u"_con.txt"},
      {u"Lpt9.log", u"_Lpt9.log"},
      {u"COM0.txt", u"COM0.txt"},  // not a device
      {u"CONSOLE.txt", u"CONSOLE.txt"},
      {long210, std::u16string(196, u'x') + u".pdf"},
      // a cut that leaves a space or a dot at the end drops it too
      {std::u16string(199, u'x') + u" yyyy", std::u16string(199, u'x')},
      {std::u16string(199, u'x') + u"." + std::u16string(120, u'y'), std::u16string(199, u'x')},
  };
  for (const auto& [raw, safe] : cases) EXPECT_EQ(SafeAttachmentName(raw), safe) << ToUtf8(raw);
  EXPECT_EQ(SafeAttachmentName(long210).size(), 200u);
}

// Hostile names on the platform's own file system: every file the export
// writes lies in the converter's directory.
TEST_F(MailExportTest, NoFileAppearsOutsideTheTemporaryDirectory) {
  auto mail = inbox->AddMail(u"Böse Namen");
  for (const char16_t* name : {u"..\\..\\..\\escaped.txt", u"../../escaped2.txt", u"C:\\escaped3.txt", u"AUX",
                               u"x:y.txt", u"...", u"nul.tar.gz", u"\\\\?\\C:\\escaped4.txt"})
    mail->AddAttachment(name, "böse");
  mail->htmlBody = u"<body><img src=\"../../escaped.png\"><img src=\"C:/Windows/win.ini\"><img src=\"a%2F..%2F..%2Fx\"></body>";
  auto email = Export(mail);
  EXPECT_EQ(AttachmentNames(email), (std::vector<std::u16string>{u"escaped.txt", u"escaped2.txt", u"escaped3.txt",
                                                                   u"_AUX", u"x_y.txt", u"Anhang", u"_nul.tar.gz",
                                                                   u"escaped4.txt"}));
  EXPECT_TRUE(email->Resources().empty());  // references that lead out are not handed on
  const std::u16string dir = WithoutPrefix(converter->TempDirectory());
  for (const std::u16string& path : fs->Touched())
    EXPECT_TRUE(WithoutPrefix(path) == dir || WithoutPrefix(path).starts_with(dir + u"\\")) << ToUtf8(path);
  for (const auto& path : email->Attachments()) EXPECT_EQ(ReadAll(*fs, path), "böse");
}

TEST(ResourcePaths, ReferencesBecomePathsInsideTheDirectory) {
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"Content-Dateien/image001.png", u"Content-Dateien\\image001.png"},
      {u"Content-Dateien/Gr%FC%DFe%20Bild.png", u"Content-Dateien\\Grüße Bild.png"},
      {u"a.png?x=%41#%42", u"a.png?x=%41#%42"},  // nothing after "?" or "#" is decoded
      {u"bad%zz.png", u"bad%zz.png"},
      {u"a%z1.png", u"a%z1.png"},  // both digits must be hex
      {u"a%1z.png", u"a%1z.png"},
      {u"a%41", u"aA"},            // an escape that ends the reference
      {u"a%4", u"a%4"},
      {u"../x.png", u""},
      {u"a/../../x.png", u""},
      {u"a%2F..%2F..%2Fx", u""},
      {u"/etc/passwd", u""},
      {u"C:/x.png", u""},
      {u"..", u""},
      {u"..a/b..", u"..a\\b.."},
  };
  for (const auto& [reference, path] : cases) EXPECT_EQ(ResourcePath(reference), path) << ToUtf8(reference);
}

TEST_F(MailExportTest, ASignedMailIsSavedThroughACopyThatLeavesNothingBehind) {
  auto mail = inbox->AddMail(u"Signiert");
  mail->securityFlags = 2;
  auto other = inbox->AddMail(u"Daneben");
  auto email = Export(mail);
  EXPECT_NE(Html(email).find("Guten Tag."), std::string::npos);
  EXPECT_EQ(inbox->ItemList(), (std::vector<std::shared_ptr<Sim::SimItem>>{mail, other}));
  EXPECT_TRUE(store->DefaultFolder(olFolderDeletedItems)->ItemList().empty());
  EXPECT_EQ(mail->securityFlags, 2);  // the mail itself is untouched

  // A copy whose export fails half-way still leaves the mail's folder.
  auto failing = inbox->AddMail(u"Signiert, Speichern scheitert");
  failing->securityFlags = 1;
  failing->FailAlways("Application", E_ACCESSDENIED);  // after SaveAs of the copy, before its move
  EXPECT_EQ(Fake::ErrorOf([&] { Export(failing); }), E_ACCESSDENIED);
  EXPECT_EQ(inbox->ItemList(), (std::vector<std::shared_ptr<Sim::SimItem>>{mail, other, failing}));
  EXPECT_LE(store->DefaultFolder(olFolderDeletedItems)->ItemList().size(), 1u);  // at worst in Deleted Items
}

TEST_F(MailExportTest, HeaderOnlyRepeatsLeaveTheDirectoryAlone) {
  auto mail = inbox->AddMail(u"Zweimal");
  mail->AddAttachment(u"a.pdf", "a");
  Export(mail);
  const auto before = fs->Touched().size();
  auto repeat = Export(mail, true);
  EXPECT_EQ(fs->Touched().size(), before);
  EXPECT_TRUE(repeat->Property(u"HtmlBody").IsEmpty());
  EXPECT_TRUE(repeat->Resources().empty());
  EXPECT_TRUE(repeat->Attachments().empty());
  EXPECT_EQ(Text(repeat, u"Subject"), u"Zweimal");
}

TEST_F(MailExportTest, TheDirectoryIsMadeOnceEmptiedForEachMailAndRemovedWithTheConverter) {
  EXPECT_TRUE(converter->TempDirectory().empty());
  Export(inbox->AddMail(), true);
  EXPECT_TRUE(converter->TempDirectory().empty());  // header-only: none made
  auto first = inbox->AddMail();
  first->AddAttachment(u"eins.txt", "1");
  Export(first);
  const std::u16string dir = converter->TempDirectory();
  EXPECT_TRUE(dir.starts_with(u"\\\\?\\"));
  EXPECT_TRUE(FS::Exists(*fs, dir + u"\\eins.txt"));
  Export(inbox->AddMail());
  EXPECT_EQ(converter->TempDirectory(), dir);
  EXPECT_FALSE(FS::Exists(*fs, dir + u"\\eins.txt"));  // the last mail's files went
  EXPECT_TRUE(FS::Exists(*fs, dir + u"\\Content.html"));
}

TEST_F(MailExportTest, FailuresOfTheConverterItself) {
  EXPECT_EQ(Fake::ErrorOf([&] { converter->Export(MailItem(), false); }), E_INVALIDARG);
  factory->refused.insert(u"CVMail.CVEMail");
  EXPECT_EQ(Fake::ErrorOf([&] { Export(inbox->AddMail()); }), E_POINTER);
  factory->refused.clear();
  fs->Plan("MakeDirectory", Sim::FaultPlan{5, 1, false});
  EXPECT_EQ(Fake::ErrorOf([&] { Export(inbox->AddMail()); }), HResultFromWin32(5));
  auto unreadable = inbox->AddMail();
  unreadable->Accessor()->FailAlways("GetProperty", E_FAIL);
  EXPECT_EQ(Fake::ErrorOf([&] { Export(unreadable); }), E_FAIL);  // no security flags, no body
}

// A store that never set the security flags, the attachment flags or the
// content id: the mail is not lost for it. The three read as 0 and "".
TEST_F(MailExportTest, MissingMapiPropertiesReadAsEmpty) {
  auto mail = inbox->AddMail(u"Ohne Eigenschaften");
  mail->htmlBody = u"<body><img src=\"cid:bild@x\"></body>";
  mail->Accessor()->Remove(Property::SecurityFlags);
  auto picture = mail->AddInlinePicture(u"bild.png", "png", u"bild@x");
  picture->Accessor()->Remove(Property::AttachFlags);
  auto file = mail->AddAttachment(u"plain.txt", "text");
  file->Accessor()->Remove(Property::AttachFlags);
  file->Accessor()->Remove(Property::AttachContentId);
  const auto email = Export(mail);
  EXPECT_EQ(AttachmentNames(email), std::vector<std::u16string>{u"plain.txt"});  // the picture stays inline
  EXPECT_EQ(email->Resources().size(), 1u);
  picture->Accessor()->Remove(Property::AttachContentId);  // no content id: an attachment after all
  EXPECT_EQ(AttachmentNames(Export(mail)), (std::vector<std::u16string>{u"bild.png", u"plain.txt"}));
}

// An attachment's flags and content id come in one call; a property that
// cannot be read for another reason than its absence fails the mail, unless
// the flags alone already tell that the attachment is the body's.
TEST_F(MailExportTest, AttachmentPropertiesThatCannotBeRead) {
  const auto denied = [] { return Variant::FromError(E_ACCESSDENIED); };
  const auto throws = []() -> Variant { ThrowComError(E_ACCESSDENIED); };
  struct Case {
    const char* name;
    std::function<void(Sim::SimAttachment&)> arrange;
    HRESULT error;  // 0: exported
    std::vector<std::u16string> attachments;
  };
  const Case cases[] = {
      {"the call fails", [](auto& a) { a.Accessor()->FailAlways("GetProperties", E_ACCESSDENIED); }, E_ACCESSDENIED, {}},
      {"the flags fail", [&](auto& a) { a.Accessor()->Property(std::u16string(Property::AttachFlags), throws); }, E_ACCESSDENIED, {}},
      {"the content id fails", [&](auto& a) { a.Accessor()->Property(std::u16string(Property::AttachContentId), denied); },
       E_ACCESSDENIED, {}},
      {"the content id fails, the flags tell", [&](auto& a) {
         a.Accessor()->Property(std::u16string(Property::AttachFlags), [] { return Variant::FromI4(Outlook::ATT_MHTML_REF); });
         a.Accessor()->Property(std::u16string(Property::AttachContentId), throws);
       }, 0, {}},
      {"the content id is absent", [](auto& a) { a.Accessor()->Remove(Property::AttachContentId); }, 0, {u"bild.png"}},
      {"both are absent", [](auto& a) {
         a.Accessor()->Remove(Property::AttachFlags);
         a.Accessor()->Remove(Property::AttachContentId);
       }, 0, {u"bild.png"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto mail = inbox->AddMail(u"Bild");
    mail->htmlBody = u"<body><img src=\"cid:bild@x\"></body>";
    auto picture = mail->AddInlinePicture(u"bild.png", "png", u"bild@x");
    c.arrange(*picture);
    std::shared_ptr<CEMail> email;
    EXPECT_EQ(Fake::ErrorOf([&] { email = Export(mail); }), c.error);
    if (c.error == 0) {
      EXPECT_EQ(AttachmentNames(email), c.attachments);
    }
  }
}

}  // namespace
}  // namespace CV::Office
