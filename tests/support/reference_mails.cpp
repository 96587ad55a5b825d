#include "support/reference_mails.h"

#include "components/container/sha256.h"
#include "components/container/zip_reader.h"
#include "foundation/bstr.h"

namespace CV::Fake {
namespace {

void Write(FS::IFileSystem& fs, const std::u16string& path, const std::string& bytes) {
  fs.WriteWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Variant Text(std::u16string_view text) { return Variant::FromBstr(Bstr(text)); }

}  // namespace

std::vector<ReferenceMail> WriteReferenceMails(FS::IFileSystem& fs, const std::u16string& directory) {
  fs.MakeDirectory(directory + u"Content-Dateien");
  Write(fs, directory + u"Content-Dateien\\image001.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, '\x7f'));
  Write(fs, directory + u"Bericht.pdf", "%PDF-1.4 Bericht\n" + std::string(5000, 'x'));
  Write(fs, directory + u"kurz.txt", "Gr\xc3\xbc\xc3\x9f" "e");
  std::string html = "<html><body><p>Sehr geehrte Frau Gro\xc3\x9f,</p><img src=\"Content-Dateien/image001.png\"></body></html>\r";
  std::vector<ReferenceMail> mails(3);
  mails[0].properties = {{u"FolderPath", Text(u"Postfach\\Posteingang")},
                         {u"EntryID", Text(u"00000001")},
                         {u"Type", Variant::FromI4(0)},
                         {u"Subject", Text(u"Angebot f\u00fcr B\u00fcro \u2013 \U0001F4E7")},
                         {u"To", Text(u"Anna Gro\u00df; Peter")},
                         {u"From", Text(u"Schulz (Meier)")},
                         {u"CC", Text(u"")},
                         {u"BCC", Text(u"Archiv")},
                         {u"Size", Variant::FromI4(4711)},
                         {u"MailState", Variant::FromI4(0)},
                         {u"Importance", Variant::FromI4(1)},
                         {u"HtmlBody", Variant::FromBstr(Bstr::FromBytes(html.data(), html.size()))},
                         {u"HtmlFileName", Text(u"Content.html")}};
  mails[0].calls = {{u"AddHtmlResource", {directory + u"Content-Dateien\\image001.png", u"Content-Dateien\\image001.png"}},
                    {u"AddAttachment", {directory + u"Bericht.pdf"}},
                    {u"AddNamedAttachment", {directory + u"kurz.txt", u"Ein sehr langer Name, gek\u00fcrzt gespeichert.txt"}}};
  mails[1].properties = {{u"FolderPath", Text(u"Postfach\\Gesendete Elemente")},
                         {u"EntryID", Text(u"00000002")},
                         {u"Subject", Text(u"Re: Angebot")},
                         {u"From", Text(u"Anna Gro\u00df")},
                         {u"Size", Variant::FromI4(12)},
                         {u"MailState", Variant::FromI4(1)},
                         {u"HtmlBody", Variant::FromBstr(Bstr::FromBytes("\xff\xfe" "<\0p\0>\0", 8))},
                         {u"HtmlFileName", Text(u"Content.html")}};
  mails[2].properties = {{u"FolderPath", Text(u"Postfach\\Archiv")},
                         {u"EntryID", Text(u"00000001")},
                         {u"Subject", Text(u"Angebot f\u00fcr B\u00fcro \u2013 \U0001F4E7")},
                         {u"From", Text(u"Schulz (Meier)")},
                         {u"MailState", Variant::FromI4(2)}};  // a repeat: header fields only
  return mails;
}

std::vector<std::pair<std::u16string, std::u16string>> ReferenceProperties() {
  return {{u"Content Generator", u"Corvane E-Mail Archiv f\u00fcr Microsoft Outlook"},
          {u"Ersteller", u"Pr\u00fcfer"},
          {u"Erstellungsdatum", u"06.12.2026 12:00:00"},
          {u"Anzahl der Mails", u"3"},
          {u"Gesamtgr\u00f6\u00dfe der Mails", u"5 kB"},
          {u"Kommentar", u"Referenz"}};
}

std::vector<std::string> MemberDigests(const std::string& containerPath) {
  Components::ZipReader zip{std::filesystem::path(containerPath)};
  std::vector<std::string> lines;
  for (const auto& entry : zip.Entries()) {
    Components::Sha256 sha;
    zip.Read(entry, [&](const unsigned char* data, std::size_t n) { sha.Update(data, n); });
    lines.push_back(entry.name + " " + Components::Sha256::Hex(sha.Final()));
  }
  return lines;
}

}  // namespace CV::Fake
