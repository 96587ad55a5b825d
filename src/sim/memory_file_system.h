// A file system that keeps one directory tree in memory and hands every
// other path to another file system: cvmail's temporary tree, where each
// mail's body, pictures and attachments live for a moment, costs no system
// call.
//
// The tree keeps the rules the export must respect wherever it runs, the
// stricter of POSIX and Windows: a name of at most 255 UTF-8 bytes and 255
// UTF-16 units; a path without the long-path prefix of at most 259 units;
// no control characters nor any of \ / : * ? " < > |; names compared
// without regard to case. Handles keep the sharing rules of the disk
// adapters: a file open for reading cannot be deleted or written, an
// exclusive reader lets nobody else in.
#pragma once

#include <memory>
#include <string>

#include "foundation/file_system.h"

namespace CV::FS {

class MemoryFileSystem final : public FileSystemWrapper {
 public:
  // root: the Windows path of the tree's top ("C:\tmp\run\Speicher"); it
  // exists from the start and TempPath answers it.
  MemoryFileSystem(IFileSystem& other, std::u16string root);
  ~MemoryFileSystem() override;

  NameLimits Limits() override;
  std::uint32_t LongPathName(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) override;
  std::int32_t TempPath(std::u16string& out) override;
  std::int32_t FindFirst(std::u16string_view pattern, FindData& first,
                         std::unique_ptr<IDirectorySearch>& search) override;
  std::int32_t RemoveFile(std::u16string_view path) override;
  std::int32_t ReadAttributes(std::u16string_view path, std::uint32_t& attributes) override;
  std::int32_t WriteAttributes(std::u16string_view path, std::uint32_t attributes) override;
  std::int32_t MakeDirectory(std::u16string_view path) override;
  std::int32_t RemoveEmptyDirectory(std::u16string_view path) override;
  std::int32_t CopyFileTo(std::u16string_view from, std::u16string_view to, bool failIfExists) override;
  std::int32_t WriteWholeFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override;
  std::int32_t OpenForReading(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override;
  std::int32_t OpenForReadingExclusive(std::u16string_view path, std::unique_ptr<IReadableFile>& file) override;
  std::int32_t CreateForWriting(std::u16string_view path, Creation creation, bool deleteOnClose,
                                std::unique_ptr<IWritableFile>& file) override;
  std::int32_t ProbeLock(std::u16string_view path, std::uint64_t offset, std::uint64_t length) override;
  std::int32_t MoveFileTo(std::u16string_view from, std::u16string_view to, bool replace) override;

  // Bytes held by the tree's files, for tests and the memory budget.
  std::uint64_t BytesHeld() const;

  struct Tree;

 private:
  std::shared_ptr<Tree> m_tree;
};

}  // namespace CV::FS
