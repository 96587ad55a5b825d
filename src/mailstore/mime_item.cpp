// A message's bytes, parsed with GMime, as a simulated Outlook item with
// the fields Outlook shows.
#include <gmime/gmime.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/calendar.h"
#include "foundation/utf.h"
#include "mailstore/delimiter_breaks.h"
#include "mailstore/message_source.h"
#include "mailstore/mime_reading.h"

namespace CV::MailStore {

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

namespace {

using namespace CV::Outlook;

constexpr std::int32_t SECFLAG_ENCRYPTED = 1, SECFLAG_SIGNED = 2;

template <class T>
std::shared_ptr<T> Owned(T* object) {
  return std::shared_ptr<T>(object, [](T* o) {
    if (o) g_object_unref(o);
  });
}

std::u16string Utf16(const char* text) { return text ? FromUtf8(text) : std::u16string(); }

bool EqualsIgnoringCase(const char* a, const char* b) { return a && b && g_ascii_strcasecmp(a, b) == 0; }

// An address list as Outlook shows it: the names, else the addresses, "; ".
void AppendDisplay(InternetAddressList* list, std::u16string& out) {
  if (!list) return;
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      AppendDisplay(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out);
      continue;
    }
    const char* name = internet_address_get_name(address);
    const char* addr = INTERNET_ADDRESS_IS_MAILBOX(address)
                           ? internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)) : nullptr;
    const std::u16string text = Utf16(name && *name ? name : addr);
    if (text.empty()) continue;
    if (!out.empty()) out += u"; ";
    out += text;
  }
}

std::u16string Display(InternetAddressList* list) {
  std::u16string out;
  AppendDisplay(list, out);
  return out;
}

std::u16string FirstAddress(InternetAddressList* list) {
  if (!list) return {};
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_MAILBOX(address)) return Utf16(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
  }
  return {};
}

// A moment as the local wall-clock time of an OLE date, as Outlook gives dates.
double OleDate(std::int64_t unixSeconds) {
  const std::time_t moment = static_cast<std::time_t>(unixSeconds);
  std::tm t{};
  localtime_r(&moment, &t);
  const std::int64_t days = DaysFromCivil(t.tm_year + 1900LL, static_cast<unsigned>(t.tm_mon + 1),
                                          static_cast<unsigned>(t.tm_mday)) + kOleDaysAt1970;
  return static_cast<double>(days) + (t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec) / 86400.0;
}

std::optional<std::int64_t> DecodedUnixSeconds(const char* text) {
  GDateTime* date = g_mime_utils_header_decode_date(text);
  if (!date) return std::nullopt;
  const std::int64_t seconds = g_date_time_to_unix(date);
  g_date_time_unref(date);
  return seconds;
}

// The library reads no year before 1969 (it takes such a year for a two-digit
// one gone wrong), and a mail must keep its date whatever its year. The
// calendar repeats every 400 years, weekdays included, so such a date is read
// that many years later and moved back.
std::optional<std::int64_t> UnixSecondsOfHeaderDate(const char* text) {
  if (!text) return std::nullopt;
  if (const auto seconds = DecodedUnixSeconds(text)) return seconds;
  std::string shifted(text);
  for (std::size_t at = 0; at < shifted.size();) {
    const std::size_t begin = shifted.find_first_of("0123456789", at);
    if (begin == std::string::npos) return std::nullopt;
    std::size_t end = shifted.find_first_not_of("0123456789", begin);
    if (end == std::string::npos) end = shifted.size();
    const bool alone = (begin == 0 || shifted[begin - 1] == ' ' || shifted[begin - 1] == ',') &&
                       (end == shifted.size() || shifted[end] == ' ' || shifted[end] == '\t');
    if (end - begin == 4 && alone) {  // the year: the one number of four digits that stands alone
      const int year = std::stoi(shifted.substr(begin, 4));
      if (year >= 1969) return std::nullopt;
      const int cycles = (1969 - year + 399) / 400;
      shifted.replace(begin, 4, std::to_string(year + 400 * cycles));
      const auto seconds = DecodedUnixSeconds(shifted.c_str());
      constexpr std::int64_t kSecondsOf400Years = 146097LL * 86400;
      if (!seconds) return std::nullopt;
      return *seconds - cycles * kSecondsOf400Years;
    }
    at = end;
  }
  return std::nullopt;
}

