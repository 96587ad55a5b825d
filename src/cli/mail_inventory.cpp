#include "cli/mail_inventory.h"

#include <gmime/gmime.h>

#include <set>
#include <stdexcept>
#include <unordered_set>

#include "cli/body_text.h"
#include "components/container/sha256.h"
#include "foundation/utf.h"
#include "mailstore/mime_reading.h"

namespace CV::Cli {
namespace {

using MailStore::ContentBytes;
using MailStore::IsType;

using Digest = Components::Sha256::Digest;

// Attached messages inside attached messages: deeper than this is no mail.
constexpr int kDepth = 32;

bool IsAttachment(GMimeObject* part) {
  const char* disposition = g_mime_object_get_disposition(part);
  return disposition && g_ascii_strcasecmp(disposition, "attachment") == 0;
}

Digest HashOf(std::string_view bytes) {
  Components::Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return hash.Final();
}

// What a reader sees of a text part.
std::string VisibleText(GMimeObject* part) {
  std::string text = MailStore::ReadTextUtf8(part);
  if (!IsType(part, "text", "html")) return text;
  std::string visible;
  VisibleHtmlText(text, [&](std::string_view line) { visible.append(line); });
  return visible;
}

std::string Label(GMimeObject* part) {
  const char* file = g_mime_part_get_filename(GMIME_PART(part));
  const char* id = g_mime_object_get_content_id(part);
  const bool picture = id && *id && IsType(part, "image", "*");
  std::string name = file && *file ? file : picture ? id : "";
  if (name.empty()) {
    if (const char* given = MailStore::ReaderFileName(part)) name = given;
    else if (id && *id) name = id;
    else {
      gchar* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part));
      name = type ? type : "";
      g_free(type);
    }
  }
  return std::string(picture ? "Bild" : "Anhang") + " \u201E" + name + "\u201C";
}

// The text of a multipart without parts: what stands before any boundary.
std::string PrologueOf(GMimeObject* part) {
  const char* prologue = g_mime_multipart_get_prologue(GMIME_MULTIPART(part));
  return prologue ? prologue : "";
}

bool HasBoundary(GMimeObject* part) {
  return g_mime_content_type_get_parameter(g_mime_object_get_content_type(part), "boundary") != nullptr;
}

// hidden: inside an alternative a reader does not show.
void Collect(GMimeObject* part, bool hidden, int depth, Inventory& inventory) {
  if (!part || depth > kDepth) return;
  if (GMIME_IS_MESSAGE_PART(part)) {
    if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part)))
      Collect(g_mime_message_get_mime_part(inner), false, depth + 1, inventory);
    return;
  }
  if (GMIME_IS_MULTIPART(part)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(part);
    const int count = g_mime_multipart_get_count(multipart);
    if (count == 0 && !HasBoundary(part) && !hidden) inventory.texts.push_back({WordsOf(PrologueOf(part))});
    GMimeObject* shown = IsType(part, "multipart", "alternative") ? MailStore::Richest(multipart) : nullptr;
    for (int i = 0; i < count; ++i) {
      GMimeObject* child = g_mime_multipart_get_part(multipart, i);
      Collect(child, hidden || (shown && child != shown), depth, inventory);
    }
    return;
  }
  if (!GMIME_IS_PART(part)) return;
  if (!IsAttachment(part) && (IsType(part, "text", "plain") || IsType(part, "text", "html"))) {
    if (!hidden) inventory.texts.push_back({WordsOf(VisibleText(part))});
    return;
  }
  inventory.binaries.push_back({Label(part), HashOf(ContentBytes(part))});
}

// Everything an archived message holds, wherever it stands in it.
struct Pool {
  std::set<Digest> binaries;
  std::unordered_set<std::string> words;
};

bool NamedEml(GMimePart* part) {
  const char* file = g_mime_part_get_filename(part);
  const std::string_view name = file ? file : "";
  return name.size() >= 4 && g_ascii_strcasecmp(std::string(name.substr(name.size() - 4)).c_str(), ".eml") == 0;
}

void AddWords(std::string_view text, Pool& pool) {
  for (std::string& word : WordsOf(text)) pool.words.insert(std::move(word));
}

void Gather(GMimeObject* part, int depth, Pool& pool);

void GatherMessage(std::string_view bytes, int depth, Pool& pool) {
  const MailStore::ParsedMessage parsed = MailStore::ParseMessage(bytes);
  if (parsed.message) Gather(g_mime_message_get_mime_part(parsed.message.get()), depth + 1, pool);
}

void Gather(GMimeObject* part, int depth, Pool& pool) {
  if (!part || depth > kDepth) return;
  if (GMIME_IS_MESSAGE_PART(part)) {
    if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part)))
      Gather(g_mime_message_get_mime_part(inner), depth + 1, pool);
    return;
  }
  if (GMIME_IS_MULTIPART(part)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(part);
    const int count = g_mime_multipart_get_count(multipart);
    if (count == 0) AddWords(PrologueOf(part), pool);
    for (int i = 0; i < count; ++i) Gather(g_mime_multipart_get_part(multipart, i), depth, pool);
    return;
  }
  if (!GMIME_IS_PART(part)) return;
  const std::string bytes = ContentBytes(part);
  pool.binaries.insert(HashOf(bytes));
  if (!IsAttachment(part) && (IsType(part, "text", "plain") || IsType(part, "text", "html")))
    AddWords(VisibleText(part), pool);
  // An attached message is kept as the bytes it stands in: what it holds counts.
  if (NamedEml(GMIME_PART(part)) || IsType(part, "message", "rfc822")) GatherMessage(bytes, depth, pool);
}

std::shared_ptr<GMimeMessage> MessageOf(std::string_view bytes) {
  MailStore::ParsedMessage parsed = MailStore::ParseMessage(bytes);
  if (!parsed.message) throw std::runtime_error("no message");
  return std::move(parsed.message);
}

// A character that parts words: blanks, controls and punctuation.
bool Parts(char32_t c) {
  if (c < 0x80) return !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
  return c <= 0xBF || c == 0xD7 || c == 0xF7 || (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F) ||
         c == 0xFEFF || c == 0xFFFD;
}

}  // namespace

std::vector<std::string> WordsOf(std::string_view utf8) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (i + length > utf8.size()) length = 1;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    if (Parts(c) && !(length == 1 && lead >= 0x80)) {  // a stray byte is no blank
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word.append(utf8.substr(i, length));
    }
    i += length;
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

Inventory InventoryOf(std::string_view message) {
  const auto parsed = MessageOf(message);
  Inventory inventory;
  Collect(g_mime_message_get_mime_part(parsed.get()), false, 0, inventory);
  return inventory;
}

std::vector<std::string> MissingFrom(const Inventory& source, std::string_view archived) {
  const auto parsed = MessageOf(archived);
  Pool pool;
  Gather(g_mime_message_get_mime_part(parsed.get()), 0, pool);
  std::vector<std::string> missing;
  for (const Inventory::Binary& binary : source.binaries)
    if (!pool.binaries.count(binary.sha256)) missing.push_back(binary.label + " fehlt");
  for (const Inventory::Text& text : source.texts) {
    std::size_t lost = 0;
    for (const std::string& word : text.words) lost += !pool.words.count(word);
    if (lost > 0)
      missing.push_back(std::to_string(lost) + " von " + std::to_string(text.words.size()) + " Wörtern des Textes fehlen");
  }
  return missing;
}

}  // namespace CV::Cli
