#include "cli/body_text.h"

#include <gmime/gmime.h>
#include <libxml/HTMLparser.h>

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

// The part's content, its transfer encoding undone and its charset made
// UTF-8 as it is read: nothing is decoded whole.
GObjectPtr<GMimeStream> Utf8Stream(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  GMimeStream* encoded = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
  if (!encoded) return {nullptr, g_object_unref};
  g_mime_stream_reset(encoded);
  GObjectPtr<GMimeStream> filtered(g_mime_stream_filter_new(encoded), g_object_unref);
  const auto add = [&](GMimeFilter* filter) {
    if (!filter) return;
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), filter);
    g_object_unref(filter);
  };
  add(g_mime_filter_basic_new(g_mime_data_wrapper_get_encoding(content), FALSE));
  const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
  // A charset iconv does not know gives no filter: the bytes as they are.
  if (charset && g_ascii_strcasecmp(charset, "utf-8") != 0) add(g_mime_filter_charset_new(charset, "UTF-8"));
  return filtered;
}

bool IsBlock(std::string_view name) {
  static constexpr std::string_view kBlocks[] = {"p",  "div", "br", "tr", "li", "h1",  "h2",  "h3",
                                                 "h4", "h5",  "h6", "table", "blockquote", "pre", "hr"};
  for (std::string_view block : kBlocks)
    if (name == block) return true;
  return false;
}

bool IsHidden(std::string_view name) { return name == "style" || name == "script" || name == "head" || name == "title"; }

// Lines of text from the parser's events, handed on line by line.
class TextWriter {
 public:
  explicit TextWriter(const std::function<void(std::string_view)>& out) : m_out(out) {}
  void Start(std::string_view name) {
    if (IsHidden(name)) ++m_hidden;
    else if (IsBlock(name)) EndLine();
  }
  void End(std::string_view name) {
    if (IsHidden(name)) m_hidden -= m_hidden > 0;
    else if (IsBlock(name)) EndLine();
  }
  void Characters(std::string_view text) {
    if (m_hidden) return;
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
    if (!m_line.empty()) m_out(m_line + "\n");
    m_line.clear();
    m_blank = false;
  }

 private:
  const std::function<void(std::string_view)>& m_out;
  std::string m_line;
  bool m_blank = false;
  int m_hidden = 0;
};

std::string_view Name(const xmlChar* name) { return reinterpret_cast<const char*>(name); }

// Visible text from HTML given piece by piece (UTF-8 whatever its <meta>
// says: the text was made UTF-8 before).
class HtmlTextParser {
 public:
  explicit HtmlTextParser(const std::function<void(std::string_view)>& out) : m_writer(out) {
    m_sax.startElement = [](void* w, const xmlChar* name, const xmlChar**) { static_cast<TextWriter*>(w)->Start(Name(name)); };
    m_sax.endElement = [](void* w, const xmlChar* name) { static_cast<TextWriter*>(w)->End(Name(name)); };
    m_sax.characters = [](void* w, const xmlChar* text, int n) {
      static_cast<TextWriter*>(w)->Characters(std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n)));
    };
    m_sax.cdataBlock = m_sax.characters;
    m_parser.reset(htmlCreatePushParserCtxt(&m_sax, &m_writer, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8));
    if (!m_parser) throw std::runtime_error("no HTML parser");
    htmlCtxtUseOptions(m_parser.get(), HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                           HTML_PARSE_IGNORE_ENC);
  }
  void Feed(std::string_view piece) {
    constexpr std::size_t kChunk = 1 << 20;  // the parser takes an int
    for (std::size_t at = 0; at < piece.size(); at += kChunk) {
      const std::string_view chunk = piece.substr(at, kChunk);
      htmlParseChunk(m_parser.get(), chunk.data(), static_cast<int>(chunk.size()), 0);
    }
  }
  void Finish() {
    htmlParseChunk(m_parser.get(), nullptr, 0, 1);
    m_writer.EndLine();
  }

 private:
  TextWriter m_writer;
  htmlSAXHandler m_sax{};
  std::unique_ptr<htmlParserCtxt, decltype(&htmlFreeParserCtxt)> m_parser{nullptr, htmlFreeParserCtxt};
};

void HtmlText(GMimeStream* in, const std::function<void(std::string_view)>& out) {
  HtmlTextParser parser(out);
  char buffer[64 * 1024];
  for (gssize n; (n = g_mime_stream_read(in, buffer, sizeof buffer)) > 0;)
    parser.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
  parser.Finish();
}

void PlainText(GMimeStream* in, const std::function<void(std::string_view)>& out) {
  char buffer[64 * 1024];
  for (gssize n; (n = g_mime_stream_read(in, buffer, sizeof buffer)) > 0;)
    out(std::string_view(buffer, static_cast<std::size_t>(n)));
}

}  // namespace

void VisibleHtmlText(std::string_view html, const std::function<void(std::string_view)>& text) {
  HtmlTextParser parser(text);
  parser.Feed(html);
  parser.Finish();
}

void BodyText(void* message, const std::function<void(std::string_view)>& text) {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
  // The stream owns the bytes; the parts refer into them instead of copying.
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(static_cast<GByteArray*>(message)),
                                 g_object_unref);
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()), g_object_unref);
  g_mime_parser_set_persist_stream(parser.get(), TRUE);
  GMimeMessage* raw = g_mime_parser_construct_message(parser.get(), nullptr);
  if (!raw) throw std::runtime_error("no message");
  GObjectPtr<GMimeMessage> parsed(raw, g_object_unref);
  Part found;
  g_mime_message_foreach(parsed.get(), &FindBodyParts, &found);
  GMimePart* part = found.html ? found.html : found.text;
  if (!part) return;
  const GObjectPtr<GMimeStream> content = Utf8Stream(part);
  if (!content) return;
  if (found.html) HtmlText(content.get(), text);
  else PlainText(content.get(), text);
}

}  // namespace CV::Cli