std::optional<double> HeaderDate(const char* text) {
  const auto seconds = UnixSecondsOfHeaderDate(text);
  if (!seconds) return std::nullopt;
  return OleDate(*seconds);
}

std::int32_t ImportanceOf(GMimeObject* message) {
  const char* importance = g_mime_object_get_header(message, "Importance");
  if (EqualsIgnoringCase(importance, "high")) return olImportanceHigh;
  if (EqualsIgnoringCase(importance, "low")) return olImportanceLow;
  if (const char* priority = g_mime_object_get_header(message, "X-Priority")) {
    while (*priority == ' ') ++priority;
    if (*priority == '1' || *priority == '2') return olImportanceHigh;
    if (*priority == '4' || *priority == '5') return olImportanceLow;
  }
  if (EqualsIgnoringCase(g_mime_object_get_header(message, "Priority"), "urgent")) return olImportanceHigh;
  return olImportanceNormal;
}

bool LooksLikeMail(GMimeMessage* message) {
  GMimeObject* object = GMIME_OBJECT(message);
  for (const char* header : {"From", "To", "Subject", "Date", "Message-ID"})
    if (g_mime_object_get_header(object, header)) return true;
  return false;
}


// Bytes of unknown charset: UTF-8 where they are that, else windows-1252.
std::u16string FromWindows1252OrUtf8(std::string_view bytes) {
  return IsUtf8(bytes) ? FromUtf8(bytes) : FromWindows1252(bytes);
}

// Where the next delimiter line of boundary starts (at its line break),
// from at on: "--boundary", maybe "--", maybe blanks, then the line's end.
// Not any line that begins so: an inner boundary "mix" is none of "m".
std::size_t DelimiterLine(std::string_view bytes, std::string_view boundary, std::size_t at) {
  const std::string delimiter = "\n--" + std::string(boundary);
  for (std::size_t found = bytes.find(delimiter, at); found != std::string_view::npos;
       found = bytes.find(delimiter, found + 1)) {
    std::size_t end = found + delimiter.size();
    if (bytes.substr(end, 2) == "--") end += 2;
    while (end < bytes.size() && (bytes[end] == ' ' || bytes[end] == '\t')) ++end;
    if (end == bytes.size() || bytes[end] == '\r' || bytes[end] == '\n') return found;
  }
  return std::string_view::npos;
}

// An attached message as it stands in its outer message's bytes, from its
// first header to the boundary that ends it; empty when that cannot be
// told. GMime would write it anew, and what it cannot represent (text with
// a NUL where it keeps C strings) would be lost.
std::string OriginalBytes(GMimeMessage* inner, GMimeObject* parent, const std::shared_ptr<const std::string>& outer,
                          const MatchedBreaks* breaks) {
  if (!inner || !outer) return {};
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(inner));
  if (!headers || g_mime_header_list_get_count(headers) == 0) return {};
  gint64 start = g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, 0));
  if (start < 0) return {};
  if (breaks) start = static_cast<gint64>(breaks->Original(static_cast<std::size_t>(start)));
  if (static_cast<std::uint64_t>(start) >= outer->size()) return {};
  std::size_t end = outer->size();
  if (parent && GMIME_IS_MULTIPART(parent)) {
    const char* boundary = g_mime_multipart_get_boundary(GMIME_MULTIPART(parent));
    if (!boundary) return {};
    const std::size_t found = DelimiterLine(*outer, boundary, static_cast<std::size_t>(start));
    if (found == std::string::npos) return {};
    end = found;  // the line break before the boundary is the boundary's
    if (end > static_cast<std::size_t>(start) && (*outer)[end - 1] == '\r') --end;
  }
  return outer->substr(static_cast<std::size_t>(start), end - static_cast<std::size_t>(start));
}

