// A temporary directory for one test, made and removed through the port; the
// removal must succeed, so a test that leaves something undeletable fails.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "foundation/directory.h"
#include "foundation/utf.h"

namespace CV::Fake {

class ScratchDirectory {
 public:
  explicit ScratchDirectory(FS::IFileSystem& fs = FS::DefaultFileSystem())
      : m_fs(fs), m_path(FS::CreateTempDirectory(u"", fs)) {}
  ~ScratchDirectory() {
    std::u16string failure;
    const HRESULT hr = FS::DeleteDirectory(m_path, true, m_fs, &failure);
    EXPECT_EQ(hr, S_OK) << "scratch directory left behind, at " << ToUtf8(failure);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::u16string& Path() const { return m_path; }
  std::u16string operator/(std::u16string_view name) const { return m_path + u"\\" + std::u16string(name); }

  // Writes a small file; fails the test when that is impossible.
  void WriteFile(std::u16string_view name, std::string_view content = "x") const {
    const auto* data = reinterpret_cast<const std::uint8_t*>(content.data());
    ASSERT_EQ(m_fs.WriteWholeFile(*this / name, std::span(data, content.size())), 0) << ToUtf8(name);
  }
  void MakeDirectory(std::u16string_view name) const { ASSERT_EQ(m_fs.MakeDirectory(*this / name), 0) << ToUtf8(name); }

 private:
  FS::IFileSystem& m_fs;
  std::u16string m_path;
};

}  // namespace CV::Fake
