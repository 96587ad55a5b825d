// The HTML rewriting: the ten passes on small handmade documents, grouped by
// pass, the attribute functions, the encodings, and real Outlook and Word
// bodies.
#include "export/html_rewriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "export/html_text.h"
#include "export/saved_header.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "support/errors.h"

namespace CV::Office {
namespace {

class MemoryFile final : public FS::IReadableFile {
 public:
  explicit MemoryFile(std::string bytes, std::int32_t readError = 0) : m_bytes(std::move(bytes)), m_error(readError) {}
  std::uint64_t Size() const override { return m_bytes.size(); }
  std::int32_t Read(std::span<std::uint8_t> buffer, std::size_t& read) override {
    if (m_error) return m_error;
    read = std::min(buffer.size(), std::min<std::size_t>(m_bytes.size() - m_at, 7));  // short reads
    std::memcpy(buffer.data(), m_bytes.data() + m_at, read);
    m_at += read;
    return 0;
  }

 private:
  std::string m_bytes;
  std::size_t m_at = 0;
  std::int32_t m_error;
};

class FakeCache final : public IInternetCache {
 public:
  std::u16string RetrieveFile(std::u16string_view url) override {
    ++retrieves;
    const auto it = files.find(std::u16string(url));
    return it == files.end() ? std::u16string() : it->second;
  }
  void Release(std::u16string_view) override { ++releases; }
  std::map<std::u16string, std::u16string> files;
  int retrieves = 0, releases = 0;
};

class CopyRecorder final : public FS::FileSystemWrapper {
 public:
  CopyRecorder() : FileSystemWrapper(FS::DefaultFileSystem()) {}
  std::int32_t CopyFileTo(std::u16string_view from, std::u16string_view to, bool) override {
    copies.emplace_back(from, to);
    return 0;
  }
  std::vector<std::pair<std::u16string, std::u16string>> copies;
};

class CountingGuids final : public IGuidSource {
 public:
  Guid NewGuid() override { return Guid{++m_next, 0, 0, {}}; }

 private:
  std::uint32_t m_next = 0;
};

std::string Utf16(std::u16string_view text, bool bigEndian = false) {
  std::string bytes;
  for (char16_t c : text) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    bytes += bigEndian ? hi : lo;
    bytes += bigEndian ? lo : hi;
  }
  return bytes;
}

class HtmlRewriting : public ::testing::Test {
 protected:
  std::string Rewrite(std::string input, std::int32_t readError = 0, const SavedHeader* header = nullptr) {
    MemoryFile file(std::move(input), readError);
    return ProcessHtml(&file, pictures, files, header).Bytes();
  }
  HRESULT Rejected(std::string input) {
    return Fake::ErrorOf([&] { Rewrite(std::move(input)); });
  }
  static std::u16string GuidName(std::uint32_t n, std::u16string_view extension) {
    const std::u16string form = Guid{n, 0, 0, {}}.ToRegistryForm();
    return form.substr(1, 36) + std::u16string(extension);
  }

