#include "foundation/blob.h"

#include <gtest/gtest.h>

#include <cstring>

namespace CV::Data {
namespace {

void ExpectGuardBytes(const CBlob& blob) {
  EXPECT_EQ(blob.Data()[blob.Capacity()], 0);
  EXPECT_EQ(blob.Data()[blob.Capacity() + 1], 0);
}

TEST(CBlob, ConstructionZeroesDataAndGuards) {
  for (const std::uint32_t n : {0u, 1u, 7u, 4096u}) {
    SCOPED_TRACE(n);
    const CBlob blob(n);
    EXPECT_EQ(blob.Capacity(), n);
    EXPECT_EQ(blob.Size(), n);
    for (std::uint32_t i = 0; i < n + 2; ++i) ASSERT_EQ(blob.Data()[i], 0);
  }
}

TEST(CBlob, ResizeRules) {
  CBlob blob(6);
  std::memcpy(blob.Data(), "abcdef", 6);

  blob.Resize(3);  // smaller: size only, the two bytes after it zeroed
  EXPECT_EQ(blob.Capacity(), 6u);
  EXPECT_EQ(blob.Size(), 3u);
  EXPECT_EQ(std::memcmp(blob.Data(), "abc\0\0f", 6), 0);
  ExpectGuardBytes(blob);

  blob.Resize(6);  // equal to the capacity: only the size changes
  EXPECT_EQ(blob.Size(), 6u);
  EXPECT_EQ(std::memcmp(blob.Data(), "abc\0\0f", 6), 0);

  const std::uint8_t* before = blob.Data();
  blob.Resize(9);  // larger: new zeroed buffer with the old data
  EXPECT_NE(blob.Data(), before);
  EXPECT_EQ(blob.Capacity(), 9u);
  EXPECT_EQ(blob.Size(), 9u);
  EXPECT_EQ(std::memcmp(blob.Data(), "abc\0\0f\0\0\0", 9), 0);
  ExpectGuardBytes(blob);

  blob.Resize(0);
  EXPECT_EQ(blob.Size(), 0u);
  EXPECT_EQ(blob.Data()[0], 0);
  EXPECT_EQ(blob.Data()[1], 0);
}

TEST(CBlob, SwapExchangesEverything) {
  CBlob a(2), b(5);
  a.Data()[0] = 'a';
  b.Data()[0] = 'b';
  b.Resize(4);
  a.Swap(b);
  EXPECT_EQ(a.Capacity(), 5u);
  EXPECT_EQ(a.Size(), 4u);
  EXPECT_EQ(a.Data()[0], 'b');
  EXPECT_EQ(b.Capacity(), 2u);
  EXPECT_EQ(b.Data()[0], 'a');
}

TEST(CBlob, AllocBstrKeepsTheExactBytes) {
  CBlob blob(3);  // an odd length survives: the HTML file's own bytes
  std::memcpy(blob.Data(), "<\xC3\xBC", 3);
  const Bstr bstr = blob.AllocBSTR();
  EXPECT_FALSE(bstr.IsNull());
  EXPECT_EQ(bstr.ByteLength(), 3u);
  EXPECT_EQ(bstr.Bytes(), "<\xC3\xBC");
  EXPECT_EQ(bstr.Text(), std::u16string(1, static_cast<char16_t>(0xC33C)));  // whole code units only

  const Bstr empty = CBlob(0).AllocBSTR();
  EXPECT_FALSE(empty.IsNull());
  EXPECT_EQ(empty.ByteLength(), 0u);
}

TEST(Bstr, TextRoundTripAndNull) {
  const Bstr text(u"Größe");
  EXPECT_EQ(text.ByteLength(), 10u);
  EXPECT_EQ(text.Text(), u"Größe");
  EXPECT_TRUE(Bstr().IsNull());
  EXPECT_FALSE(Bstr(u"").IsNull());
  EXPECT_NE(Bstr(), Bstr(u""));
}

}  // namespace
}  // namespace CV::Data
