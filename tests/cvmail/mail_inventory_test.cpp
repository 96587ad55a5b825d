// The check of an archived message against its source: each way a part can
// go missing between them is named, and each way they may rightly differ
// (names, encodings, charsets, markup, what a reader never sees) is not.
#include "cli/mail_inventory.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/utf.h"

namespace CV::Cli {
namespace {

std::string Header(const std::string& type) {
  return "From: a@example.org\r\nSubject: S\r\nMIME-Version: 1.0\r\nContent-Type: " + type + "\r\n\r\n";
}

// A multipart of the given parts (each with its own header).
std::string Multipart(const std::string& subtype, const std::vector<std::string>& parts, const std::string& b = "b") {
  std::string out = Header("multipart/" + subtype + "; boundary=\"" + b + "\"");
  for (const std::string& part : parts) out += "--" + b + "\r\n" + part + "\r\n";
  return out + "--" + b + "--\r\n";
}

std::string Part(const std::string& headers, const std::string& content) { return headers + "\r\n\r\n" + content; }

const std::string kPdf = Part("Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"bericht.pdf\"\r\n"
                              "Content-Transfer-Encoding: base64", "JVBERi0xLjQK");  // "%PDF-1.4\n"
const std::string kPdfElsewhere =
    Part("Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"Bericht (2).pdf\"\r\n"
         "Content-Transfer-Encoding: quoted-printable", "%PDF-1.4=0A");
const std::string kPdfChanged = Part("Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"bericht.pdf\"\r\n"
                                     "Content-Transfer-Encoding: base64", "JVBERi0xLjUK");  // "%PDF-1.5\n"
const std::string kLogo = Part("Content-Type: image/png\r\nContent-ID: <logo@x>\r\nContent-Transfer-Encoding: base64", "iVBORw0K");
const std::string kArchivedLogo = Part("Content-Type: image/png\r\nContent-Location: logo.png\r\nContent-Transfer-Encoding: base64",
                                       "iVBO\r\nRw0K");
std::string Html(const std::string& body, const std::string& charset = "utf-8") {
  return Part("Content-Type: text/html; charset=" + charset, "<html><body>" + body + "</body></html>");
}
std::string Plain(const std::string& text, const std::string& charset = "utf-8") {
  return Part("Content-Type: text/plain; charset=" + charset, text);
}

TEST(MailInventory, WhatIsMissingIsNamedAndNothingElse) {
  const std::string calendar = Part("Content-Type: text/calendar; method=REQUEST", "BEGIN:VCALENDAR\r\nEND:VCALENDAR");
  const std::string inner = "From: b@example.org\r\nSubject: innen\r\n" +
                            Multipart("mixed", {Plain("Innerer Text"), kPdf}, "i").substr(std::string("From: a@example.org\r\nSubject: S\r\n").size());
  const std::string innerWithoutPdf = "From: b@example.org\r\nSubject: innen\r\n" +
                                      Multipart("mixed", {Plain("Innerer Text")}, "i").substr(std::string("From: a@example.org\r\nSubject: S\r\n").size());
  const auto attachedEml = [](const std::string& bytes) {
    return Part("Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"innen.eml\"", bytes);
  };
  const struct {
    const char* name;
    std::string source, archived;
    std::vector<std::string> missing;
  } cases[] = {
      {"whole, under another name and encoding", Multipart("mixed", {Plain("Hallo Welt"), kPdf}),
       Multipart("mixed", {Html("<p>Hallo Welt</p>"), kPdfElsewhere}), {}},
      {"an attachment dropped", Multipart("mixed", {Plain("Hallo"), kPdf}), Multipart("mixed", {Html("<p>Hallo</p>")}),
       {"Anhang „bericht.pdf“ fehlt"}},
      {"an attachment changed by one byte", Multipart("mixed", {Plain("Hallo"), kPdf}),
       Multipart("mixed", {Html("<p>Hallo</p>"), kPdfChanged}), {"Anhang „bericht.pdf“ fehlt"}},
      {"a picture dropped", Multipart("related", {Html("<img src=\"cid:logo@x\">Bild"), kLogo}),
       Header("text/html") + "<p>Bild</p>", {"Bild „logo@x“ fehlt"}},
      {"a picture kept elsewhere", Multipart("related", {Html("<img src=\"cid:logo@x\">Bild"), kLogo}),
       Multipart("related", {Html("<img src=\"logo.png\">Bild"), kArchivedLogo}), {}},
      {"words dropped", Header("text/plain; charset=utf-8") + "eins zwei drei vier", Header("text/html") + "<p>eins zwei</p>",
       {"2 von 4 Wörtern des Textes fehlen"}},
      {"the last word dropped", Header("text/plain") + "eins zwei", Header("text/html") + "<p>eins</p>",
       {"1 von 2 Wörtern des Textes fehlen"}},
      {"a second text part dropped", Multipart("mixed", {Plain("erster"), Plain("zweiter Teil")}),
       Header("text/html") + "<p>erster</p>", {"2 von 2 Wörtern des Textes fehlen"}},
      {"markup, styles and entities", Header("text/html") + "<style>p{}</style><p>Wo<b>rt</b> &amp; Gr&uuml;&szlig;e</p>",
       Header("text/plain") + "Wort & Grüße", {}},
      {"a word hidden in a style counts nowhere", Header("text/html") + "<style>versteckt</style><p>sichtbar</p>",
       Header("text/html") + "<p>sichtbar</p>", {}},
      {"charsets", Header("text/plain; charset=windows-1252") + "Gr\xFC\xDF" "e \x80", Header("text/html; charset=utf-8") + "Grüße €",
       {}},
      {"of an alternative only what a reader sees", Multipart("alternative", {Plain("nur im Text"), Html("<p>im HTML</p>")}),
       Header("text/html") + "<p>im HTML</p>", {}},
      {"but the shown one must be whole", Multipart("alternative", {Plain("nur im Text"), Html("<p>im HTML</p>")}),
       Header("text/html") + "<p>nur im Text</p>", {"1 von 2 Wörtern des Textes fehlen"}},
      {"a calendar part beside the texts is kept", Multipart("alternative", {Plain("Termin"), calendar}),
       Header("text/html") + "<p>Termin</p>", {"Anhang „Einladung.ics“ fehlt"}},
      {"an attached message as its bytes", Multipart("mixed", {Plain("außen"), Part("Content-Type: message/rfc822", inner)}),
       Multipart("mixed", {Html("außen"), attachedEml(inner)}), {}},
      {"what an attached message holds", Multipart("mixed", {Plain("außen"), Part("Content-Type: message/rfc822", inner)}),
       Multipart("mixed", {Html("außen"), attachedEml(innerWithoutPdf)}), {"Anhang „bericht.pdf“ fehlt"}},
      {"an attached message dropped", Multipart("mixed", {Plain("außen"), Part("Content-Type: message/rfc822", inner)}),
       Header("text/html") + "außen", {"Anhang „bericht.pdf“ fehlt", "2 von 2 Wörtern des Textes fehlen"}},
      {"an empty attachment", Multipart("mixed", {Plain("x"), Part("Content-Type: text/plain\r\nContent-Disposition: attachment; filename=leer.txt", "")}),
       Header("text/html") + "x", {"Anhang „leer.txt“ fehlt"}},
      {"a multipart without boundary is text", Header("multipart/mixed") + "roher Inhalt", Header("text/html") + "<p>roher</p>",
       {"1 von 2 Wörtern des Textes fehlen"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MissingFrom(InventoryOf(c.source), c.archived), c.missing);
  }
}

TEST(MailInventory, WhatIsNoMessageIsRefused) {
  EXPECT_THROW(InventoryOf(""), std::runtime_error);
  const Inventory source = InventoryOf(Header("text/plain") + "Hallo");
  EXPECT_THROW(MissingFrom(source, ""), std::runtime_error);
}

TEST(MailInventory, Words) {
  const struct {
    std::string text;
    std::vector<std::string> words;
  } cases[] = {
      {"Grüße, Anna!", {"Grüße", "Anna"}},
      {"a\xC2\xA0" "b\tc\r\nd", {"a", "b", "c", "d"}},
      {"\xE2\x80\x9EZitat\xE2\x80\x9C \xC2\xABnoch eins\xC2\xBB", {"Zitat", "noch", "eins"}},
      {"東京\xE3\x80\x80日本", {"東京", "日本"}},
      {"x\xFFy", {"x\xFFy"}},  // a stray byte is no blank
      {"", {}},
      {"--- ...", {}},
      {"0815 Az 9Zz /:@[`{", {"0815", "Az", "9Zz"}},  // the edges of digits and letters
      {"3,14 € 2\xC3\x97" "3", {"3", "14", "€", "2", "3"}},
      {"end\xE2\x80", {"end\xE2\x80"}},  // a character cut at the end
  };
  for (const auto& c : cases) EXPECT_EQ(WordsOf(c.text), c.words) << c.text;
  // Each range of parting characters at its bounds and one beyond.
  const struct {
    char16_t code;
    bool parts;
  } bounds[] = {{0xBF, true},    {0xC0, false},   {0xD6, false},   {0xD7, true},    {0xF7, true},
                {0x1FFF, false}, {0x2000, true},  {0x206F, true},  {0x2070, false}, {0x2FFF, false},
                {0x3000, true},  {0x303F, true},  {0x3040, false}, {0xFEFE, false}, {0xFEFF, true},
                {0xFFFC, false}, {0xFFFD, true}};
  for (const auto& b : bounds) {
    const std::string mark = ToUtf8(std::u16string(1, b.code));
    const std::vector<std::string> words =
        b.parts ? std::vector<std::string>{"a", "b"} : std::vector<std::string>{"a" + mark + "b"};
    EXPECT_EQ(WordsOf("a" + mark + "b"), words) << std::hex << static_cast<unsigned>(b.code);
  }
}

}  // namespace
}  // namespace CV::Cli

namespace CV::Cli {
namespace {

// Attached messages are followed 32 deep, the deepest one's attachment
// listed and found; deeper than that is no mail anyone reads.
TEST(MailInventory, AttachedMessagesThirtyTwoDeep) {
  const auto nested = [](int levels) {
    std::string message = Multipart("mixed", {kPdf});
    for (int level = 1; level <= levels; ++level)
      message = Multipart("mixed", {Part("Content-Type: message/rfc822", message)}, "b" + std::to_string(level));
    return message;
  };
  EXPECT_EQ(InventoryOf(nested(32)).binaries.size(), 1u);
  EXPECT_EQ(MissingFrom(InventoryOf(nested(32)), nested(32)), std::vector<std::string>{});
  EXPECT_EQ(InventoryOf(nested(33)).binaries.size(), 0u);
}

}  // namespace
}  // namespace CV::Cli
