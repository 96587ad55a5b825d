// The RFC 5322 message of one archived mail, composed as a stream: the
// e-mail object's header texts carried losslessly (display texts as groups
// without members, RFC 2047 where not ASCII), the HTML body's bytes
// unchanged with the pictures it refers to (multipart/related, each with the
// Content-Location the HTML uses), and the attachments (RFC 2231 names).
// Every part is base64, so the fixed boundaries never occur in the content.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/file_system.h"
#include "components/container/byte_sink.h"

namespace CV::Components {

struct MailContent {
  std::u16string from, to, cc, bcc, subject, entryId;
  std::optional<double> date;       // an OLE date in local time
  std::optional<std::string> html;  // the body's bytes; none: headers only
  struct Resource {
    std::u16string fullPath, relativePath;
  };
  std::vector<Resource> resources;
  struct Attachment {
    std::u16string path;  // the file
    std::u16string name;  // the name it keeps; empty: the file's name
  };
  std::vector<Attachment> attachments;
};

// An upper bound of the composed message's length (files that cannot be
// opened count nothing).
std::uint64_t MessageSizeBound(const MailContent& mail, FS::IFileSystem& fs);
// Writes the message. A picture whose file is not there is left out (the
// HTML may name files that never existed); an attachment whose file cannot
// be read throws ComError with the path, so that its mail fails instead of
// being archived without it. A failure of the sink passes on.
void ComposeMessage(const MailContent& mail, FS::IFileSystem& fs, IByteSink& sink);

// Pieces of the composition.
std::string EncodedWords(std::u16string_view text);   // =?UTF-8?B?...?= words, folded
std::string DisplayGroup(std::u16string_view text);   // "text": ;
std::string UnstructuredText(std::u16string_view text);
std::optional<std::string> RfcDate(double oleDate);   // Fri, 05 Dec 2025 10:15:00 +0100
std::optional<std::string> IsoDate(double oleDate);   // 2025-12-05T10:15:00+01:00
std::string HtmlCharset(std::string_view html);       // from a BOM or the HTML's declaration; empty: none
std::string UrlPath(std::u16string_view relativePath);  // "\" to "/", percent-encoded
std::string ContentType(std::u16string_view fileName);
// The ZIP folder of an archive-list folder path: "\" to "/", and in each
// name "%", "/", what Windows forbids, and a leading or trailing dot or
// blank percent-encoded.
std::string MemberFolder(std::u16string_view folderPath);

}  // namespace CV::Components
