// A message's bytes, parsed with GMime, as a simulated Outlook item with
// the fields Outlook shows.
#include <gmime/gmime.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <mutex>

#include "foundation/utf.h"
#include "mailstore/message_source.h"

namespace CV::MailStore {
namespace {

using namespace CV::Outlook;

constexpr HRESULT MAPI_E_CORRUPT_DATA = MakeHResult(0x8004011Bu);
constexpr std::int32_t SECFLAG_ENCRYPTED = 1, SECFLAG_SIGNED = 2;

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

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
  long long y = t.tm_year + 1900, m = t.tm_mon + 1;
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.tm_mday - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = era * 146097 + doe - 719468 + 25569;  // days since 1899-12-30
  return static_cast<double>(days) + (t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec) / 86400.0;
}

std::optional<double> HeaderDate(const char* text) {
  if (!text) return std::nullopt;
  GDateTime* date = g_mime_utils_header_decode_date(text);
  if (!date) return std::nullopt;
  const double ole = OleDate(g_date_time_to_unix(date));
  g_date_time_unref(date);
  return ole;
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

std::u16string Text(GMimeObject* part) {
  char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
  std::u16string out = Utf16(text);
  g_free(text);
  return out;
}

// What the parts of a message say about it, gathered in one walk.
struct Structure {
  bool meetingRequest = false, html = false;
  std::int32_t security = 0;
};

void Inspect(GMimeObject*, GMimeObject* part, gpointer data) {
  auto& s = *static_cast<Structure*>(data);
  if (GMIME_IS_MULTIPART_SIGNED(part)) s.security |= SECFLAG_SIGNED;
  if (GMIME_IS_APPLICATION_PKCS7_MIME(part)) {
    const auto type = g_mime_application_pkcs7_mime_get_smime_type(GMIME_APPLICATION_PKCS7_MIME(part));
    s.security |= type == GMIME_SECURE_MIME_TYPE_ENVELOPED_DATA ? SECFLAG_ENCRYPTED : SECFLAG_SIGNED;
  }
  if (IsType(part, "text", "calendar") &&
      EqualsIgnoringCase(g_mime_content_type_get_parameter(g_mime_object_get_content_type(part), "method"), "REQUEST"))
    s.meetingRequest = true;
  const char* disposition = g_mime_object_get_disposition(part);
  if (IsType(part, "text", "html") && !EqualsIgnoringCase(disposition, "attachment")) s.html = true;
}

// Reads bodies, pictures and attachments into the item.
struct ContentReader {
  Sim::SimItem& item;
  bool haveHtml = false, havePlain = false;
  int pictures = 0, unnamed = 0;
};

void ReadPart(GMimeObject*, GMimeObject* part, gpointer data) {
  auto& r = *static_cast<ContentReader*>(data);
  if (GMIME_IS_MULTIPART(part)) {
    // Without a boundary a multipart has no parts: its raw content is all
    // the text there is, and it must not be lost.
    GMimeMultipart* multipart = GMIME_MULTIPART(part);
    const char* boundary = g_mime_content_type_get_parameter(g_mime_object_get_content_type(part), "boundary");
    const char* raw = g_mime_multipart_get_prologue(multipart);
    if (g_mime_multipart_get_count(multipart) == 0 && !boundary && raw && !r.havePlain) {
      r.item.body = Utf16(raw);
      r.havePlain = true;
    }
    return;
  }
  if (IsType(part, "application", "pkcs7-signature") || IsType(part, "application", "x-pkcs7-signature")) return;
  const bool attachment = EqualsIgnoringCase(g_mime_object_get_disposition(part), "attachment");
  if (!attachment && GMIME_IS_TEXT_PART(part)) {
    if (IsType(part, "text", "html") && !r.haveHtml) {
      r.item.htmlBody = Text(part);
      r.haveHtml = true;
      return;
    }
    if (IsType(part, "text", "plain") && !r.havePlain) {
      r.item.body = Text(part);
      r.havePlain = true;
      return;
    }
  }
  const char* id = g_mime_object_get_content_id(part);
  const char* name = GMIME_IS_PART(part) ? g_mime_part_get_filename(GMIME_PART(part)) : nullptr;
  if (GMIME_IS_MESSAGE_PART(part)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    const char* subject = inner ? g_mime_message_get_subject(inner) : nullptr;
    r.item.AddAttachment(Utf16(subject && *subject ? subject : "Nachricht") + u".eml", ContentBytes(part), olEmbeddeditem);
    return;
  }
  // Outlook keeps every part's content id; whether the body uses it decides
  // if the part is a picture of the body.
  const std::u16string file = name ? Utf16(name)
                              : id && IsType(part, "image", "*") ? u"bild" + FromUtf8(std::to_string(++r.pictures))
                                                                  : u"Anhang" + FromUtf8(std::to_string(++r.unnamed));
  if (id && *id) r.item.AddInlinePicture(file, ContentBytes(part), Utf16(id));
  else r.item.AddAttachment(file, ContentBytes(part));
}

}  // namespace

std::shared_ptr<Sim::SimItem> MakeItem(const std::shared_ptr<Sim::SimWorld>& world, std::string bytes,
                                       std::u16string entryId, FolderRole role,
                                       const std::shared_ptr<Sim::SimFolder>& folder, bool* corruptOut) {
  InitGMime();
  std::shared_ptr<GMimeMessage> message;
  if (!bytes.empty()) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_object_unref(stream);
    message = Owned(g_mime_parser_construct_message(parser, nullptr));
    g_object_unref(parser);
  }
  if (!message || !LooksLikeMail(message.get())) {
    auto corrupt = std::make_shared<Sim::SimItem>(world, Sim::ItemKind::Mail, std::move(entryId), u"");
    corrupt->Build(folder);
    corrupt->FailEverything(MAPI_E_CORRUPT_DATA);
    if (corruptOut) *corruptOut = true;
    return corrupt;
  }
  Structure structure;
  g_mime_message_foreach(message.get(), &Inspect, &structure);
  Sim::ItemKind kind = Sim::ItemKind::Mail;
  if (role == FolderRole::Calendar) kind = Sim::ItemKind::Appointment;
  else if (role == FolderRole::Contacts) kind = Sim::ItemKind::Contact;
  else if (role == FolderRole::Tasks) kind = Sim::ItemKind::Task;
  else if (structure.meetingRequest) kind = Sim::ItemKind::MeetingRequest;

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
  const double sent = date ? OleDate(g_date_time_to_unix(const_cast<GDateTime*>(date))) : 0.0;
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
  item->SetContentLoader([message](Sim::SimItem& target) {
    ContentReader reader{target};
    g_mime_message_foreach(message.get(), &ReadPart, &reader);
  });
  return item;
}

}  // namespace CV::MailStore