// The content of a part as it stands in the bytes parsed: after its header,
// up to the line break before its parent's next delimiter (or the end).
// Empty when the part's place is not known.
std::string StandingContent(GMimeObject* part, GMimeObject* parent, std::string_view parsed) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(part);
  if (!headers || g_mime_header_list_get_count(headers) == 0 || !parent || !GMIME_IS_MULTIPART(parent)) return {};
  const gint64 at = g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, 0));
  if (at < 0 || static_cast<std::uint64_t>(at) >= parsed.size()) return {};
  const std::size_t lf = parsed.find("\n\n", static_cast<std::size_t>(at));
  const std::size_t crlf = parsed.find("\n\r\n", static_cast<std::size_t>(at));
  const std::size_t start = std::min(lf == std::string_view::npos ? parsed.size() : lf + 2,
                                     crlf == std::string_view::npos ? parsed.size() : crlf + 3);
  const char* boundary = g_mime_content_type_get_parameter(g_mime_object_get_content_type(parent), "boundary");
  if (!boundary || start >= parsed.size()) return {};
  std::size_t end = parsed.find(std::string("\n--") + boundary, start - 1);
  if (end == std::string_view::npos) return std::string(parsed.substr(start));
  if (end > start && parsed[end - 1] == '\r') --end;
  return end > start ? std::string(parsed.substr(start, end - start)) : std::string();
}

// UTF-16 bytes in the given order; a stray last byte is no character.
std::u16string FromUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    out += static_cast<char16_t>(bigEndian ? a << 8 | b : b << 8 | a);
  }
  return out;
}

// The charset an HTML document names in its own <meta>, or empty.
std::string MetaCharset(std::string_view html) {
  const std::string head(html.substr(0, 8192));
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(g_ascii_tolower(c));
  for (std::size_t meta = lower.find("<meta"); meta != std::string::npos; meta = lower.find("<meta", meta + 5)) {
    const std::size_t end = lower.find('>', meta);
    const std::size_t at = lower.find("charset", meta);
    if (at == std::string::npos || (end != std::string::npos && at > end)) continue;
    std::size_t i = at + 7;
    while (i < lower.size() && (lower[i] == ' ' || lower[i] == '=' || lower[i] == '"' || lower[i] == '\'')) ++i;
    std::size_t j = i;
    while (j < lower.size() && (g_ascii_isalnum(lower[j]) || lower[j] == '-' || lower[j] == '_' || lower[j] == ':')) ++j;
    if (j > i) return head.substr(i, j - i);
  }
  return {};
}

}  // namespace

bool IsType(GMimeObject* part, const char* type, const char* subtype) {
  return g_mime_content_type_is_type(g_mime_object_get_content_type(part), type, subtype);
}

std::string ContentBytes(GMimeObject* part) {
  GMimeStream* stream = g_mime_stream_mem_new();
  if (GMIME_IS_MESSAGE_PART(part)) {
    if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part)))
      g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, stream);
  } else if (GMIME_IS_PART(part)) {
    if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part)))
      g_mime_data_wrapper_write_to_stream(content, stream);
  }
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
  std::string bytes(reinterpret_cast<const char*>(array->data), array->len);
  g_object_unref(stream);
  return bytes;
}

const char* ReaderFileName(GMimeObject* part) {
  if (IsType(part, "application", "pkcs7-signature") || IsType(part, "application", "x-pkcs7-signature"))
    return "smime.p7s";
  return IsType(part, "text", "calendar") ? "Einladung.ics" : nullptr;
}

