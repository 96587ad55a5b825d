#include "cli/body_text.h"

#include <gmime/gmime.h>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string_view>

namespace CV::Cli {
namespace {

template <class T>
using GObjectPtr = std::unique_ptr<T, decltype(&g_object_unref)>;

struct Part {
  GMimePart* html = nullptr;
  GMimePart* text = nullptr;
};

void FindBodyParts(GMimeObject*, GMimeObject* object, gpointer data) {
  auto& found = *static_cast<Part*>(data);
  if (!GMIME_IS_PART(object) || g_mime_part_is_attachment(GMIME_PART(object))) return;
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (!found.html && g_mime_content_type_is_type(type, "text", "html")) found.html = GMIME_PART(object);
  if (!found.text && g_mime_content_type_is_type(type, "text", "plain")) found.text = GMIME_PART(object);
}

// The part's content after its transfer encoding is undone, as bytes.
std::string Decoded(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return {};
  GObjectPtr<GMimeStream> memory(g_mime_stream_mem_new(), g_object_unref);
  g_mime_data_wrapper_write_to_stream(content, memory.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// The content as UTF-8, converted from the part's charset.
std::string Utf8(GMimePart* part) {
  std::string bytes = Decoded(part);
  const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
  if (!charset || g_ascii_strcasecmp(charset, "utf-8") == 0) return bytes;
  gsize written = 0;
  gchar* converted = g_convert_with_fallback(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", charset, "?",
                                             nullptr, &written, nullptr);
  if (!converted) return bytes;
  std::string out(converted, written);
  g_free(converted);
  return out;
}

bool IsBlock(std::string_view name) {
  static constexpr std::string_view kBlocks[] = {"p",  "div", "br", "tr", "li", "h1",  "h2",  "h3",
                                                 "h4", "h5",  "h6", "table", "blockquote", "pre", "hr"};
  for (std::string_view block : kBlocks)
    if (name == block) return true;
  return false;
}

class TextWriter {
 public:
  void Walk(xmlNode* node) {
    for (; node; node = node->next) {
      if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
        Append(reinterpret_cast<const char*>(node->content));
      } else if (node->type == XML_ELEMENT_NODE) {
        const std::string_view name = reinterpret_cast<const char*>(node->name);
        if (name == "style" || name == "script" || name == "head" || name == "title") continue;
        const bool block = IsBlock(name);
        if (block) EndLine();
        Walk(node->children);
        if (block) EndLine();
      }
    }
  }
  std::string Text() {
    EndLine();
    return std::move(m_out);
  }

 private:
  void Append(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const bool nbsp = text.substr(i, 2) == "\xC2\xA0";
      const char c = text[i];
      if (nbsp || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        m_blank = !m_line.empty();
        if (nbsp) ++i;
        continue;
      }
      if (m_blank) m_line += ' ';
      m_blank = false;
      m_line += c;
    }
  }
  void EndLine() {
    if (!m_line.empty()) m_out += m_line + "\n";
    m_line.clear();
    m_blank = false;
  }

  std::string m_out, m_line;
  bool m_blank = false;
};

std::string HtmlText(const std::string& utf8) {
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
      htmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                     HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET),
      xmlFreeDoc);
  if (!document) return {};
  TextWriter writer;
  writer.Walk(xmlDocGetRootElement(document.get()));
  return writer.Text();
}

}  // namespace

std::string BodyText(const std::string& messageBytes) {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(messageBytes.data(), messageBytes.size()),
                                 g_object_unref);
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()), g_object_unref);
  GMimeMessage* raw = g_mime_parser_construct_message(parser.get(), nullptr);
  if (!raw) throw std::runtime_error("no message");
  GObjectPtr<GMimeMessage> message(raw, g_object_unref);
  Part found;
  g_mime_message_foreach(message.get(), &FindBodyParts, &found);
  if (found.html) return HtmlText(Utf8(found.html));
  if (found.text) return Utf8(found.text);
  return {};
}

}  // namespace CV::Cli
