// File names for attachments in the converter's temporary directory.
// Attachment names come from strangers: a name that would leave the
// directory or that Windows cannot store is made safe first, the same way
// on every platform; then a name already taken gets a number.
#pragma once

#include <string>
#include <string_view>

#include "foundation/file_system.h"

namespace CV::Office {

// What follows the last "/" or "\" (drive letters and network prefixes go
// with it); the characters Windows forbids in names (<>:"|?* and control
// characters) replaced by "_"; trailing dots and blanks dropped; a reserved
// device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, also with an
// extension) prefixed with "_"; at most 200 UTF-16 units, the extension
// kept. An empty result becomes "Anhang". An ordinary name stays as it is.
std::u16string SafeAttachmentName(std::u16string_view name);

// directory joined with name; while a file or directory of that path
// exists, "<base>(n)<extension>" with n = 1, 2, ...: a second Bericht.pdf
// becomes Bericht(1).pdf, a colliding README becomes README(1).
std::u16string UniqueAttachmentPath(std::u16string_view directory, std::u16string_view name, FS::IFileSystem& fs);

}  // namespace CV::Office
