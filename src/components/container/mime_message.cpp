#include "components/container/mime_message.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "foundation/calendar.h"
#include "foundation/com_error.h"
#include "foundation/hresult.h"
#include "foundation/local_time.h"
#include "foundation/utf.h"

namespace CV::Components {
namespace {

constexpr char kMixed[] = "=_cv_mixed_0";
constexpr char kRelated[] = "=_cv_related_0";
constexpr std::size_t kBase64Line = 76;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Appends the base64 of bytes to out.
void AppendBase64(std::string_view bytes, std::string& out) {
  const std::size_t at = out.size();
  out.resize(at + (bytes.size() + 2) / 3 * 4);
  char* o = out.data() + at;
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3, o += 4) {
    const unsigned v = in[i] << 16 | in[i + 1] << 8 | in[i + 2];
    o[0] = kAlphabet[v >> 18], o[1] = kAlphabet[v >> 12 & 63], o[2] = kAlphabet[v >> 6 & 63], o[3] = kAlphabet[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = in[i] << 16;
    if (i + 1 < bytes.size()) v |= in[i + 1] << 8;
    o[0] = kAlphabet[v >> 18], o[1] = kAlphabet[v >> 12 & 63];
    o[2] = i + 1 < bytes.size() ? kAlphabet[v >> 6 & 63] : '=';
    o[3] = '=';
  }
}

std::string Base64(std::string_view bytes) {
  std::string out;
  AppendBase64(bytes, out);
  return out;
}

// Streams bytes as base64 lines of 76 characters.
class Base64Lines {
 public:
  explicit Base64Lines(IByteSink& sink) : m_sink(sink) {}
  void Write(const char* data, std::size_t size) {
    while (size > 0) {
      const std::size_t take = std::min(size, kChunk - m_pending.size());
      m_pending.append(data, take);
      data += take, size -= take;
      if (m_pending.size() == kChunk) Flush();
    }
  }
  void Close() { Flush(); }

