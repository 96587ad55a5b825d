#include "foundation/exception.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace CV {
namespace {

struct CodeCase {
  std::uint32_t code;
  std::uint32_t expected;
};

TEST(CException, HResultFromCodeAtTheBoundaries) {
  const CodeCase cases[] = {
      {0x0u, 0x80004005u},        // S_OK is no failure code
      {0x1u, 0x80004005u},        // S_FALSE
      {0x5u, 0x80004005u},        // a bare Win32 code
      {0x1FFu, 0x80004005u},      // last code below the dispatch range
      {0x200u, 0x80040200u},      // first code of the range
      {0x201u, 0x80040201u},
      {0xFFFEu, 0x8004FFFEu},     // last code of the range
      {0xFFFFu, 0x80004005u},     // the range ends before 0xFFFF
      {0x10000u, 0x80004005u},
      {0x7FFFFFFFu, 0x80004005u},
      {0x80000000u, 0x80000000u},  // negative: a failure HRESULT stays
      {0x80070005u, 0x80070005u},
      {0x80070057u, 0x80070057u},
      {0xFFFFFFFFu, 0xFFFFFFFFu},
      {0x8004FFFFu, 0x8004FFFFu},
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << c.code);
    const CException e(u"Src", static_cast<std::int32_t>(c.code), u"msg");
    EXPECT_EQ(static_cast<std::uint32_t>(e.Error()), c.expected);
    EXPECT_EQ(static_cast<std::uint32_t>(e.Code()), c.code);
  }
}

TEST(CException, CarriesSourceAndMessage) {
  const CException e(u"CV::FS::CPath::GetLongPath", E_INVALIDARG, u"C:\\x");
  EXPECT_EQ(e.Source(), u"CV::FS::CPath::GetLongPath");
  EXPECT_EQ(e.Message(), u"C:\\x");
  EXPECT_STREQ(e.what(), "CV::FS::CPath::GetLongPath: C:\\x");
}

TEST(ThrowIfFailed, OnlySOkReturns) {
  EXPECT_NO_THROW(ThrowIfFailed(u"S", S_OK, u"m"));
  try {
    ThrowIfFailed(u"S", S_FALSE, u"m");
    FAIL() << "S_FALSE must throw";
  } catch (const CException& e) {
    EXPECT_EQ(e.Error(), E_FAIL);
    EXPECT_EQ(e.Code(), 1);
  }
  try {
    ThrowIfFailed(u"S", E_ACCESSDENIED, u"m");
    FAIL() << "a failure must throw";
  } catch (const CException& e) {
    EXPECT_EQ(e.Error(), E_ACCESSDENIED);
    EXPECT_EQ(e.Source(), u"S");
  }
}

TEST(Throw, AlwaysThrowsByValue) {
  EXPECT_THROW(Throw(u"S", 0, u""), CException);
  try {
    Throw(u"CV::Data::CBlob::AllocBSTR", static_cast<std::int32_t>(0x80070008u), u"");
  } catch (const std::exception& e) {  // also an std::exception
    EXPECT_STREQ(e.what(), "CV::Data::CBlob::AllocBSTR: ");
  }
}

TEST(HResultFromWin32, FacilityForPositiveCodesRawOtherwise) {
  const CodeCase cases[] = {
      {0u, 0u},
      {2u, 0x80070002u},
      {5u, 0x80070005u},
      {122u, 0x8007007Au},
      {0x12345u, 0x80072345u},    // only the low 16 bits survive
      {0x80004005u, 0x80004005u},  // negative: passed through
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << c.code);
    EXPECT_EQ(static_cast<std::uint32_t>(HResultFromWin32(static_cast<std::int32_t>(c.code))), c.expected);
  }
}

}  // namespace
}  // namespace CV
