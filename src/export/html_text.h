// The text passes of the HTML rewriting, on a document held as code units:
// bytes for a document in an 8-bit encoding, UTF-16 code units otherwise.
//
// This is marker-based text processing, not an HTML parser. A stretch runs
// from a start marker ("<" + start name) to the next end marker (end name +
// ">"); markers are compared ignoring ASCII letter case, and a marker counts
// only when it ends before the last code unit of the text. Every pass is one
// linear scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "foundation/blob.h"

namespace CV::Office {

// The code units of the two document forms.
using Byte = std::uint8_t;
using Unit16 = char16_t;

template <class C>
using HtmlString = std::basic_string<C>;
template <class C>
using HtmlView = std::basic_string_view<C>;

// Deletes every stretch, in place. A stretch that is not closed takes the
// rest of the text with it.
template <class C>
void RemoveElements(Data::CBlob& blob, std::u16string_view start, std::u16string_view end);

// Hands every stretch, markers included and the start marker in its own
// letter case, to callback, which may change or empty it; what it leaves
// takes the stretch's place. A stretch that is not closed is dropped with
// the rest of the text. The new text is built in scratch (a buffer of its
// own when null), which receives the old text's buffer in exchange, so
// passes in a row reuse two buffers.
template <class C>
void ProcessElements(Data::CBlob& blob, const std::function<void(HtmlString<C>&)>& callback, std::u16string_view start,
                     std::u16string_view end, Data::CBlob* scratch = nullptr);

// The position of the value of the first attribute whose name occurs in tag
// (ignoring case, also inside a longer word), or -1; length receives the
// value's length. A quoted value runs to the same quote (length 0 when it
// never comes), an unquoted one to white space or ">". Throws ComError
// E_INVALIDARG when no "=" follows the name, or an unquoted value runs to the
// end of the tag.
template <class C>
std::ptrdiff_t FindAttributeValue(HtmlView<C> tag, std::u16string_view name, std::size_t& length);

// The attribute's value, or empty. Throws like FindAttributeValue.
template <class C>
HtmlString<C> GetAttribute(HtmlView<C> tag, std::u16string_view name);

// Sets the attribute's value in single quotes (a single quote in value
// becomes a double quote), replacing the value where the attribute is found
// and adding " name='value'" before the final ">" (or "/>") otherwise.
template <class C>
void SetAttribute(HtmlString<C>& tag, std::u16string_view name, HtmlView<C> value);

// ASCII text (markers, names, fixed tags) as code units of C; for bytes each
// code unit keeps its low byte, as the narrowing of a document does.
template <class C>
HtmlString<C> Units(std::u16string_view text);
// Code units as UTF-16: bytes are widened one by one.
template <class C>
std::u16string Widen(HtmlView<C> text);

// The content ids the pictures of a document show: the sources "cid:..."
// of its <img> and <v:imagedata> tags, each whole. A "cid:" anywhere else
// (a link, a style) shows no picture.
std::set<std::u16string> PictureContentIds(std::u16string_view html);

}  // namespace CV::Office
