// The internet cache of the simulation: a directory that holds the cached
// files and an index file "index.txt", one line per cached address:
//
//   <address exactly as the HTML writes it> TAB <file name in the directory>
//
// Lines are UTF-8; an address also matches a document in an 8-bit charset
// that writes it byte for byte. Empty lines and lines without a tab are
// ignored; an entry whose file is missing is not cached. The index is read
// once, at the first lookup.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/file_system.h"
#include "foundation/internet_cache.h"

namespace CV::Sim {

class SimInternetCache final : public IInternetCache {
 public:
  // directory: a Windows path.
  SimInternetCache(FS::IFileSystem& fs, std::u16string directory);

  std::u16string RetrieveFile(std::u16string_view url) override;
  void Release(std::u16string_view url) override;

  // Entries retrieved and not yet released.
  int LockedEntries() const;

 private:
  void LoadIndex();

  FS::IFileSystem& m_fs;
  std::u16string m_directory;
  mutable std::mutex m_mutex;
  std::optional<std::map<std::u16string, std::u16string, std::less<>>> m_index;
  int m_locked = 0;
};

}  // namespace CV::Sim
