// File names for attachments in the converter's temporary directory.
// Attachment names come from strangers: a name that would leave the
// directory or that Windows cannot store is made safe first, the same way
// on every platform; then a name already taken gets a number.
#pragma once

#include <set>
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

// Where an attachment is saved, and the name it keeps in the archive.
struct AttachmentFile {
  std::u16string path;  // directory joined with the name on disk
  std::u16string name;  // the attachment's name: safe, unique in its mail, never shortened
};

// The file for an attachment whose safe name is name. The name is taken
// once per mail: while taken holds it or a file or directory of that name
// exists, "<base>(n)<extension>" with n = 1, 2, ... (a second Bericht.pdf
// becomes Bericht(1).pdf, a colliding README README(1)); taken receives it.
// The name on disk is that name shortened, extension kept, until the path
// keeps to the file system's limits, and numbered in the same way where a
// shortened name is already there.
AttachmentFile NextAttachmentFile(std::u16string_view directory, std::u16string_view name,
                                  std::set<std::u16string>& taken, FS::IFileSystem& fs);

// stem + tail, the stem shortened (never inside a character, trailing dots
// and blanks dropped) until directory\stem+tail keeps to limits; when no
// stem fits, the tail is shortened from its end as well.
std::u16string FitName(std::u16string_view directory, std::u16string_view stem, std::u16string_view tail,
                       const FS::NameLimits& limits);

}  // namespace CV::Office
