#include "foundation/blob.h"

#include <gtest/gtest.h>

#include <cstring>

namespace CV::Data {
namespace {

TEST(CBlob, GuardBytesAndResizeRules) {
  for (const std::uint32_t n : {0u, 1u, 4096u}) {
    const CBlob blob(n);
    EXPECT_EQ(blob.Size(), n);
    for (std::uint32_t i = 0; i < n + 2; ++i) ASSERT_EQ(blob.Data()[i], 0) << n;  // zeroed, guards included
  }
  CBlob blob(6);
  std::memcpy(blob.Data(), "abcdef", 6);
  blob.Resize(3);  // smaller: the two bytes after the new size are zeroed
  EXPECT_EQ(blob.Capacity(), 6u);
  EXPECT_EQ(blob.Size(), 3u);
  EXPECT_EQ(std::memcmp(blob.Data(), "abc\0\0f\0\0", 8), 0);
  blob.Resize(6);  // the capacity: only the size changes
  EXPECT_EQ(std::memcmp(blob.Data(), "abc\0\0f", 6), 0);
  const std::uint8_t* before = blob.Data();
  blob.Resize(9);  // larger: a new zeroed buffer with the old data
  EXPECT_NE(blob.Data(), before);
  EXPECT_EQ(blob.Capacity(), 9u);
  EXPECT_EQ(std::memcmp(blob.Data(), "abc\0\0f\0\0\0\0\0", 11), 0);

  CBlob other(2);
  other.Data()[0] = 'o';
  blob.Swap(other);
  EXPECT_EQ(blob.Capacity(), 2u);
  EXPECT_EQ(blob.Data()[0], 'o');
  EXPECT_EQ(other.Size(), 9u);
}

TEST(CBlob, AllocBstrKeepsTheExactBytes) {
  CBlob blob(3);  // an odd length survives: an HTML file's own bytes
  std::memcpy(blob.Data(), "<\xC3\xBC", 3);
  const Bstr bstr = blob.AllocBSTR();
  EXPECT_EQ(bstr.Bytes(), "<\xC3\xBC");
  EXPECT_EQ(bstr.Text(), std::u16string(1, static_cast<char16_t>(0xC33C)));  // whole code units only
  EXPECT_FALSE(CBlob(0).AllocBSTR().IsNull());
  EXPECT_EQ(Bstr(u"Größe").ByteLength(), 10u);
  EXPECT_EQ(Bstr(u"Größe").Text(), u"Größe");
  EXPECT_NE(Bstr(), Bstr(u""));  // null is not empty
}

}  // namespace
}  // namespace CV::Data
