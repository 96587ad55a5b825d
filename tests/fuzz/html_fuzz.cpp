// libFuzzer target for the HTML rewriting. The first byte chooses what the
// rest is: a whole document for ProcessHtml, or a tag for the attribute
// functions (bytes, or UTF-16 code units). Every input must end in a
// result, never in an exception, a crash, a sanitizer report or a value
// outside its tag.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "export/html_rewriter.h"
#include "export/html_text.h"

namespace {

using namespace CV;

class MemoryFile final : public FS::IReadableFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  std::uint64_t Size() const override { return m_size; }
  std::int32_t Read(std::span<std::uint8_t> buffer, std::size_t& read) override {
    read = std::min(buffer.size(), m_size - m_at);
    std::memcpy(buffer.data(), m_data + m_at, read);
    m_at += read;
    return 0;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size, m_at = 0;
};

// Every address of odd length is "cached"; copies are not made.
class OddCache final : public IInternetCache {
 public:
  std::u16string RetrieveFile(std::u16string_view url) override {
    return url.size() % 2 ? u"C:\\cache\\" + std::u16string(url.substr(0, 8)) + u".p'ng" : u"";
  }
  void Release(std::u16string_view) override {}
};

class NoCopies final : public FS::FileSystemWrapper {
 public:
  NoCopies() : FileSystemWrapper(FS::DefaultFileSystem()) {}
  std::int32_t CopyFileTo(std::u16string_view, std::u16string_view, bool) override { return 0; }
};

class Counting final : public IGuidSource {
 public:
  Guid NewGuid() override { return Guid{++m_n, 0, 0, {}}; }

 private:
  std::uint32_t m_n = 0;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

template <class C>
void Attributes(Office::HtmlString<C> tag) {
  static constexpr std::u16string_view kNames[] = {u"src", u"alt", u"style", u"http-equiv", u"a"};
  for (std::u16string_view name : kNames) {
    std::size_t length = 0;
    const std::ptrdiff_t at = Office::FindAttributeValue<C>(tag, name, length);
    Check(at < 0 || static_cast<std::size_t>(at) + length <= tag.size());
    Office::HtmlString<C> changed = tag;
    Office::SetAttribute<C>(changed, name, Office::Units<C>(u"x'y"));
    Check(Office::GetAttribute<C>(changed, name).size() <= changed.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0] % 3;
  ++data, --size;
  if (mode == 0) {
    OddCache cache;
    NoCopies fs;
    Counting guids;
    const Office::HtmlPictures pictures{&cache, fs, guids, u"C:\\tmp\\fuzz"};
    std::vector<std::u16string> files;
    MemoryFile file(data, size);
    // No document fails the rewriting; half of them with a header block to find.
    const Office::SavedHeader header{u"Anna", u"Bob", u"", u"", u"Betreff", false, true};
    const Bstr out = Office::ProcessHtml(&file, pictures, files, size % 2 ? &header : nullptr);
    Check(out.ByteLength() <= size + 64 * (size + 1));  // growth only by bounded replacements
  } else if (mode == 1) {
    Attributes<Office::Byte>(Office::HtmlString<Office::Byte>(data, data + size));
  } else {
    Office::HtmlString<Office::Unit16> tag(size / 2, u'\0');
    std::memcpy(tag.data(), data, tag.size() * 2);
    Attributes<Office::Unit16>(std::move(tag));
  }
  return 0;
}
