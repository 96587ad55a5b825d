#include "cli/container_content.h"

#include <gmime/gmime.h>

#include <map>
#include <memory>
#include <mutex>

#include "archive/fill_mail_archive_job.h"
#include "components/container/manifest.h"
#include "components/container/mime_message.h"
#include "foundation/utf.h"

namespace CV::Cli {
namespace {

template <class T>
using GPtr = std::unique_ptr<T, decltype(&g_object_unref)>;

// The header block of a member: what comes before the first empty line,
// read piece by piece and never more than a megabyte.
std::string HeaderBlock(Components::ZipReader& zip, const Components::ZipReader::Entry& entry) {
  constexpr std::size_t kLimit = 1 << 20;
  std::string head;
  const auto member = zip.Open(entry);
  char buffer[16 * 1024];
  while (head.size() < kLimit) {
    const std::size_t n = member->Read(buffer, sizeof buffer);
    if (n == 0) break;
    head.append(buffer, n);
    if (const std::size_t end = head.find("\r\n\r\n"); end != std::string::npos) return head.substr(0, end + 2);
  }
  return head;
}

std::string Text(const char* text) { return text ? text : ""; }

// The display text of a field the writer wrote as one group without members.
std::string GroupName(InternetAddressList* list) {
  if (!list || internet_address_list_length(list) != 1) return "";
  return Text(internet_address_get_name(internet_address_list_get_address(list, 0)));
}

// The moment of an ISO 8601 text and of the message's Date, compared with
// their offsets.
bool SameMoment(GDateTime* message, const std::optional<std::string>& manifest) {
  if (!manifest) return message == nullptr;
  if (!message) return false;
  GDateTime* expected = g_date_time_new_from_iso8601(manifest->c_str(), nullptr);
  if (!expected) return false;
  const bool same = g_date_time_to_unix(expected) == g_date_time_to_unix(message) &&
                    g_date_time_get_utc_offset(expected) == g_date_time_get_utc_offset(message);
  g_date_time_unref(expected);
  return same;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

class Checker {
 public:
  Checker(Components::ZipReader& zip, std::vector<std::string>& problems) : m_zip(zip), m_problems(problems) {}

  void Mail(const Components::ManifestMail& mail) {
    ++m_mails;
    if (const auto it = mail.fields.find("size"); it != mail.fields.end() && it->second.is_number_integer())
      m_size += it->second.get<std::int64_t>();
    const auto member = mail.Text("member");
    const Components::ZipReader::Entry* entry = member ? m_zip.Find(*member) : nullptr;
    if (!entry) return;  // the format's check names it
    const std::string& name = *member;
    if (const auto folder = mail.Text("folder")) {
      const std::string prefix = "mails/" + Components::MemberFolder(FromUtf8(*folder)) + "/";
      if (!name.starts_with(prefix) || name.find('/', prefix.size()) != std::string::npos)
        Problem(name + ": lies elsewhere than its folder " + Quoted(*folder) + " says");
    }
    std::string head;
    try {
      head = HeaderBlock(m_zip, *entry);
    } catch (const Components::ZipError&) {
      return;  // the check of the member's bytes names it
    }
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(head.data(), head.size()), g_object_unref);
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()), g_object_unref);
    GMimeMessage* parsed = g_mime_parser_construct_message(parser.get(), nullptr);
    if (!parsed) {
      Problem(name + ": no message header");
      return;
    }
    GPtr<GMimeMessage> message(parsed, g_object_unref);
    const auto compare = [&](const char* field, const char* what, const std::string& found) {
      const auto expected = mail.Text(field);
      if (expected && *expected != found)
        Problem(name + ": the " + what + " is " + Quoted(found) + ", the manifest says " + Quoted(*expected));
    };
    compare("subject", "subject", Text(g_mime_message_get_subject(message.get())));
    compare("from", "sender", GroupName(g_mime_message_get_from(message.get())));
    const char* raw = g_mime_object_get_header(GMIME_OBJECT(message.get()), "X-Corvane-EntryID");
    char* entryId = raw ? g_mime_utils_header_decode_text(nullptr, raw) : nullptr;
    compare("entryId", "EntryID", Text(entryId));
    g_free(entryId);
    if (const auto it = mail.fields.find("date"); it != mail.fields.end() && (it->second.is_string() || it->second.is_null())) {
      GDateTime* date = g_mime_message_get_date(message.get());
      const std::optional<std::string> expected = mail.Text("date");
      if (!SameMoment(date, expected)) {
        char* found = date ? g_date_time_format_iso8601(date) : nullptr;
        Problem(name + ": the date is " + (found ? Quoted(found) : std::string("missing")) + ", the manifest says " +
                (expected ? Quoted(*expected) : std::string("none")));
        g_free(found);
      }
    }
  }

  // "Anzahl der Mails" and "Gesamtgröße der Mails", where they are written,
  // against the mails the manifest lists.
  void Properties(const Components::ManifestHead& head) {
    for (const auto& [name, value] : head.properties) {
      if (!name || !value) continue;
      if (*name == "Anzahl der Mails" && *value != std::to_string(m_mails))
        Problem("\"Anzahl der Mails\" says " + *value + ", the container holds " + std::to_string(m_mails));
      if (*name == "Gesamtgröße der Mails" && *value != ToUtf8(FormatSize(m_size)))
        Problem("\"Gesamtgröße der Mails\" says " + *value + ", its mails come to " + ToUtf8(FormatSize(m_size)));
    }
  }

  void Problem(std::string text) {
    if (m_problems.size() < 10000) m_problems.push_back(std::move(text));
  }

 private:
  Components::ZipReader& m_zip;
  std::vector<std::string>& m_problems;
  std::uint64_t m_mails = 0;
  std::int64_t m_size = 0;
};

// A name as a file system sees it that ignores case and normalisation.
std::string Folded(const std::string& name) {
  gchar* composed = g_utf8_normalize(name.c_str(), static_cast<gssize>(name.size()), G_NORMALIZE_NFC);
  if (!composed) return name;  // no UTF-8: compared as it is
  gchar* folded = g_utf8_casefold(composed, -1);
  gchar* again = g_utf8_normalize(folded, -1, G_NORMALIZE_NFC);
  std::string out = again ? again : folded;
  g_free(again), g_free(folded), g_free(composed);
  return out;
}

}  // namespace

std::vector<std::string> CheckContent(Components::ZipReader& zip) {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
  std::vector<std::string> problems;
  std::map<std::string, std::string> names;  // folded -> the first name
  for (const auto& entry : zip.Entries()) {
    const auto [it, fresh] = names.emplace(Folded(entry.name), entry.name);
    if (!fresh && it->second != entry.name)
      problems.push_back(entry.name + ": the same file as " + it->second + " where case or normalisation do not count");
  }
  const Components::ZipReader::Entry* manifest = zip.Find("manifest.json");
  if (!manifest) return problems;
  Checker checker(zip, problems);
  std::vector<std::string> ignored;  // the format's check reports the manifest's own problems
  try {
    const Components::ManifestHead head = Components::ReadManifest(
        zip, *manifest, [&](std::uint64_t, const Components::ManifestMail& mail, const Components::ManifestHead&) {
          checker.Mail(mail);
        },
        ignored);
    checker.Properties(head);
  } catch (const std::exception&) {
    // A manifest that cannot be read is the format check's difference to name.
  }
  return problems;
}

}  // namespace CV::Cli
