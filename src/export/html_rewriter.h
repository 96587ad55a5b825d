// ProcessHtml: rewrites the HTML body Outlook saved for archiving. Office
// markup goes (conditional comments, side-file links, extra meta tags, VML
// shape types, the run of long header paragraphs at the top), the html start
// tag and VML shapes become plain HTML, and remote pictures are replaced by
// local copies from the internet cache, never fetched. The result keeps the
// input's encoding and byte order mark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bstr.h"
#include "foundation/file_system.h"
#include "foundation/guid_source.h"
#include "foundation/internet_cache.h"
#include "export/saved_header.h"

namespace CV::Office {

// Where the pictures of a document come from and go to: copies of cached
// remote pictures are made in directory under fresh GUID names.
struct HtmlPictures {
  IInternetCache* cache = nullptr;  // null: nothing is cached
  FS::IFileSystem& fs;
  IGuidSource& guids;
  std::u16string directory;  // a Windows path
};

// How the bytes of a document are read: UTF-16 after a byte order mark
// (big-endian swapped for the passes and back), 8-bit otherwise.
enum class HtmlEncoding { EightBit, Utf16LittleEndian, Utf16BigEndian };
HtmlEncoding DetectHtmlEncoding(const std::uint8_t* bytes, std::size_t size);

// Reads the document from stream and returns its rewritten bytes. files
// receives, in order of first reference, the local files the result refers
// to (relative to the document). With header, the header block SaveAs wrote
// for that mail is removed; without, no paragraph is. Throws ComError:
// E_POINTER for a null stream, the read's failure as HRESULT;
// CV::CException when the result cannot be allocated.
Bstr ProcessHtml(FS::IReadableFile* stream, const HtmlPictures& pictures, std::vector<std::u16string>& files,
                 const SavedHeader* header = nullptr);

// The address scheme test of the platform: two or more letters, digits,
// "+", "-" or "." and a colon ("http:", "cid:", "data:", "file:" ...).
bool IsUrl(std::u16string_view text);

// The extension of the last path component with its dot, or empty; a blank
// after the last dot means there is none.
std::u16string ExtensionOf(std::u16string_view path);

// A local copy of a cached remote picture in pictures.directory, named by a
// fresh GUID (registry form without braces) and the cached file's
// extension; empty when the address is not cached. The name is returned
// whether the copy succeeded or not.
std::u16string FetchCachedImage(const HtmlPictures& pictures, std::u16string_view url);

}  // namespace CV::Office