namespace {

// How a text part's bytes are read, from its byte-order mark, MIME charset
// and <meta>.
enum class Reading { Utf8, Utf8OrWindows1252, Utf16BigEndian, Utf16LittleEndian, Windows1252, Converted };
struct TextBytes {
  std::string bytes;
  std::size_t start = 0;  // past a byte-order mark
  Reading reading = Reading::Utf8OrWindows1252;
  std::string charset;  // for Converted
  std::string_view Content() const { return std::string_view(bytes).substr(start); }
};

TextBytes Classify(GMimeObject* part) {
  TextBytes text{ContentBytes(part)};
  const std::string& bytes = text.bytes;
  if (bytes.starts_with("\xEF\xBB\xBF")) return text.start = 3, text.reading = Reading::Utf8, std::move(text);
  if (bytes.starts_with("\xFF\xFE")) return text.start = 2, text.reading = Reading::Utf16LittleEndian, std::move(text);
  if (bytes.starts_with("\xFE\xFF")) return text.start = 2, text.reading = Reading::Utf16BigEndian, std::move(text);
  const char* declared = g_mime_content_type_get_parameter(g_mime_object_get_content_type(part), "charset");
  std::string charset = declared ? declared : "";
  if (charset.empty() && IsType(part, "text", "html")) charset = MetaCharset(bytes);
  for (char& c : charset) c = static_cast<char>(g_ascii_tolower(c));
  if (charset.empty() || charset == "utf-8" || charset == "utf8" || charset == "us-ascii" || charset == "ascii")
    text.reading = Reading::Utf8OrWindows1252;
  else if (charset == "utf-16" || charset == "utf16" || charset == "ucs-2" || charset == "utf-16be")
    text.reading = Reading::Utf16BigEndian;
  else if (charset == "utf-16le")
    text.reading = Reading::Utf16LittleEndian;
  else if (charset == "windows-1252" || charset == "cp1252" || charset == "iso-8859-1" || charset == "latin1")
    text.reading = Reading::Windows1252;  // what mail programs read for Latin-1 as well
  else
    text.reading = Reading::Converted, text.charset = std::move(charset);
  return text;
}

std::u16string Read(const TextBytes& text, const std::function<void(std::string)>& note) {
  const std::string_view bytes = text.Content();
  switch (text.reading) {
    case Reading::Utf8: return FromUtf8(bytes);
    case Reading::Utf8OrWindows1252: return FromWindows1252OrUtf8(bytes);
    case Reading::Utf16BigEndian: return FromUtf16(bytes, true);
    case Reading::Utf16LittleEndian: return FromUtf16(bytes, false);
    case Reading::Windows1252: return FromWindows1252(bytes);
    case Reading::Converted: break;
  }
  GError* error = nullptr;
  gsize written = 0;
  gchar* converted = g_convert_with_fallback(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                             text.charset.c_str(), "?", nullptr, &written, &error);
  if (!converted) {
    if (error) g_error_free(error);
    if (note) note("Zeichensatz \u201E" + text.charset + "\u201C unbekannt, als Windows-1252 gelesen");
    return FromWindows1252(bytes);
  }
  std::u16string out = FromUtf8(std::string_view(converted, written));
  g_free(converted);
  return out;
}

}  // namespace

// A text part's characters as a reader's mail program reads them: a byte
// order mark first, then the MIME charset ("utf-16" without a mark is
// big-endian), then for HTML the charset of its <meta>; without any, UTF-8
// where the bytes are that, else windows-1252. A charset nobody knows is
// read as windows-1252 and named through note. A NUL byte is a character
// like any other.
std::u16string ReadText(GMimeObject* part, const std::function<void(std::string)>& note) {
  return Read(Classify(part), note);
}

std::string ReadTextUtf8(GMimeObject* part, const std::function<void(std::string)>& note) {
  TextBytes text = Classify(part);
  // Most texts are UTF-8 already: no way through UTF-16 and back for them.
  if ((text.reading == Reading::Utf8 || text.reading == Reading::Utf8OrWindows1252) && IsUtf8(text.Content()))
    return text.bytes.erase(0, text.start), std::move(text.bytes);
  return ToUtf8(Read(text, note));
}

