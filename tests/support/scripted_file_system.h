// A file system whose path answers are scripted: no path exists unless
// listed, the current directory is chosen, and long names can be mapped.
#pragma once

#include <map>

#include "foundation/file_system.h"

namespace CV::Fake {

class ScriptedFileSystem final : public FS::FileSystemWrapper {
 public:
  ScriptedFileSystem() : FileSystemWrapper(FS::DefaultFileSystem()) {}

  std::u16string currentDirectory = u"D:\\work";
  std::map<std::u16string, std::u16string> longNames;  // existing path -> its long form
  // When set, the second call answers this instead of the long name's length.
  std::optional<std::uint32_t> secondAnswer;

  std::uint32_t LongPathName(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) override {
    const auto it = longNames.find(std::u16string(path));
    if (it == longNames.end()) {
      error = 2;
      return 0;
    }
    const std::u16string& name = it->second;
    if (buffer.size() < name.size() + 1) return static_cast<std::uint32_t>(name.size() + 1);
    std::copy(name.begin(), name.end(), buffer.begin());
    buffer[name.size()] = u'\0';
    return secondAnswer ? *secondAnswer : static_cast<std::uint32_t>(name.size());
  }
  std::int32_t CurrentDirectory(std::u16string& out) override {
    out = currentDirectory;
    return 0;
  }
};

}  // namespace CV::Fake
