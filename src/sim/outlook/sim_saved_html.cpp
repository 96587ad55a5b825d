// The HTML document SaveAs writes, as a German or an English Outlook writes
// it: Word's namespaces, generator and file-list link, a conditional comment,
// the header fields as long styled paragraphs, then the body, its inline
// pictures referenced by relative paths into the image folder.
#include <cmath>
#include <cstdio>
#include <set>

#include "export/attachment_names.h"
#include "export/html_rewriter.h"
#include "export/html_text.h"
#include "foundation/calendar.h"
#include "foundation/markup.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"

namespace CV::Sim {
namespace {

std::string Escaped(std::u16string_view text) { return MarkupEscaped(ToUtf8(text)); }

struct CivilTime {
  long long year;
  int month, day, weekday, hour, minute;  // month 1-12, weekday 0 = Sunday
};

CivilTime FromOleDate(double oleDate) {
  const long long days = static_cast<long long>(std::floor(oleDate));
  const int minutes = static_cast<int>(std::lround((oleDate - static_cast<double>(days)) * 24 * 60)) % (24 * 60);
  const CivilDate date = CivilFromDays(days - kOleDaysAt1970);
  return {date.year, date.month, date.day, WeekdayFromDays(days - kOleDaysAt1970), minutes / 60, minutes % 60};
}

// An OLE date as Outlook writes "Gesendet:" or "Sent:".
std::string SentText(double oleDate, SimWorld::Language language) {
  const CivilTime t = FromOleDate(oleDate);
  char text[96];
  if (language == SimWorld::Language::German) {
    static const char* const kDays[] = {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"};
    static const char* const kMonths[] = {"Januar", "Februar", "März",      "April",   "Mai",      "Juni",
                                          "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
    std::snprintf(text, sizeof text, "%s, %d. %s %lld %02d:%02d", kDays[t.weekday], t.day, kMonths[t.month - 1],
                  t.year, t.hour, t.minute);
  } else {
    static const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    std::snprintf(text, sizeof text, "%s, %s %d, %lld %d:%02d %s", kDays[t.weekday], kMonths[t.month - 1], t.day,
                  t.year, (t.hour + 11) % 12 + 1, t.minute, t.hour < 12 ? "AM" : "PM");
  }
  return text;
}

std::string HeaderParagraph(const char* label, const std::string& value) {
  return "<p class=MsoNormal style='margin-left:120.0pt;text-indent:-120.0pt;tab-stops:120.0pt;"
         "mso-layout-grid-align:none;text-autospace:none'><b>" +
         std::string(label) + "<span style='mso-tab-count:1'>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; </span></b>" +
         value + "<o:p></o:p></p>\r\n";
}

std::u16string Lower(std::u16string text) {
  for (auto& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c | 0x20);
  return text;
}

// What follows <body ...>, or everything, without the closing </body> and
// </html>: a footer a mailing list put after either stays.
std::u16string BodyContent(const std::u16string& html) {
  const std::u16string lower = Lower(html);
  const std::size_t open = lower.find(u"<body");
  const std::size_t start = open == std::u16string::npos ? 0 : lower.find(u'>', open);
  const std::size_t from = start == std::u16string::npos ? 0 : (open == std::u16string::npos ? 0 : start + 1);
  std::u16string body = html.substr(from);
  for (std::u16string_view closing : {u"</html>", u"</body>"}) {
    const std::size_t at = Lower(body).rfind(closing);
    if (at != std::u16string::npos) body.erase(at, closing.size());
  }
  return body;
}

// Replaces every whole reference "cid:<id>" (never one inside a longer id)
// by local.
void ReplaceReference(std::u16string& body, std::u16string_view id, std::u16string_view local) {
  const std::u16string reference = u"cid:" + std::u16string(id);
  const auto continuesId = [](char16_t c) {
    return (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'z') || c >= 0x80 ||
           std::u16string_view(u"!#$%&*+-/=?^_`{|}~.@").find(c) != std::u16string_view::npos;
  };
  for (std::size_t at = body.find(reference); at != std::u16string::npos; at = body.find(reference, at)) {
    const std::size_t end = at + reference.size();
    if (end < body.size() && continuesId(body[end])) {
      at = end;
      continue;
    }
    body.replace(at, reference.size(), local);
    at += local.size();
  }
}

std::string TextParagraphs(std::u16string_view text) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    out += line.empty() ? "<p class=MsoPlainText><o:p>&nbsp;</o:p></p>\r\n"
                        : "<p class=MsoPlainText>" + Escaped(line) + "<o:p></o:p></p>\r\n";
    start = end + 1;
  }
  return out;
}

}  // namespace

std::string SavedHtml(const SimItem& item, std::u16string_view imageFolder,
                      std::vector<std::pair<std::u16string, std::string>>& pictures, SimWorld::Language language) {
  const std::string folder = ToUtf8(imageFolder);
  std::string html =
      "<html xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
      "xmlns:w=\"urn:schemas-microsoft-com:office:word\" xmlns:m=\"http://schemas.microsoft.com/office/2004/12/omml\" "
      "xmlns=\"http://www.w3.org/TR/REC-html40\">\r\n<head>\r\n"
      "<meta http-equiv=Content-Type content=\"text/html; charset=" + std::string(item.savesAsUnicode ? "unicode" : "utf-8") + "\">\r\n"
      "<meta name=Generator content=\"Microsoft Word 15 (filtered medium)\">\r\n"
      "<link rel=File-List href=\"" + folder + "/filelist.xml\">\r\n"
      "<!--[if gte mso 9]><xml>\r\n<o:shapedefaults v:ext=\"edit\" spidmax=\"1026\" />\r\n</xml><![endif]-->\r\n"
      "<style><!--\r\np.MsoNormal {margin:0cm;font-size:11.0pt;font-family:\"Calibri\",sans-serif;}\r\n--></style>\r\n"
      "</head>\r\n<body lang=DE link=\"#0563C1\" vlink=\"#954F72\">\r\n<div class=WordSection1>\r\n";
  const bool german = language == SimWorld::Language::German;
  html += HeaderParagraph(german ? "Von:" : "From:", Escaped(item.senderName));
  html += HeaderParagraph(german ? "Gesendet:" : "Sent:", SentText(item.sentOn, language));
  html += HeaderParagraph(german ? "An:" : "To:", Escaped(item.to));
  if (!item.cc.empty()) html += HeaderParagraph("Cc:", Escaped(item.cc));
  if (!item.bcc.empty()) html += HeaderParagraph("Bcc:", Escaped(item.bcc));
  html += HeaderParagraph(german ? "Betreff:" : "Subject:", Escaped(item.subject));
  if (item.importance != Outlook::olImportanceNormal)
    html += HeaderParagraph(german ? "Wichtigkeit:" : "Importance:",
                            item.importance == Outlook::olImportanceHigh ? (german ? "Hoch" : "High")
                                                                         : (german ? "Niedrig" : "Low"));
  // The body's pictures: of the attachments its <img> tags show by content
  // id, the first of each id. Every other attachment is listed as one.
  std::set<std::u16string> shown;
  if (item.bodyFormat == Outlook::olFormatHTML) shown = Office::PictureContentIds(item.htmlBody);
  std::vector<const SimAttachment*> pictureParts;
  std::string attached;
  for (const auto& attachment : item.attachments) {
    if (!attachment->contentId.empty() && shown.erase(attachment->contentId)) pictureParts.push_back(attachment.get());
    else attached += (attached.empty() ? "" : "; ") + Escaped(attachment->fileName);
  }
  if (!attached.empty()) html += HeaderParagraph(german ? "Anlagen:" : "Attachments:", attached);
  if (item.bodyFormat == Outlook::olFormatHTML) {
    std::u16string body = BodyContent(item.htmlBody);
    for (const SimAttachment* attachment : pictureParts) {
      char number[16];
      std::snprintf(number, sizeof number, "image%03d", static_cast<int>(pictures.size() + 1));
      // Outlook names the picture's file itself; of the attachment's name only
      // the extension, made safe like a file name, is kept.
      std::u16string name = FromUtf8(number) + Office::ExtensionOf(Office::SafeAttachmentName(attachment->fileName));
      pictures.emplace_back(name, attachment->bytes);
      ReplaceReference(body, attachment->contentId, std::u16string(imageFolder) + u"/" + name);
    }
    html += ToUtf8(body) + "\r\n";
  } else {
    html += TextParagraphs(item.body);
  }
  return html + "</div>\r\n</body>\r\n</html>\r\n";
}

}  // namespace CV::Sim
