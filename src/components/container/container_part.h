// The temporary file of a container while it is written: beside the target
// as ".<target name>.part-<n>", owned by the writer that holds a lock on it.
// The lock sits far past any byte the container will ever have, because a
// locked range can be neither read nor written through another handle, and
// it goes with its handle however the writer ends (a crash included): a
// part whose lock can be taken has no owner any more.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_system.h"

namespace CV::Components {

inline constexpr std::uint64_t kOwnerLockOffset = 1ull << 62;
inline constexpr std::uint64_t kOwnerLockLength = 1;

// The folder of a path in the file-system port's form (everything before
// its last backslash) and its name (everything after).
std::u16string_view FolderOf(std::u16string_view path);
std::u16string_view NameOf(std::u16string_view path);

// "<name> (<n>).<extension>" beside the target: "a.zip" gives "a (2).zip".
std::u16string NumberedPath(std::u16string_view target, int n);

// ".<name>.part-<number>" in the target's folder.
std::u16string PartPathFor(std::u16string_view target, std::uint32_t number);

// Whether a file's name is that of a container's temporary file.
bool IsContainerPart(std::u16string_view name);

// True when file exists and nobody holds its owner's lock.
bool OwnerGone(FS::IFileSystem& fs, std::u16string_view file);

// Removes the containers' temporary files in directory whose writers are
// gone; returns their paths.
std::vector<std::u16string> RemoveAbandonedParts(FS::IFileSystem& fs, std::u16string_view directory);

}  // namespace CV::Components
