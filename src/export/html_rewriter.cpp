#include "export/html_rewriter.h"

#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <type_traits>
#include <utility>

#include "export/html_text.h"
#include "foundation/blob.h"
#include "foundation/com_error.h"
#include "foundation/path.h"

namespace CV::Office {
namespace {

constexpr std::u16string_view kHtmlStartTag = u"<html xmlns=\"http://www.w3.org/TR/REC-html40\">";
constexpr std::u16string_view kBlockedPicture = u"blockedpicture.jpg";
constexpr std::size_t kLongParagraph = 120;

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c | 0x20) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// A paragraph with a line break is no header field: a forwarded mail's
// quoted header is one paragraph with line breaks.
template <class C>
bool IsOneLine(const HtmlString<C>& paragraph) {
  for (std::size_t i = 0; i + 3 < paragraph.size(); ++i)
    if (paragraph[i] == '<' && EqualsIgnoringCase(Widen<C>(HtmlView<C>(paragraph).substr(i + 1, 2)), u"br")) return false;
  return true;
}

void SwapBytePairs(Data::CBlob& blob) {
  std::uint8_t* bytes = blob.Data();
  for (std::uint32_t i = 0; i + 1 < blob.Size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
}

// The per-document state and the passes, on code units of type C.
template <class C>
class Rewriter {
 public:
  Rewriter(const HtmlPictures& pictures, std::vector<std::u16string>& files, const SavedHeader* header)
      : m_pictures(pictures), m_files(files) {
    if (header) m_header.emplace(*header);
    else m_paragraphKept = true;  // nothing tells what SaveAs wrote: every paragraph stays
  }

  void Run(Data::CBlob& blob) {
    RemoveElements<C>(blob, u"!--[if", u"--");
    RemoveElements<C>(blob, u"![if", u"");
    RemoveElements<C>(blob, u"![endif]", u"");
    RemoveElements<C>(blob, u"link", u"");
    ProcessElements<C>(blob, [](HtmlString<C>& tag) { tag = Units<C>(kHtmlStartTag); }, u"html", u"", &m_scratch);
    ProcessElements<C>(blob, &Rewriter::Meta, u"meta", u"", &m_scratch);
    ProcessElements<C>(blob, [this](HtmlString<C>& p) { Paragraph(p); }, u"p ", u"/p", &m_scratch);
    RemoveElements<C>(blob, u"v:shapetype", u"/v:shapetype");
    ProcessElements<C>(blob, &Rewriter::Shape, u"v:shape", u"/v:shape", &m_scratch);
    ProcessElements<C>(blob, [this](HtmlString<C>& img) { Image(img); }, u"img", u"", &m_scratch);
  }

 private:
  // Only the meta tag that declares the content type stays.
  static void Meta(HtmlString<C>& tag) {
    if (!EqualsIgnoringCase(Widen<C>(GetAttribute<C>(tag, u"http-equiv")), u"Content-Type")) tag.clear();
  }

  // The header block SaveAs wrote above this mail's body goes: its leading
  // long paragraphs, each one field as SaveAs writes it for the mail. The
  // first paragraph that is not the next such field ends the block, so
  // nothing of the body is removed, however long its markup or whatever
  // label it begins with.
  void Paragraph(HtmlString<C>& paragraph) {
    if (m_paragraphKept) return;
    const bool field = paragraph.size() >= kLongParagraph &&
                       m_header->Next(VisibleText(Widen<C>(paragraph), std::is_same_v<C, Byte>), IsOneLine(paragraph));
    if (field) paragraph.clear();
    else m_paragraphKept = true;
  }

  // A VML shape becomes a plain picture with its alt text, style and source.
  static void Shape(HtmlString<C>& shape) {
    HtmlString<C> src;
    Data::CBlob inner(static_cast<std::uint32_t>(shape.size() * sizeof(C)));
    std::memcpy(inner.Data(), shape.data(), shape.size() * sizeof(C));
    ProcessElements<C>(inner, [&src](HtmlString<C>& data) { src = GetAttribute<C>(data, u"src"); }, u"v:imagedata",
                       u"");
    const HtmlString<C> alt = GetAttribute<C>(shape, u"alt");
    const HtmlString<C> style = GetAttribute<C>(shape, u"style");
    HtmlString<C> img = Units<C>(u"<img >");
    if (!alt.empty()) SetAttribute<C>(img, u"alt", alt);
    if (!style.empty()) SetAttribute<C>(img, u"style", style);
    SetAttribute<C>(img, u"src", src);
    shape = std::move(img);
  }

  // Remote pictures point to local copies (or the blocked picture); every
  // local file is listed once.
  void Image(HtmlString<C>& tag) {
    const HtmlString<C> src = GetAttribute<C>(tag, u"src");
    if (src.empty()) return;
    const std::u16string key = Widen<C>(src);
    // A picture written into the document itself is neither remote nor a file.
    if (key.size() >= 5 && EqualsIgnoringCase(key.substr(0, 5), u"data:")) return;
    auto known = m_images.find(key);
    if (IsUrl(key)) {
      if (known == m_images.end()) {
        std::u16string replacement = FetchCachedImage(m_pictures, key);
        if (replacement.empty()) replacement = kBlockedPicture;
        else m_files.push_back(replacement);
        known = m_images.emplace(key, std::move(replacement)).first;
      }
      SetAttribute<C>(tag, u"src", Units<C>(known->second));
    } else if (known == m_images.end()) {
      m_files.push_back(key);
      m_images.emplace(key, key);
    }
  }

  const HtmlPictures& m_pictures;
  std::vector<std::u16string>& m_files;
  std::map<std::u16string, std::u16string> m_images;
  std::optional<HeaderBlockMatcher> m_header;
  bool m_paragraphKept = false;
  Data::CBlob m_scratch;  // the other buffer of the ProcessElements passes
};

}  // namespace

HtmlEncoding DetectHtmlEncoding(const std::uint8_t* bytes, std::size_t size) {
  if (size > 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return HtmlEncoding::Utf16BigEndian;
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return HtmlEncoding::Utf16LittleEndian;
  return HtmlEncoding::EightBit;
}

Bstr ProcessHtml(FS::IReadableFile* stream, const HtmlPictures& pictures, std::vector<std::u16string>& files,
                 const SavedHeader* header) {
  if (!stream) ThrowComError(E_POINTER);
  const std::uint64_t size = stream->Size();
  if (size > 0xFFFFFFF0u) ThrowComError(HResultFromWin32(223));  // ERROR_FILE_TOO_LARGE
  Data::CBlob blob(static_cast<std::uint32_t>(size));
  std::size_t filled = 0;
  while (filled < blob.Size()) {
    std::size_t read = 0;
    if (const std::int32_t error = stream->Read({blob.Data() + filled, blob.Size() - filled}, read))
      ThrowComError(HResultFromWin32(error));
    if (read == 0) break;  // the file became shorter: what was there
    filled += read;
  }
  blob.Resize(static_cast<std::uint32_t>(filled));

  // 8-bit text is worked on byte by byte: every pass compares only ASCII and
  // inserts only what the narrowing at the end would make of it, so the
  // bytes come out as if each had been widened to a code unit and back.
  switch (DetectHtmlEncoding(blob.Data(), blob.Size())) {
    case HtmlEncoding::EightBit:
      Rewriter<Byte>(pictures, files, header).Run(blob);
      break;
    case HtmlEncoding::Utf16LittleEndian:
      Rewriter<Unit16>(pictures, files, header).Run(blob);
      break;
    case HtmlEncoding::Utf16BigEndian:
      SwapBytePairs(blob);
      Rewriter<Unit16>(pictures, files, header).Run(blob);
      SwapBytePairs(blob);
      break;
  }
  return blob.AllocBSTR();
}

bool IsUrl(std::u16string_view text) {
  std::size_t i = 0;
  const auto schemeChar = [](char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'+' ||
           c == u'-' || c == u'.';
  };
  while (i < text.size() && schemeChar(text[i])) ++i;
  return i >= 2 && i < text.size() && text[i] == u':';
}

std::u16string ExtensionOf(std::u16string_view path) {
  std::size_t dot = std::u16string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == u'\\' || path[i] == u' ') dot = std::u16string_view::npos;
    else if (path[i] == u'.') dot = i;
  }
  return dot == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(dot));
}

std::u16string FetchCachedImage(const HtmlPictures& pictures, std::u16string_view url) {
  if (!pictures.cache) return {};
  const std::u16string local = pictures.cache->RetrieveFile(url);
  if (local.empty()) return {};
  std::u16string name = pictures.guids.NewGuid().ToRegistryForm();
  name = name.substr(1, name.size() - 2) + ExtensionOf(local);
  std::u16string target = pictures.directory;
  if (!target.empty() && target.back() != u'\\') target += u'\\';
  pictures.fs.CopyFileTo(local, target + name, false);  // a failed copy leaves the reference dangling
  pictures.cache->Release(url);
  return name;
}

}  // namespace CV::Office