// The alternative a reader shows: the last part it can show (a calendar
// part beside the texts of an invitation is no body).
GMimeObject* Richest(GMimeMultipart* alternative) {
  GMimeObject* richest = nullptr;
  for (int i = 0; i < g_mime_multipart_get_count(alternative); ++i) {
    GMimeObject* child = g_mime_multipart_get_part(alternative, i);
    if (IsType(child, "text", "plain") || IsType(child, "text", "html") || GMIME_IS_MULTIPART(child)) richest = child;
  }
  return richest;
}

namespace {

// The parts a reader does not see, as a walk (parents before children)
// meets them: the alternatives other than the richest, and what lies in
// them. True for a part that is hidden.
bool Hidden(std::set<GMimeObject*>& hidden, GMimeObject* parent, GMimeObject* part) {
  const bool inside = (parent && hidden.count(parent)) || hidden.count(part);
  if (inside) hidden.insert(part);
  if (IsType(part, "multipart", "alternative") && GMIME_IS_MULTIPART(part)) {
    GMimeMultipart* alternative = GMIME_MULTIPART(part);
    GMimeObject* richest = Richest(alternative);
    for (int i = 0; i < g_mime_multipart_get_count(alternative); ++i)
      if (GMimeObject* child = g_mime_multipart_get_part(alternative, i); child != richest) hidden.insert(child);
  }
  return inside;
}

// What the parts of a message say about it, gathered in one walk.
struct Structure {
  bool html = false, attachedMessage = false;
  bool rawMultipart = false;  // a multipart without boundary inside another
  std::int32_t security = 0;
  std::set<GMimeObject*> hidden;
};

void Inspect(GMimeObject* parent, GMimeObject* part, gpointer data) {
  auto& s = *static_cast<Structure*>(data);
  const bool hidden = Hidden(s.hidden, parent, part);
  s.attachedMessage = s.attachedMessage || GMIME_IS_MESSAGE_PART(part);
  if (parent && GMIME_IS_MULTIPART(parent) && GMIME_IS_MULTIPART(part) &&
      !g_mime_content_type_get_parameter(g_mime_object_get_content_type(part), "boundary"))
    s.rawMultipart = true;
  if (GMIME_IS_MULTIPART_SIGNED(part)) s.security |= SECFLAG_SIGNED;
  if (GMIME_IS_APPLICATION_PKCS7_MIME(part)) {
    const auto type = g_mime_application_pkcs7_mime_get_smime_type(GMIME_APPLICATION_PKCS7_MIME(part));
    s.security |= type == GMIME_SECURE_MIME_TYPE_ENVELOPED_DATA ? SECFLAG_ENCRYPTED : SECFLAG_SIGNED;
  }
  const char* disposition = g_mime_object_get_disposition(part);
  if (IsType(part, "text", "html") && !EqualsIgnoringCase(disposition, "attachment") && !hidden) s.html = true;
}

// Reads bodies, pictures and attachments into the item. Every text part a
// reader sees is body: of a multipart/alternative only the richest part
// (the last one a reader can show), of every other multipart each inline
// text in its order. The first HTML part gives the document; the other
// texts join it where they stand, a plain text as its own paragraphs.
struct ContentReader {
  Sim::SimItem& item;
  const std::function<void(std::string)>& note;
  std::set<GMimeObject*> hidden;  // alternatives a reader does not show, and what lies inside them
  struct Piece {
    bool html;
    std::u16string text;
  };
  std::vector<Piece> pieces;
  std::u16string alternativePlain;  // the plain alternative to an HTML body
  std::string rawContent;           // the message's bytes after its header
  std::shared_ptr<const std::string> message;  // all of the message's bytes
  std::shared_ptr<const MatchedBreaks> breaks;  // what was parsed, where it differs from them
  int pictures = 0, unnamed = 0;
};

void ReadPart(GMimeObject* parent, GMimeObject* part, gpointer data) {
  auto& r = *static_cast<ContentReader*>(data);
  const bool hidden = Hidden(r.hidden, parent, part);
  if (GMIME_IS_MULTIPART(part)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(part);
    // Without a boundary a multipart has no parts: its raw content is all
    // the text there is, and it must not be lost (the message's own bytes,
    // where the multipart is the message: they may hold a NUL).
    const char* boundary = g_mime_content_type_get_parameter(g_mime_object_get_content_type(part), "boundary");
    const char* raw = g_mime_multipart_get_prologue(multipart);
    if (g_mime_multipart_get_count(multipart) == 0 && !boundary && !hidden) {
      // The bytes as they stand, where they are known: the prologue ends at a NUL.
      std::string standing;
      if (parent && GMIME_IS_MULTIPART(parent) && r.message)
        standing = StandingContent(part, parent, r.breaks ? std::string_view(r.breaks->bytes) : std::string_view(*r.message));
      if (parent && GMIME_IS_MESSAGE(parent) && !r.rawContent.empty()) r.pieces.push_back({false, FromWindows1252OrUtf8(r.rawContent)});
      else if (!standing.empty()) r.pieces.push_back({false, FromWindows1252OrUtf8(standing)});
      else if (raw) r.pieces.push_back({false, Utf16(raw)});
    }
    return;
  }
  const bool attachment = EqualsIgnoringCase(g_mime_object_get_disposition(part), "attachment");
  const bool html = IsType(part, "text", "html"), plain = IsType(part, "text", "plain");
  if (!attachment && GMIME_IS_PART(part) && (html || plain)) {
    if (!hidden) r.pieces.push_back({html, ReadText(part, r.note)});
    else if (plain && r.alternativePlain.empty()) r.alternativePlain = ReadText(part, r.note);
    return;
  }
  const char* id = g_mime_object_get_content_id(part);
  const char* name = GMIME_IS_PART(part) ? g_mime_part_get_filename(GMIME_PART(part)) : nullptr;
  if (GMIME_IS_MESSAGE_PART(part)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    const char* subject = inner ? g_mime_message_get_subject(inner) : nullptr;
    std::string bytes = OriginalBytes(inner, parent, r.message, r.breaks.get());
    if (bytes.empty()) bytes = ContentBytes(part);
    r.item.AddAttachment(Utf16(subject && *subject ? subject : "Nachricht") + u".eml", std::move(bytes), olEmbeddeditem);
    return;
  }
  // Outlook keeps every part's content id; whether the body uses it decides
  // if the part is a picture of the body.
  // A signature and an invitation keep the names their readers give them.
  const char* given = ReaderFileName(part);
  const std::u16string file = name ? Utf16(name)
                              : given ? Utf16(given)
                              : id && IsType(part, "image", "*") ? u"bild" + FromUtf8(std::to_string(++r.pictures))
                                                                  : u"Anhang" + FromUtf8(std::to_string(++r.unnamed));
  if (id && *id) r.item.AddInlinePicture(file, ContentBytes(part), Utf16(id));
  else r.item.AddAttachment(file, ContentBytes(part));
}

// A plain text as HTML paragraphs: its blank lines part them, its other
// line breaks stay.
std::u16string PlainParagraphs(std::u16string_view text) {
  std::u16string out = u"<p>";
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\r': break;
      case u'\n': out += u"<br>\r\n"; break;
      default: out += c;
    }
  }
  return out + u"</p>\r\n";
}

