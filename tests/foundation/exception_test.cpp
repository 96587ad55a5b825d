#include "foundation/exception.h"

#include <gtest/gtest.h>

namespace CV {
namespace {

struct CodeCase {
  std::uint32_t code, expected;
};

TEST(CException, HResultFromCodeAtTheBoundaries) {
  const CodeCase cases[] = {
      {0x0u, 0x80004005u},         {0x1u, 0x80004005u},         {0x5u, 0x80004005u},
      {0x1FFu, 0x80004005u},       {0x200u, 0x80040200u},       {0x201u, 0x80040201u},
      {0xFFFEu, 0x8004FFFEu},      {0xFFFFu, 0x80004005u},      {0x10000u, 0x80004005u},
      {0x7FFFFFFFu, 0x80004005u},  {0x80000000u, 0x80000000u},  {0x80070005u, 0x80070005u},
      {0xFFFFFFFFu, 0xFFFFFFFFu},  {0x8004FFFFu, 0x8004FFFFu},
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << c.code);
    const CException e(u"CV::FS::CPath::GetLongPath", static_cast<std::int32_t>(c.code), u"C:\\x");
    EXPECT_EQ(static_cast<std::uint32_t>(e.Error()), c.expected);
    EXPECT_EQ(static_cast<std::uint32_t>(e.Code()), c.code);
    EXPECT_EQ(e.Source(), u"CV::FS::CPath::GetLongPath");
    EXPECT_EQ(e.Message(), u"C:\\x");
    EXPECT_STREQ(e.what(), "CV::FS::CPath::GetLongPath: C:\\x");
  }
}

TEST(ThrowIfFailed, OnlySOkReturns) {
  EXPECT_NO_THROW(ThrowIfFailed(u"S", S_OK, u"m"));
  for (const HRESULT hr : {S_FALSE, E_ACCESSDENIED}) {
    try {
      ThrowIfFailed(u"S", hr, u"m");
      ADD_FAILURE() << "no exception for " << hr;
    } catch (const CException& e) {
      EXPECT_EQ(e.Error(), hr == S_FALSE ? E_FAIL : hr);  // S_FALSE carries E_FAIL
      EXPECT_EQ(e.Code(), hr);
    }
  }
  EXPECT_THROW(Throw(u"S", 0, u""), std::exception);  // always, and caught as std::exception too
}

TEST(HResultFromWin32, FacilityForPositiveCodesRawOtherwise) {
  const CodeCase cases[] = {{0u, 0u},           {2u, 0x80070002u},           {122u, 0x8007007Au},
                            {0x12345u, 0x80072345u}, {0x80004005u, 0x80004005u}};
  for (const CodeCase& c : cases)
    EXPECT_EQ(static_cast<std::uint32_t>(HResultFromWin32(static_cast<std::int32_t>(c.code))), c.expected) << c.code;
}

}  // namespace
}  // namespace CV