  FakeCache cache;
  CopyRecorder fs;
  CountingGuids guids;
  HtmlPictures pictures{&cache, fs, guids, u"C:\\tmp\\CV.conv"};
  std::vector<std::u16string> files;
};

// ---- encodings

TEST_F(HtmlRewriting, EncodingsComeBackAsTheyWent) {
  EXPECT_EQ(Rewrite(""), "");
  EXPECT_EQ(Rewrite("<"), "<");  // one byte: 8-bit, unchanged
  EXPECT_EQ(Rewrite("\xFE\xFF"), "\xFE\xFF");  // a lone big-endian mark is two 8-bit bytes
  EXPECT_EQ(Rewrite("\xFF\xFE"), "\xFF\xFE");  // a lone little-endian mark is an empty UTF-16 text
  const std::string utf8 = "<p>Grüße aus Köln — <b>fett</b></p>\xF0\x9F\x93\xA7";
  EXPECT_EQ(Rewrite(utf8), utf8);  // byte for byte where no pass matched

  const std::u16string doc = u"\uFEFF<HTML xmlns:o=x><meta name=Generator content=Word>Grüße<link rel=File-List></html>\r\n";
  const std::u16string expected = u"\uFEFF<html xmlns=\"http://www.w3.org/TR/REC-html40\">Grüße</html>\r\n";
  EXPECT_EQ(Rewrite(Utf16(doc)), Utf16(expected));
  EXPECT_EQ(Rewrite(Utf16(doc, true)), Utf16(expected, true));  // big-endian stays big-endian
  EXPECT_EQ(Rewrite(Utf16(doc) + "x"), Utf16(expected));  // a stray last byte is no code unit
  EXPECT_EQ(Rewrite(std::string("\xFF\xFE", 2) + Utf16(u"<img src=\"\u0142.png\">.")),
            std::string("\xFF\xFE", 2) + Utf16(u"<img src=\"\u0142.png\">."));
  EXPECT_EQ(files, (std::vector<std::u16string>{u"\u0142.png"}));
}

TEST_F(HtmlRewriting, ReadFailuresAndNullStreams) {
  EXPECT_EQ(Fake::ErrorOf([&] { Rewrite("<html>", 5); }), HResultFromWin32(5));
  EXPECT_EQ(Fake::ErrorOf([&] { ProcessHtml(nullptr, pictures, files); }), E_POINTER);
}

// ---- passes 1 to 4: removals

TEST_F(HtmlRewriting, OfficeMarkupIsRemoved) {
  const std::pair<std::string, std::string> cases[] = {
      {"a<!--[if gte mso 9]><xml><o:shapedefaults v:ext=\"edit\" /></xml><![endif]-->b", "ab"},
      {"<p><![if !supportLists]><span>1.</span><![endif]>Punkt</p>", "<p><span>1.</span>Punkt</p>"},
      {"<head><LINK rel=File-List href=\"x_files/filelist.xml\"><link rel=Edit-Time-Data></head>", "<head></head>"},
      {"x<!--[IF mso]>never closed", "x"},  // an open stretch takes the rest
      {"<v:shapetype id=t75><v:path o:connecttype=\"rect\"/></v:shapetype>z", "z"},
      {"<!-- plain comment -->", "<!-- plain comment -->"},
      {"<linkage>.", "."},  // "<link" matches inside longer names too
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Rewrite(in), out) << in;
}

// The last element counts wherever the document ends, and an element whose
// end never comes is kept as it stands, with everything after it.
TEST_F(HtmlRewriting, TheLastElementCountsAndAnUnclosedOneStays) {
  const std::pair<std::string, std::string> cases[] = {
      {"ok<img src=a.png>", "ok<img src=a.png>"},  // its ">" is the last character
      {"ok<img src=a.png> ", "ok<img src=a.png> "},
      {"<link>", ""},
      {"a<link", "a"},  // a removed stretch that never closes takes the rest, which is nothing
      {"<body></body></html>\r\n", "<body></body></html>\r\n"},
      {"<p class=\"x\">Erster Absatz<p class=\"x\">Zweiter Absatz</body>",
       "<p class=\"x\">Erster Absatz<p class=\"x\">Zweiter Absatz</body>"},  // </p> left out, as HTML allows
      {"vorne<img src=b.png", "vorne<img src=b.png"},
      {"<v:shape alt=x>nie zu", "<v:shape alt=x>nie zu"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Rewrite(in), out) << in;
  files.clear();
  Rewrite("ok<img src=a.png>");
  EXPECT_EQ(files, std::vector<std::u16string>{u"a.png"});
}

// ---- passes 5 and 6: html and meta

TEST_F(HtmlRewriting, HtmlStartTagAndMetaTags) {
  EXPECT_EQ(Rewrite("<HTML xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:o\" xmlns=\"http://x\">."),
            "<html xmlns=\"http://www.w3.org/TR/REC-html40\">.");
  EXPECT_EQ(std::string_view("<html xmlns=\"http://www.w3.org/TR/REC-html40\">").size(), 46u);
  const std::pair<std::string, std::string> metas[] = {
      {"<meta name=Generator content=\"Microsoft Word 14\">.", "."},
      {"<META HTTP-EQUIV=content-type CONTENT=\"text/html; charset=us-ascii\">.",
       "<meta HTTP-EQUIV=content-type CONTENT=\"text/html; charset=us-ascii\">."},  // the marker in its own case
      {"<meta http-equiv='Content-Type' content=x>.", "<meta http-equiv='Content-Type' content=x>."},
      {"<meta http-equiv=\"Content-Type-X\" content=x>.", "."},  // the whole value is compared
      {"<meta charset=utf-8>.", "."},
  };
  for (const auto& [in, out] : metas) EXPECT_EQ(Rewrite(in), out) << in;
  // A name without a value declares nothing, and fails nothing.
  EXPECT_EQ(Rewrite("<meta http-equiv>."), ".");
}

// ---- pass 7: the header block SaveAs writes above the body

TEST_F(HtmlRewriting, TheSavedHeaderBlockGoesAndTheBodyStays) {
  // A paragraph of the given total length (both markers included) whose
  // visible text is text, padded inside its style.
  const auto paragraph = [](std::size_t total, const std::string& text) {
    const std::string open = "<p class=MsoNormal style='", close = "'><b>" + text + "</b></p>";
    return open + std::string(total - open.size() - close.size(), 'x') + close;
  };
  const auto field = [&](const std::string& label, const std::string& value = "Wert") {
    return paragraph(150, label + "&nbsp; " + value);
  };
  const std::string word = paragraph(300, "Sehr geehrte Damen und Herren,");  // Word's styled body text
  const std::string forwarded = paragraph(200, "Von: A<br>Gesendet: B<BR>An: C");
  const std::string block = field("Von:") + field("Gesendet:", "Montag") + field("An:") + field("Cc:") + field("Betreff:");
  // What SaveAs wrote for the mail: these values, a Cc, no Bcc.
  const SavedHeader mail{u"Wert", u"Wert", u"Wert", u"", u"Wert", false, false};
  SavedHeader english = mail;
  english.cc.clear(), english.bcc = u"Wert", english.importance = english.attachments = true;
  SavedHeader rare = mail;
  rare.cc.clear(), rare.importance = rare.attachments = true;
  SavedHeader noCc = mail;
  noCc.cc.clear();
  SavedHeader marked{u"Grüße & <Köln>", u"a; b", u"", u"", u"Re:  Angebot\t Nr. 7", false, false};
  const struct {
    const char* name;
    SavedHeader header;
    std::string in, out;
  } cases[] = {
      {"German block, Word body", mail, block + word + word + ".", word + word + "."},
      {"English block", english,
       field("From:") + field("Sent:", "Monday") + field("To:") + field("Bcc:") + field("Subject:") +
           field("Importance:", "High") + field("Attachments:", "a.pdf") + word + ".",
       word + "."},
      {"German labels of the rarer fields", rare,
       field("Von:") + field("Gesendet:") + field("An:") + field("Betreff:") + field("Wichtigkeit:", "Hoch") +
           field("Anlagen:", "a.pdf") + word,
       word},
      {"label after Word's line breaks and tabs", mail, paragraph(150, "\r\n\tVon:\r\n\tWert") + word, word},
      {"label split by tags, after blanks and &nbsp;, any case", mail,
       paragraph(150, " &nbsp;</b><span>VON</span>:<b> Wert") + word, word},
      {"no block: long body paragraphs stay", mail, word + word + ".", word + word + "."},
      {"paragraphs without labels stay whole", mail, paragraph(150, "a") + paragraph(130, "b") + paragraph(40, "c"),
       paragraph(150, "a") + paragraph(130, "b") + paragraph(40, "c")},
      {"a short field ends the block", mail, field("Von:") + paragraph(119, "Gesendet: x") + field("An:"),
       paragraph(119, "Gesendet: x") + field("An:")},
      {"a short body paragraph ends the block before the next field", mail,
       field("Von:") + paragraph(119, "kurz") + field("Gesendet:", "Montag"),
       paragraph(119, "kurz") + field("Gesendet:", "Montag")},
      {"120 characters are long enough", mail, paragraph(120, "Von: Wert") + word, word},
      {"the block begins with the sender", mail, field("Betreff:") + word, field("Betreff:") + word},
      {"a field out of SaveAs' order ends the block", mail, field("Von:") + field("Gesendet:") + field("Von:"),
       field("Von:")},
      {"a forwarded header in the body stays", mail, block + forwarded + word, forwarded + word},
      {"a forwarded header first in the body stays", mail, field("Von:") + forwarded, forwarded},
      {"a label inside the text is no field", mail, paragraph(150, "Kurz: Von: x") + word,
       paragraph(150, "Kurz: Von: x") + word},
      {"a plain-text mail whose first line is long", mail,
       field("Von:") + "<p class=MsoPlainText>" + std::string(300, 'w') + "<o:p></o:p></p>",
       "<p class=MsoPlainText>" + std::string(300, 'w') + "<o:p></o:p></p>"},
      {"the markers in their own case", mail, "<P CLASS=x>kurz</P>.", "<p CLASS=x>kurz</p>."},
      {"<p without a blank is no paragraph", mail, "<p>Von: " + std::string(200, 'b') + "</p>.",
       "<p>Von: " + std::string(200, 'b') + "</p>."},
      // What SaveAs did not write for this mail is body text, whatever its label.
      {"a body paragraph with a label the block did not use", noCc,
       field("Von:") + field("Gesendet:") + field("An:") + field("Betreff:") + paragraph(150, "Anlagen: siehe unten") +
           paragraph(150, "Cc: auch an alle"),
       paragraph(150, "Anlagen: siehe unten") + paragraph(150, "Cc: auch an alle")},
      {"a field whose text is not the mail's", mail, field("Von:", "Jemand anderes") + word,
       field("Von:", "Jemand anderes") + word},
      {"the language of the first field holds", mail, field("Von:") + field("Sent:") + word,
       field("Sent:") + word},
      {"texts compared after references and blanks", marked,
       field("Von:", "Gr&uuml;&#223;e &amp; &lt;K\xC3\xB6ln&gt;") + field("Gesendet:") + field("An:", "a;&nbsp; b") +
           field("Betreff:", "Re: Angebot&#x20;Nr.&nbsp;7") + word,
       field("Von:", "Gr&uuml;&#223;e &amp; &lt;K\xC3\xB6ln&gt;") + field("Gesendet:") + field("An:", "a;&nbsp; b") +
           field("Betreff:", "Re: Angebot&#x20;Nr.&nbsp;7") + word},  // &uuml; is no reference the block knows
      {"texts compared after references and blanks, UTF-8 bytes", marked,
       field("Von:", "Gr\xC3\xBC&#223;e &amp; &lt;K\xC3\xB6ln&gt;") + field("Gesendet:") + field("An:", "a;&nbsp; b") +
           field("Betreff:", "Re: Angebot&#x20;Nr.&nbsp;7") + word,
       word},
      {"texts compared after references and blanks, windows-1252 bytes", marked,
       field("Von:", "Gr\xFC\xDF" "e &amp; &lt;K\xF6ln&gt;") + field("Gesendet:") + field("An:", "a; b") +
           field("Betreff:", "Re: Angebot Nr. 7") + word,
       word},
  };
  // the trailing "." lets the last paragraph end before the end of the text
  for (const auto& c : cases) EXPECT_EQ(Rewrite(c.in + ".", 0, &c.header), c.out + ".") << c.name;
  // Without the mail's fields (cvmail rewrite-html) no paragraph goes.
  EXPECT_EQ(Rewrite(block + word), block + word);
  // UTF-16 documents compare their own characters.
  const std::u16string utf16 = u"\uFEFF" + FromUtf8(field("Von:", "Gr\xC3\xBC\xC3\x9F" "e &amp; &lt;K\xC3\xB6ln&gt;") + word);
  EXPECT_EQ(Rewrite(Utf16(utf16), 0, &marked), Utf16(u"\uFEFF" + FromUtf8(word)));
}

// ---- passes 8 and 9: VML

TEST_F(HtmlRewriting, VmlShapesBecomePictures) {
  EXPECT_EQ(Rewrite("<v:shape id=\"Bild_x0020_1\" o:spid=\"_x0000_i1025\" type=\"#_x0000_t75\" alt=\"Logo der Firma\" "
                    "style='width:90pt;height:40pt'><v:imagedata src=\"image001.png\" o:title=\"\"/></v:shape>."),
            "<img  alt='Logo der Firma' style='width:90pt;height:40pt' src='image001.png'>.");
  EXPECT_EQ(Rewrite("<v:shape id=a><v:textbox>x</v:textbox></v:shape>."), "<img  src=''>.");
  EXPECT_EQ(Rewrite("<v:shape id=a><v:imagedata src=\"1.png\"/><v:imagedata src=''/></v:shape>."),
            "<img  src=''>.");  // the last image data decides
  EXPECT_EQ(files, std::vector<std::u16string>{u"image001.png"});  // the image pass lists the new picture
}

// ---- pass 10: pictures

TEST_F(HtmlRewriting, RemotePicturesComeFromTheCacheOnly) {
  cache.files[u"http://example.org/logo.PNG"] = u"C:\\cache\\A1B2\\logo[1].PNG";
  const std::string out =
      Rewrite("<img src=\"http://example.org/logo.PNG\"><img src='http://example.org/missing.gif'>"
              "<IMG SRC=http://example.org/logo.PNG width=3>.");
  const std::string name = ToUtf8(GuidName(1, u".PNG"));
  EXPECT_EQ(out, "<img src='" + name + "'><img src='blockedpicture.jpg'><img SRC='" + name + "' width=3>.");
  EXPECT_EQ(files, (std::vector<std::u16string>{GuidName(1, u".PNG")}));
  ASSERT_EQ(fs.copies.size(), 1u);  // the same address later reuses its copy
  EXPECT_EQ(fs.copies[0].first, u"C:\\cache\\A1B2\\logo[1].PNG");
  EXPECT_EQ(fs.copies[0].second, u"C:\\tmp\\CV.conv\\" + GuidName(1, u".PNG"));
  EXPECT_EQ(cache.retrieves, 2);
  EXPECT_EQ(cache.releases, 1);
}

TEST_F(HtmlRewriting, LocalPicturesAreListedOnceAndOtherSchemesCountAsAddresses) {
  EXPECT_EQ(Rewrite("<img src=\"Content-Dateien/image001.png\"><img src=\"Content-Dateien/image001.png\">"
                    "<img src=\"cid:image002.png@01D\"><img src=\"data:image/png;base64,AAAA\">"
                    "<img src=\"file:///C:/x.png\"><img alt=kein><img src=\"\">."),
            "<img src=\"Content-Dateien/image001.png\"><img src=\"Content-Dateien/image001.png\">"
            "<img src='blockedpicture.jpg'><img src=\"data:image/png;base64,AAAA\"><img src='blockedpicture.jpg'>"
            "<img alt=kein><img src=\"\">.");  // a picture inside the document stays
  EXPECT_EQ(files, std::vector<std::u16string>{u"Content-Dateien/image001.png"});
  // Attributes by their whole names: none of these has a source, and none fails.
  for (const char* tag : {"<img alt=\"src of the picture\">.", "<img src>.", "<img title=src>.", "<img DATA:src=x>."})
    EXPECT_EQ(Rewrite(tag), tag);
  files.clear();
  EXPECT_EQ(Rewrite("<img data-src=\"a.png\" src=\"b.png\">."), "<img data-src=\"a.png\" src=\"b.png\">.");
  EXPECT_EQ(files, std::vector<std::u16string>{u"b.png"});
}

TEST_F(HtmlRewriting, ASingleQuoteInASourceBecomesADoubleQuote) {
  cache.files[u"http://x.org/q"] = u"C:\\cache\\q.g'f";
  cache.files[u"http://x.org/a"] = u"C:\\cache\\a";  // a cached file without extension
  EXPECT_EQ(Rewrite("<img src=http://x.org/q ><img src=\"http://x.org/a\">"
                    "<v:shape><v:imagedata src=\"Peter's.png\"/></v:shape>."),
            "<img src='" + ToUtf8(GuidName(1, u".g\"f")) + "' ><img src='" + ToUtf8(GuidName(2, u"")) +
                "'><img  src='Peter\"s.png'>.");
  EXPECT_EQ(files, (std::vector<std::u16string>{GuidName(1, u".g'f"), GuidName(2, u""), u"Peter\"s.png"}));
}

// ---- the attribute functions

TEST(HtmlAttributes, FindAttributeValue) {
  struct Case {
    std::u16string_view tag, name;
    std::ptrdiff_t at;
    std::size_t length;
  };
  const Case cases[] = {
      {u"<img src=\"a.png\">", u"src", 10, 5},
      {u"<img SRC = 'a b.png' >", u"src", 12, 7},
      {u"<img src=a.png width=2>", u"src", 9, 5},
      {u"<img src=a.png>", u"SRC", 9, 5},
      {u"<img datasrc=x>", u"src", -1, 0},          // never inside a longer name
      {u"<img alt='x src=y' src=z>", u"src", 23, 1},  // nor inside a value
      {u"<img alt=Peter's src=z>", u"src", 21, 1},   // an apostrophe inside an unquoted value
      {u"<img src=\"never closed>", u"src", 10, 0},  // no closing quote: length 0
      {u"<img alt=x>", u"src", -1, 0},
      {u"<img alt=src", u"src", -1, 0},
      {u"<img src>", u"src", -1, 0},                // without a value
      {u"<img src = b src=c>", u"src", 11, 1},      // the first of its name
      {u"<img src=abc", u"src", 9, 3},               // a value that runs to the end
      {u"<src=a.png>", u"src", -1, 0},               // the tag's own name is no attribute
      {u"", u"src", -1, 0},
  };
  for (const Case& c : cases) {
    std::size_t length = 99;
    EXPECT_EQ(FindAttributeValue<Unit16>(c.tag, c.name, length), c.at) << ToUtf8(c.tag);
    if (c.at >= 0) {
      EXPECT_EQ(length, c.length) << ToUtf8(c.tag);
    }
  }
}

TEST(HtmlAttributes, SetAttribute) {
  const struct {
    std::u16string_view tag, name, value, result;
  } cases[] = {
      {u"<img src=\"a.png\" width=3>", u"src", u"b.png", u"<img src='b.png' width=3>"},
      {u"<img src=a.png width=3>", u"src", u"b.png", u"<img src='b.png' width=3>"},
      {u"<img width=3>", u"src", u"b.png", u"<img width=3 src='b.png'>"},
      {u"<img width=3/>", u"src", u"b.png", u"<img width=3 src='b.png'/>"},
      {u"<img >", u"alt", u"Peter's Bild", u"<img  alt='Peter\"s Bild'>"},
      {u"<img src='x>", u"src", u"y", u"<img src='y'>"},  // unclosed: the quote and one more unit go
  };
  for (const auto& c : cases) {
    std::u16string tag(c.tag);
    SetAttribute<Unit16>(tag, c.name, c.value);
    EXPECT_EQ(tag, c.result) << ToUtf8(c.tag);
  }
}

// The content ids of a body's pictures, read from texts that end anywhere
// inside a tag. Each text lies in a buffer of exactly its length, so that a
// scanner reading one unit too far is caught by the address sanitizer.
TEST(HtmlPictures, ContentIdsOfTextsThatEndInsideATag) {
  const std::pair<std::u16string_view, std::set<std::u16string>> cases[] = {
      {u"<img src=cid:a>", {u"a"}},
      {u"<IMG SRC='CID:b'>", {u"b"}},
      {u"<v:imagedata src=\"cid:c\"/>", {u"c"}},
      {u"<img src=cid:d", {u"d"}},       // the body ends inside the tag
      {u"<img src=cid:", {}},            // a scheme without an id
      {u"<img src=x.png>", {}},
      {u"<imgx src=cid:e>", {}},         // another element
      {u"<img", {}},
      {u"<v:imagedata", {}},
      {u"x<im", {}},
      {u"<img/src=cid:f>", {u"f"}},
      {u"<img src=ftp:g>", {}},          // only the cid scheme
      {u"<a src=cid:h >", {}},           // not a picture, however long
  };
  for (const auto& [text, ids] : cases) {
    const std::vector<char16_t> exact(text.begin(), text.end());
    EXPECT_EQ(PictureContentIds(std::u16string_view(exact.data(), exact.size())), ids) << ToUtf8(text);
  }
}

// The header block is recognised by its visible text: references decode
// up to the last code point and not one beyond; what is no reference stays.
TEST(SavedHeaderText, CharacterReferencesAtTheirBounds) {
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"a&amp;b", u"a&b"},
      {u"&#228;&#xE4;&#XE4;&AUML;", u"\u00e4\u00e4\u00e4&AUML;"},
      {u"&#x10FFFF;", u"\U0010FFFF"},
      {u"&#1114111;", u"\U0010FFFF"},
      {u"&#x110000;", u"&#x110000;"},
      {u"&#1114112;", u"&#1114112;"},
      {u"&#x0010FFFF;", u"\U0010FFFF"},        // eight digits are read
      {u"&#x00010FFFF;", u"&#x00010FFFF;"},     // a ninth is not
      {u"&#;&#x;", u"&#;&#x;"},
      {u"&#65", u"&#65"},                       // no semicolon
      {u"&#65x;", u"&#65x;"},
      {u"&#65;", u"A"},
      {u"&#6A;", u"&#6A;"},                     // a letter is no decimal digit
      {u"a&nbsp;&nbsp;b", u"a b"},
      {u" <b>x</b>\t\r\n y &", u"x y &"},
  };
  for (const auto& [html, text] : cases) {
    const std::vector<char16_t> exact(html.begin(), html.end());
    EXPECT_EQ(ToUtf8(VisibleText(std::u16string_view(exact.data(), exact.size()), false)), ToUtf8(text))
        << ToUtf8(html);
  }
}