// Joins the body's pieces into the item's HTML and plain bodies.
void JoinBody(ContentReader& r) {
  std::u16string plain;
  for (const auto& piece : r.pieces)
    if (!piece.html) plain += (plain.empty() ? u"" : u"\r\n\r\n") + piece.text;
  r.item.body = plain.empty() ? r.alternativePlain : plain;
  const auto first = std::find_if(r.pieces.begin(), r.pieces.end(), [](const auto& p) { return p.html; });
  if (first == r.pieces.end()) return;
  std::u16string before, after;
  for (auto it = r.pieces.begin(); it != r.pieces.end(); ++it) {
    if (it == first) continue;
    std::u16string& side = it < first ? before : after;
    side += it->html ? it->text : PlainParagraphs(it->text);
  }
  std::u16string html = first->text;
  std::u16string lower = html;
  for (char16_t& c : lower)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c | 0x20);
  const std::size_t body = lower.find(u"<body");
  const std::size_t open = body == std::u16string::npos ? std::u16string::npos : lower.find(u'>', body);
  const std::size_t close = lower.rfind(u"</body>");
  if (!after.empty()) html.insert(close == std::u16string::npos ? html.size() : close, after);
  if (!before.empty()) html.insert(open == std::u16string::npos ? 0 : open + 1, before);
  r.item.htmlBody = html;
}