 private:
  static constexpr std::size_t kChunk = 57 * 1024;  // whole lines of 57 bytes each
  void Flush() {
    m_out.clear();
    m_out.reserve(m_pending.size() / 57 * 78 + 80);
    for (std::size_t i = 0; i < m_pending.size(); i += 57) {
      AppendBase64(std::string_view(m_pending).substr(i, 57), m_out);
      m_out += "\r\n";
    }
    m_sink.Write(m_out);
    m_pending.clear();
  }
  IByteSink& m_sink;
  std::string m_pending, m_out;
};

bool IsPrintableAscii(std::u16string_view text) {
  for (char16_t c : text)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

// Splits UTF-8 into pieces of at most n bytes, never inside a character,
// and where it can of a length divisible by 3: their base64 then needs no
// padding, which some readers cannot take inside a run of encoded words.
std::vector<std::string> Pieces(const std::string& utf8, std::size_t n) {
  const auto boundary = [&](std::size_t at) {
    return at >= utf8.size() || (static_cast<unsigned char>(utf8[at]) & 0xC0) != 0x80;
  };
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start < utf8.size()) {
    std::size_t end = std::min(utf8.size(), start + n);
    if (end < utf8.size()) {
      std::size_t aligned = end - (end - start) % 3;
      while (aligned > start + n / 2 && !boundary(aligned)) aligned -= 3;
      if (aligned > start + n / 2) end = aligned;
      else
        while (end > start + 1 && !boundary(end)) --end;
    }
    pieces.push_back(utf8.substr(start, end - start));
    start = end;
  }
  return pieces;
}

struct Civil {
  long long year;
  int month, day, hour, minute, second;
};

std::optional<Civil> FromOleDate(double oleDate) {
  if (!std::isfinite(oleDate) || std::fabs(oleDate) > 2958465.0) return std::nullopt;  // beyond 9999-12-31
  const long long total = std::llround(oleDate * 86400.0);
  long long days = total / 86400, seconds = total % 86400;
  if (seconds < 0) seconds += 86400, --days;
  const CivilDate date = CivilFromDays(days - kOleDaysAt1970);
  Civil c{};
  c.year = date.year, c.month = date.month, c.day = date.day;
  c.hour = static_cast<int>(seconds / 3600), c.minute = static_cast<int>(seconds / 60 % 60);
  c.second = static_cast<int>(seconds % 60);
  return c;
}

// The offset from UTC, in minutes, of a local wall-clock time.
std::optional<long> LocalOffsetMinutes(const Civil& c, int& weekday) {
  const auto offset = LocalOffsetOfWallClock(c.year, c.month, c.day, c.hour, c.minute, c.second);
  if (!offset) return std::nullopt;
  weekday = offset->weekday;
  return offset->minutes;
}

bool IsAttrChar(unsigned char c) {
  return std::isalnum(c) || std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string Percent(unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string{'%', kHex[c >> 4], kHex[c & 15]};
}

// RFC 2231 parameter with continuations, each line short.
std::string ExtendedParameter(const std::string& name, std::u16string_view value) {
  std::vector<std::string> chunks(1);
  for (unsigned char c : ToUtf8(value)) {
    std::string piece = IsAttrChar(c) ? std::string(1, static_cast<char>(c)) : Percent(c);
    if (chunks.back().size() + piece.size() > 60) chunks.emplace_back();
    chunks.back() += piece;
  }
  if (chunks.size() == 1) return name + "*=UTF-8''" + chunks[0];
  std::string out;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    if (i) out += ";\r\n ";
    out += name + "*" + std::to_string(i) + "*=" + (i == 0 ? "UTF-8''" : "") + chunks[i];
  }
  return out;
}

std::u16string FileNameOf(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// The error of a file that cannot be read, naming it.
[[noreturn]] void ThrowFileError(std::int32_t error, const std::u16string& path) {
  throw ComError(HResultFromWin32(error), {}, ErrorInfo{Guid{}, u"", path});
}

// Streams a file as a base64 part body; false when it cannot be opened
// (the error in error).
bool WriteFileBase64(FS::IFileSystem& fs, const std::u16string& path, IByteSink& sink, const std::string& headers,
                     std::int32_t& error) {
  std::unique_ptr<FS::IReadableFile> file;
  if ((error = fs.OpenForReading(path, file)) != 0) return false;
  sink.Write(headers);
  Base64Lines lines(sink);
  std::vector<std::uint8_t> buffer(256 * 1024);
  for (;;) {
    std::size_t read = 0;
    if (const std::int32_t failed = file->Read(buffer, read)) ThrowFileError(failed, path);
    if (read == 0) break;
    lines.Write(reinterpret_cast<const char*>(buffer.data()), read);
  }
  lines.Close();
  return true;
}

std::uint64_t FileSize(FS::IFileSystem& fs, const std::u16string& path) {
  std::unique_ptr<FS::IReadableFile> file;
  return fs.OpenForReading(path, file) == 0 ? file->Size() : 0;
}

std::uint64_t Base64Bound(std::uint64_t bytes) { return bytes / 57 * 78 + 80; }

}  // namespace

std::string EncodedWords(std::u16string_view text) {
  std::string out;
  for (const std::string& piece : Pieces(ToUtf8(text), 45)) {
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(piece) + "?=";
  }
  return out;
}

std::string DisplayGroup(std::u16string_view text) {
  if (IsPrintableAscii(text) && text.size() < 900) {
    std::string quoted = "\"";
    for (char16_t c : text) {
      if (c == u'"' || c == u'\\') quoted += '\\';
      quoted += static_cast<char>(c);
    }
    return quoted + "\": ;";
  }
  // Encoded words of at most 75 characters (45 bytes of text). Readers of a
  // display name put one blank between two words, so a name is cut where it
  // has a single blank between two words (the blank itself left out), and
  // inside a run without one only where the run alone is too long.
  constexpr std::size_t kWordBytes = 45;
  const std::string utf8 = ToUtf8(text);
  const auto singleBlank = [&](std::size_t at) {
    return utf8[at] == ' ' && at > 0 && utf8[at - 1] != ' ' && at + 1 < utf8.size() && utf8[at + 1] != ' ';
  };
  std::string out;
  std::size_t start = 0;
  while (start < utf8.size()) {
    std::size_t end = utf8.size(), next = end;
    if (end - start > kWordBytes) {
      std::size_t blank = start + kWordBytes;
      while (blank > start && !singleBlank(blank)) --blank;
      if (blank > start) {
        end = blank, next = blank + 1;
      } else {
        end = next = start + Pieces(utf8.substr(start, kWordBytes + 4), kWordBytes).front().size();
      }
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(std::string_view(utf8).substr(start, end - start)) + "?=";
    start = next;
  }
  return out + " : ;";
}

std::string UnstructuredText(std::u16string_view text) {
  const bool plain = IsPrintableAscii(text) && text.size() < 900 && !text.empty() && text.front() != u' ' &&
                     text.back() != u' ' && text.find(u"=?") == std::u16string_view::npos;
  return plain ? ToUtf8(text) : EncodedWords(text);
}

std::optional<std::string> RfcDate(double oleDate) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto c = FromOleDate(oleDate);
  int weekday = 0;
  const auto offset = c ? LocalOffsetMinutes(*c, weekday) : std::nullopt;
  if (!offset) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04lld %02d:%02d:%02d %c%02ld%02ld", kDays[weekday], c->day,
                kMonths[c->month - 1], c->year, c->hour, c->minute, c->second, *offset < 0 ? '-' : '+',
                std::labs(*offset) / 60, std::labs(*offset) % 60);
  return text;
}

std::optional<std::string> IsoDate(double oleDate) {
  const auto c = FromOleDate(oleDate);
  int weekday = 0;
  const auto offset = c ? LocalOffsetMinutes(*c, weekday) : std::nullopt;
  if (!offset) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", c->year, c->month, c->day,
                c->hour, c->minute, c->second, *offset < 0 ? '-' : '+', std::labs(*offset) / 60,
                std::labs(*offset) % 60);
  return text;
}