TEST(HtmlAddresses, SchemesAndExtensions) {
  for (std::u16string_view url : {u"http://a", u"cid:x", u"data:,", u"file:///C:/x", u"x-y.z+1:q", u"ab:"})
    EXPECT_TRUE(IsUrl(url)) << ToUtf8(url);
  for (std::u16string_view path : {u"C:\\x.png", u"a.png", u"Content-Dateien/image001.png", u":x", u"", u"a b:c"})
    EXPECT_FALSE(IsUrl(path)) << ToUtf8(path);
  const std::pair<std::u16string_view, std::u16string_view> extensions[] = {
      {u"C:\\c\\logo[1].PNG", u".PNG"}, {u"C:\\c.d\\logo", u""}, {u"a.tar.gz", u".gz"}, {u"a. b", u""}, {u"x.", u"."}};
  for (const auto& [path, ext] : extensions) EXPECT_EQ(ExtensionOf(path), ext) << ToUtf8(path);
}

// ---- real bodies written by Outlook and Word

std::string ReadTestData(const std::string& name) {
  std::ifstream in(std::string(CV_TEST_DATA) + "/html/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST_F(HtmlRewriting, WordRepliesAndForwards) {
  for (const char* name : {"talon_ms_outlook_2007.html", "quotequail_outlook_forward.html"}) {
    SCOPED_TRACE(name);
    const std::string in = ReadTestData(name);
    ASSERT_FALSE(in.empty());
    const std::string out = Rewrite(in);
    EXPECT_TRUE(out.starts_with("<html xmlns=\"http://www.w3.org/TR/REC-html40\"><head><meta http-equiv="));
    for (const char* gone : {"<!--[if", "<![endif]", "Generator", "xmlns:o", "<link"})
      EXPECT_EQ(out.find(gone), std::string::npos) << gone;
    for (const char* kept : {"MsoNormal", "<o:p>", "</body>", "</html>"}) EXPECT_NE(out.find(kept), std::string::npos) << kept;
    EXPECT_LT(out.size(), in.size());
  }
}

// What SaveAs writes for a Word-written mail, in a German and an English
// Outlook: every header field goes, the styled body stays byte for byte.
TEST_F(HtmlRewriting, SavedWordMailsKeepTheirBody) {
  const std::u16string body =
      u"<p class=MsoNormal><span lang=DE style='font-size:11.0pt;font-family:\"Calibri\",sans-serif'>Sehr geehrte "
      u"Frau Groß,<o:p></o:p></span></p>\r\n<p class=MsoNormal><span lang=DE style='font-size:11.0pt;font-family:"
      u"\"Calibri\",sans-serif'>Von: der Lieferung ist nichts bekannt.<o:p></o:p></span></p>";
  for (const auto language : {Sim::SimWorld::Language::German, Sim::SimWorld::Language::English}) {
    Sim::SimOutlook outlook;
    outlook.World()->SetLanguage(language);
    auto mail = outlook.AddStore(u"Postfach")->DefaultFolder(Outlook::olFolderInbox)->AddMail(u"Lieferung");
    mail->htmlBody = u"<html><body>" + body + u"</body></html>";
    mail->cc = u"Einkauf", mail->bcc = u"Chef";
    mail->importance = Outlook::olImportanceHigh;
    mail->AddAttachment(u"Angebot.pdf", "%PDF");
    std::vector<std::pair<std::u16string, std::string>> saved;
    const SavedHeader header{mail->senderName, mail->to, mail->cc, mail->bcc, mail->subject, true, true};
    const std::string out = Rewrite(Sim::SavedHtml(*mail, u"Content-Dateien", saved, language), 0, &header);
    SCOPED_TRACE(language == Sim::SimWorld::Language::German ? "German" : "English");
    EXPECT_NE(out.find(ToUtf8(body)), std::string::npos);
    for (const char* label : {"Von:</b>", "Gesendet:", "An:", "Cc:", "Bcc:", "Betreff:", "Wichtigkeit:", "Anlagen:",
                              "From:", "Sent:", "To:", "Subject:", "Importance:", "Attachments:"})
      EXPECT_EQ(out.find(label), std::string::npos) << label;
  }
}

}  // namespace
}  // namespace CV::Office