std::shared_ptr<GMimeMessage> Parse(std::string_view bytes) {
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  g_object_unref(stream);
  auto message = Owned(g_mime_parser_construct_message(parser, nullptr));
  g_object_unref(parser);
  return message;
}

// The boundaries of every multipart, those of attached messages too.
void Boundaries(GMimeObject* part, int depth, std::vector<std::string>& out) {
  if (!part || depth > 64) return;
  if (GMIME_IS_MESSAGE_PART(part)) {
    if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part)))
      Boundaries(g_mime_message_get_mime_part(inner), depth + 1, out);
    return;
  }
  if (!GMIME_IS_MULTIPART(part)) return;
  // Not g_mime_multipart_get_boundary: that makes one up where none is.
  if (const char* boundary = g_mime_content_type_get_parameter(g_mime_object_get_content_type(part), "boundary"))
    out.push_back(boundary);
  for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(part)); ++i)
    Boundaries(g_mime_multipart_get_part(GMIME_MULTIPART(part), i), depth + 1, out);
}

}  // namespace

ParsedMessage ParseMessage(std::string_view given) {
  InitGMime();
  ParsedMessage parsed;
  if (given.empty()) return parsed;
  // A last delimiter line without a line break leaves a CR in the part
  // before it: the message is parsed as if that line ended.
  std::string ended;
  std::string_view bytes = given;
  const std::size_t lastLine = given.rfind('\n') == std::string_view::npos ? 0 : given.rfind('\n') + 1;
  if (given.back() != '\n' && given.substr(lastLine).starts_with("--")) {
    ended.reserve(given.size() + 2);
    ended.append(given).append(given.find("\r\n") != std::string_view::npos ? "\r\n" : "\n");
    bytes = ended;
  }
  parsed.message = Parse(bytes);
  // A message whose delimiter lines end otherwise than the lines before
  // them is parsed again with matching breaks: no part loses a byte.
  if (!parsed.message) return parsed;
  std::vector<std::string> boundaries;
  Boundaries(g_mime_message_get_mime_part(parsed.message.get()), 0, boundaries);
  if (auto matched = MatchDelimiterBreaks(bytes, boundaries)) {
    parsed.breaks = std::make_shared<const MatchedBreaks>(std::move(*matched));
    parsed.message = Parse(parsed.breaks->bytes);
  }
  return parsed;
}