std::string HtmlCharset(std::string_view html) {
  if (html.size() >= 2 && ((html[0] == '\xFF' && html[1] == '\xFE') || (html[0] == '\xFE' && html[1] == '\xFF')))
    return "utf-16";
  const std::string_view head = html.substr(0, 64 * 1024);
  for (std::size_t at = 0; at + 8 <= head.size(); ++at) {
    std::size_t k = 0;
    while (k < 8 && std::tolower(static_cast<unsigned char>(head[at + k])) == "charset="[k]) ++k;
    if (k < 8) continue;
    std::size_t start = at + 8;
    if (start < head.size() && (head[start] == '"' || head[start] == '\'')) ++start;
    std::size_t end = start;
    while (end < head.size() && (std::isalnum(static_cast<unsigned char>(head[end])) ||
                                 std::string_view("-_.:").find(head[end]) != std::string_view::npos))
      ++end;
    if (end > start) return std::string(head.substr(start, end - start));
  }
  return {};
}

std::string UrlPath(std::u16string_view relativePath) {
  std::string out;
  for (char16_t c : relativePath) {
    std::string bytes = c <= 0xFF ? std::string(1, static_cast<char>(c)) : ToUtf8(std::u16string(1, c));
    for (unsigned char b : bytes) {
      if (b == '\\' || b == '/') out += '/';
      else if (std::isalnum(b) || std::string_view("-._~").find(static_cast<char>(b)) != std::string_view::npos)
        out += static_cast<char>(b);
      else out += Percent(b);
    }
  }
  return out;
}

std::string ContentType(std::u16string_view fileName) {
  std::string extension;
  const std::size_t dot = fileName.rfind(u'.');
  if (dot != std::u16string_view::npos)
    for (char16_t c : fileName.substr(dot + 1)) extension += static_cast<char>(c < 0x80 ? std::tolower(c) : '?');
  static const std::pair<const char*, const char*> kTypes[] = {
      {"png", "image/png"},   {"jpg", "image/jpeg"},          {"jpeg", "image/jpeg"},     {"gif", "image/gif"},
      {"bmp", "image/bmp"},   {"tif", "image/tiff"},          {"tiff", "image/tiff"},     {"svg", "image/svg+xml"},
      {"pdf", "application/pdf"}, {"txt", "text/plain"},       {"htm", "text/html"},       {"html", "text/html"},
      {"xml", "application/xml"}, {"zip", "application/zip"},  {"ics", "text/calendar"},   {"css", "text/css"}};
  for (const auto& [ext, type] : kTypes)
    if (extension == ext) return type;
  return "application/octet-stream";
}

