// The Windows-shaped namespace of the POSIX adapters: drive C: is the POSIX
// root, so "C:\tmp\x", "\\?\C:\tmp\x" and /tmp/x name one file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace CV::FS {

// The POSIX path of a Windows path; PathNotFound for other drives and
// network paths, InvalidName for an empty path or an embedded NUL.
std::int32_t ToPosix(std::u16string_view path, std::string& out);
// The Windows path of an absolute POSIX path.
std::u16string ToWindows(const std::string& posix);

}  // namespace CV::FS
