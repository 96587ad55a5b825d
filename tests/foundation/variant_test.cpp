#include "foundation/variant.h"

#include <gtest/gtest.h>

#include "foundation/com_error.h"

namespace CV {
namespace {

constexpr HRESULT kOverflow = MakeHResult(0x8002000Au);  // DISP_E_OVERFLOW

TEST(Variant, ChangeTypeTable) {
  struct Case {
    const char* name;
    Variant from;
    VarType to;
    Variant expected;   // when error is 0
    HRESULT error = 0;
  };
  using V = Variant;
  const Case cases[] = {
      {"empty to bstr", V(), VarType::Bstr, V::FromBstr(u"")},
      {"empty to bool", V(), VarType::Bool, V::FromBool(false)}, {"empty to i4", V(), VarType::I4, V::FromI4(0)},
      {"true to bstr", V::FromBool(true), VarType::Bstr, V::FromBstr(u"-1")},
      {"false to bstr", V::FromBool(false), VarType::Bstr, V::FromBstr(u"0")},
      {"r8 to bstr", V::FromR8(2.5), VarType::Bstr, V::FromBstr(u"2.5")},
      {"true to i4", V::FromBool(true), VarType::I4, V::FromI4(-1)},
      {"i4 to bstr", V::FromI4(-123), VarType::Bstr, V::FromBstr(u"-123")},
      {"int to i4", V::FromInt(7), VarType::I4, V::FromI4(7)},
      {"i4 0 to bool", V::FromI4(0), VarType::Bool, V::FromBool(false)},
      {"i4 2 to bool", V::FromI4(2), VarType::Bool, V::FromBool(true)},
      {"r8 halves round to even", V::FromR8(2.5), VarType::I4, V::FromI4(2)},
      {"r8 rounds", V::FromR8(-3.5), VarType::I4, V::FromI4(-4)},
      {"r8 too large", V::FromR8(3e9), VarType::I4, {}, kOverflow},
      {"bstr number", V::FromBstr(u" 42 "), VarType::I4, V::FromI4(42)},
      {"bstr fraction", V::FromBstr(u"2.5"), VarType::I4, V::FromI4(2)},
      {"bstr with a plus", V::FromBstr(u" +7"), VarType::I4, V::FromI4(7)},
      {"bstr sign alone", V::FromBstr(u"-"), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      // The decimal point: digits on either side are enough, a point alone or twice is no number, and
      // whatever follows the digits must be a point or a blank.
      {"bstr fraction only", V::FromBstr(u".5"), VarType::Bool, V::FromBool(true)},
      {"bstr point last", V::FromBstr(u"3. "), VarType::I4, V::FromI4(3)},
      {"bstr point alone", V::FromBstr(u"."), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"bstr two points", V::FromBstr(u"1.5.2"), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"bstr comma", V::FromBstr(u"1,5"), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"bstr letter after digits", V::FromBstr(u"12a"), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"bstr slash after digits", V::FromBstr(u"1/2"), VarType::Bool, {}, DISP_E_TYPEMISMATCH},
      {"bstr too large", V::FromBstr(u"2147483648"), VarType::I4, {}, kOverflow},
      {"bstr smallest", V::FromBstr(u"-2147483648"), VarType::I4, V::FromI4(INT32_MIN)},
      {"bstr text to i4", V::FromBstr(u"zwölf"), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"bstr empty to i4", V::FromBstr(u""), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"bstr true", V::FromBstr(u"tRUE"), VarType::Bool, V::FromBool(true)},
      {"bstr 0", V::FromBstr(u"0"), VarType::Bool, V::FromBool(false)},
      {"bstr -1", V::FromBstr(u"-1"), VarType::Bool, V::FromBool(true)},
      {"bstr large to bool", V::FromBstr(u"2147483648"), VarType::Bool, V::FromBool(true)},
      {"bstr text to bool", V::FromBstr(u"ja"), VarType::Bool, {}, DISP_E_TYPEMISMATCH},
      {"null to bstr", V::FromNull(), VarType::Bstr, {}, DISP_E_TYPEMISMATCH},
      {"null to i4", V::FromNull(), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"error to i4", V::FromError(E_FAIL), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"identity", V::FromBstr(u"x"), VarType::Bstr, V::FromBstr(u"x")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      EXPECT_EQ(c.from.ChangeType(c.to), c.expected);
      EXPECT_EQ(c.error, 0);
    } catch (const ComError& e) {
      EXPECT_EQ(e.Error(), c.error);
    }
  }
  // Accessors want the exact type; the type is part of the value.
  EXPECT_EQ(V::FromInt(3).AsInt32(), 3);
  EXPECT_THROW(V::FromBool(true).AsInt32(), ComError);
  EXPECT_THROW(V().AsText(), ComError);
  EXPECT_THROW(V::FromI4(1).AsObject(), ComError);
  EXPECT_THROW(V::FromI4(1).AsBool(), ComError);  // a number is no truth value, however it is read
  EXPECT_THROW(V::FromI4(-1).AsVariantBool(), ComError);
  EXPECT_NE(V::FromI4(1), V::FromInt(1));
}

TEST(SafeArray, TwoDimensionsBoundsAndRedim) {
  auto table = SafeArray::Create2D(8, 3);  // 8 columns, 3 rows
  EXPECT_EQ(table->UpperBound(1), 7);
  EXPECT_EQ(table->UpperBound(2), 2);
  EXPECT_THROW(table->LowerBound(3), ComError);
  for (std::int32_t r = 0; r < 3; ++r)
    for (std::int32_t c = 0; c < 8; ++c) table->At({c, r}) = Variant::FromI4(r * 100 + c);
  EXPECT_EQ(table->Elements()[8], Variant::FromI4(100));  // rows one after another, 8 elements each
  for (const auto& outside : {std::initializer_list<std::int32_t>{8, 0}, {0, 3}, {0}})
    EXPECT_THROW(table->At(outside), ComError);
  table->Redim(2);  // shrink to the rows written
  EXPECT_EQ(table->UpperBound(2), 1);
  EXPECT_EQ(table->At({7, 1}), Variant::FromI4(107));
  table->Redim(0);
  EXPECT_EQ(table->UpperBound(2), -1);
  EXPECT_TRUE(table->Elements().empty());
  SafeArray shifted({{1, 2}, {-1, 2}});
  shifted.At({2, 0}) = Variant::FromBool(true);
  EXPECT_EQ(shifted.Elements()[3], Variant::FromBool(true));
}

}  // namespace
}  // namespace CV
