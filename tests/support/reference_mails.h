// The same three mails for the container writer on Linux and on Windows:
// their header fields, an HTML body of odd length with a picture, a plain
// body, attachments with a kept name, a repeat of the first mail. Both
// builds write a container of them; its mail members and manifest must be
// the same bytes, which tests/data/container/reference-sha256.txt records.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/variant.h"

namespace CV::Fake {

struct ReferenceMail {
  // Property puts in order: name, value.
  std::vector<std::pair<std::u16string, Variant>> properties;
  // Method calls: AddHtmlResource (full, relative), AddAttachment (path),
  // AddNamedAttachment (path, name); paths below the directory given.
  std::vector<std::pair<std::u16string, std::vector<std::u16string>>> calls;
};

// Writes the files the mails refer to below directory (a Windows-shaped
// path with a final backslash) and returns the mails.
std::vector<ReferenceMail> WriteReferenceMails(FS::IFileSystem& fs, const std::u16string& directory);

// The container properties the writer is given, in order.
std::vector<std::pair<std::u16string, std::u16string>> ReferenceProperties();

// "<member> <sha256>" lines of every member of a container but the times
// (the manifest included), in member order.
std::vector<std::string> MemberDigests(const std::string& containerPath);

}  // namespace CV::Fake