std::shared_ptr<Sim::SimItem> MakeItem(const std::shared_ptr<Sim::SimWorld>& world, std::string bytes,
                                       std::u16string entryId, FolderRole role,
                                       const std::shared_ptr<Sim::SimFolder>& folder, bool* corruptOut,
                                       std::function<void(std::string)> note) {
  ParsedMessage parsed = ParseMessage(bytes);
  std::shared_ptr<GMimeMessage> message = std::move(parsed.message);
  std::shared_ptr<const MatchedBreaks> breaks = std::move(parsed.breaks);
  if (!message || !LooksLikeMail(message.get())) {
    auto corrupt = std::make_shared<Sim::SimItem>(world, Sim::ItemKind::Mail, std::move(entryId), u"");
    corrupt->Build(folder);
    corrupt->FailEverything(kCorruptData);
    if (corruptOut) *corruptOut = true;
    return corrupt;
  }
  Structure structure;
  g_mime_message_foreach(message.get(), &Inspect, &structure);
  Sim::ItemKind kind = Sim::ItemKind::Mail;
  if (role == FolderRole::Calendar) kind = Sim::ItemKind::Appointment;
  else if (role == FolderRole::Contacts) kind = Sim::ItemKind::Contact;
  else if (role == FolderRole::Tasks) kind = Sim::ItemKind::Task;

  GMimeObject* object = GMIME_OBJECT(message.get());
  auto item = std::make_shared<Sim::SimItem>(world, kind, std::move(entryId), Utf16(g_mime_message_get_subject(message.get())));
  item->Build(folder);
  InternetAddressList* from = g_mime_message_get_from(message.get());
  InternetAddressList* sender = g_mime_message_get_sender(message.get());
  item->sentOnBehalfOfName = Display(from);
  item->senderName = sender && internet_address_list_length(sender) > 0 ? Display(sender) : item->sentOnBehalfOfName;
  item->senderEmailAddress = FirstAddress(sender && internet_address_list_length(sender) > 0 ? sender : from);
  item->to = Display(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO));
  item->cc = Display(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_CC));
  item->bcc = Display(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_BCC));
  const bool outgoing = role == FolderRole::Sent || role == FolderRole::Drafts;
  item->receivedByName = outgoing ? u"" : !item->to.empty() ? item->to.substr(0, item->to.find(u';'))
                                          : !item->cc.empty() ? item->cc.substr(0, item->cc.find(u';')) : u"Empfänger";
  const GDateTime* date = g_mime_message_get_date(message.get());
  const double sent = date ? OleDate(g_date_time_to_unix(const_cast<GDateTime*>(date)))
                           : HeaderDate(g_mime_object_get_header(object, "Date")).value_or(0.0);
  item->sentOn = item->creationTime = sent;
  const char* received = g_mime_object_get_header(object, "Received");
  const char* semicolon = received ? std::strrchr(received, ';') : nullptr;
  item->receivedTime = HeaderDate(semicolon ? semicolon + 1 : nullptr).value_or(sent);
  item->importance = ImportanceOf(object);
  item->size = static_cast<std::int32_t>(std::min<std::size_t>(bytes.size(), 0x7FFFFFFF));
  item->securityFlags = structure.security;
  item->bodyFormat = structure.html ? olFormatHTML : olFormatPlain;
  if (role == FolderRole::Drafts || EqualsIgnoringCase(g_mime_object_get_header(object, "X-Unsent"), "1"))
    item->sent = item->submitted = false, item->receivedByName.clear();
  item->htmlBody.clear();
  item->body.clear();
  // The bytes after the message's header, for a message that is a
  // multipart without boundary.
  std::string raw;
  if (const char* boundary = g_mime_content_type_get_parameter(g_mime_object_get_content_type(
          g_mime_message_get_mime_part(message.get()) ? g_mime_message_get_mime_part(message.get()) : object), "boundary");
      !boundary && g_mime_message_get_mime_part(message.get()) &&
      GMIME_IS_MULTIPART(g_mime_message_get_mime_part(message.get()))) {
    const std::size_t crlf = bytes.find("\r\n\r\n"), lf = bytes.find("\n\n");
    const std::size_t end = std::min(crlf == std::string::npos ? bytes.size() : crlf + 4, lf == std::string::npos ? bytes.size() : lf + 2);
    raw = bytes.substr(std::min(end, bytes.size()));
  }
  // Attached messages are taken from the bytes as they stand.
  auto original = structure.attachedMessage || structure.rawMultipart ? std::make_shared<const std::string>(bytes) : nullptr;
  item->SetContentLoader([message, note, raw = std::move(raw), original, breaks](Sim::SimItem& target) {
    ContentReader reader{target, note, {}, {}, {}, raw, original, original ? breaks : nullptr};
    g_mime_message_foreach(message.get(), &ReadPart, &reader);
    JoinBody(reader);
  });
  return item;
}

}  // namespace CV::MailStore