std::string MemberFolder(std::u16string_view folderPath) {
  std::string out;
  std::size_t start = 0;
  while (start <= folderPath.size()) {
    std::size_t end = folderPath.find(u'\\', start);
    if (end == std::u16string_view::npos) end = folderPath.size();
    const std::string name = ToUtf8(folderPath.substr(start, end - start));
    if (!out.empty() || start > 0) out += '/';
    if (name.empty()) out += '_';  // no empty segment: a mail without a folder path, or "a\\b"
    for (std::size_t i = 0; i < name.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(name[i]);
      const bool edge = (i == 0 || i + 1 == name.size()) && (c == '.' || c == ' ');
      if (c == '%' || c == '/' || c < 0x20 || std::string_view("<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos || edge)
        out += Percent(c);
      else out += static_cast<char>(c);
    }
    start = end + 1;
  }
  return out;
}

std::uint64_t MessageSizeBound(const MailContent& mail, FS::IFileSystem& fs) {
  std::uint64_t bound = 64 * 1024 + 8 * (mail.from.size() + mail.to.size() + mail.cc.size() + mail.bcc.size() +
                                         mail.subject.size() + mail.entryId.size());
  if (mail.html) bound += Base64Bound(mail.html->size()) + 1024;
  for (const auto& r : mail.resources) bound += Base64Bound(FileSize(fs, r.fullPath)) + 2048 + 16 * r.relativePath.size();
  for (const auto& a : mail.attachments)
    bound += Base64Bound(FileSize(fs, a.path)) + 2048 + 16 * (a.path.size() + a.name.size());
  return bound;
}

void ComposeMessage(const MailContent& mail, FS::IFileSystem& fs, IByteSink& sink) {
  std::string headers;
  const auto field = [&](const char* name, std::u16string_view value, std::string (*encode)(std::u16string_view)) {
    if (!value.empty()) headers += std::string(name) + ": " + encode(value) + "\r\n";
  };
  field("From", mail.from, DisplayGroup);
  field("To", mail.to, DisplayGroup);
  field("Cc", mail.cc, DisplayGroup);
  field("Bcc", mail.bcc, DisplayGroup);
  headers += "Subject: " + (mail.subject.empty() ? std::string() : UnstructuredText(mail.subject)) + "\r\n";
  if (mail.date)
    if (const auto date = RfcDate(*mail.date)) headers += "Date: " + *date + "\r\n";
  if (!mail.entryId.empty()) headers += "X-Corvane-EntryID: " + UnstructuredText(mail.entryId) + "\r\n";
  headers += "MIME-Version: 1.0\r\n";

  if (!mail.html) {  // a repeat: the header fields and an empty text
    sink.Write(headers + "Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n");
    return;
  }
  const bool mixed = !mail.attachments.empty(), related = !mail.resources.empty();
  const std::string charset = HtmlCharset(*mail.html);
  const std::string htmlHeaders = "Content-Type: text/html" + (charset.empty() ? "" : "; charset=\"" + charset + "\"") +
                                  "\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  if (mixed) headers += "Content-Type: multipart/mixed; boundary=\"" + std::string(kMixed) + "\"\r\n\r\n--" + kMixed + "\r\n";
  if (related)
    headers += "Content-Type: multipart/related; type=\"text/html\"; boundary=\"" + std::string(kRelated) +
               "\"\r\n\r\n--" + kRelated + "\r\n";
  sink.Write(headers + htmlHeaders);
  Base64Lines html(sink);
  html.Write(mail.html->data(), mail.html->size());
  html.Close();
  if (related) {
    for (const auto& resource : mail.resources) {
      std::int32_t error = 0;
      if (!WriteFileBase64(fs, resource.fullPath, sink,
                           std::string("--") + kRelated + "\r\nContent-Type: " + ContentType(resource.relativePath) +
                               "\r\nContent-Transfer-Encoding: base64\r\nContent-Location: " +
                               UrlPath(resource.relativePath) + "\r\n\r\n",
                           error) &&
          error != Win32Error::FileNotFound && error != Win32Error::PathNotFound)
        ThrowFileError(error, resource.fullPath);
    }
    sink.Write(std::string("--") + kRelated + "--\r\n");
  }
  if (mixed) {
    for (const auto& attachment : mail.attachments) {
      const std::u16string name = attachment.name.empty() ? FileNameOf(attachment.path) : attachment.name;
      std::int32_t error = 0;
      if (!WriteFileBase64(fs, attachment.path, sink,
                           std::string("--") + kMixed + "\r\nContent-Type: " + ContentType(name) +
                               "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n " +
                               ExtendedParameter("filename", name) + "\r\n\r\n",
                           error))
        ThrowFileError(error, attachment.path);
    }
    sink.Write(std::string("--") + kMixed + "--\r\n");
  }
}

}  // namespace CV::Components
