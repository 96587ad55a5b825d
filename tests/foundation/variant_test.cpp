#include "foundation/variant.h"

#include <gtest/gtest.h>

#include "foundation/com_error.h"
#include "foundation/utf.h"

namespace CV {
namespace {

#ifndef DISP_E_OVERFLOW
constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000Au);
#endif

struct ChangeCase {
  const char* name;
  Variant from;
  VarType to;
  Variant expected;   // when error is 0
  HRESULT error = 0;  // expected failure
};

std::vector<ChangeCase> ChangeCases() {
  return {
      {"empty to bstr", Variant(), VarType::Bstr, Variant::FromBstr(u"")},
      {"empty to bool", Variant(), VarType::Bool, Variant::FromBool(false)},
      {"empty to i4", Variant(), VarType::I4, Variant::FromI4(0)},
      {"true to bstr", Variant::FromBool(true), VarType::Bstr, Variant::FromBstr(u"-1")},
      {"false to bstr", Variant::FromBool(false), VarType::Bstr, Variant::FromBstr(u"0")},
      {"r8 to bstr", Variant::FromR8(2.5), VarType::Bstr, Variant::FromBstr(u"2.5")},
      {"bstr fraction to i4", Variant::FromBstr(u"2.5"), VarType::I4, Variant::FromI4(2)},
      {"bstr large to bool", Variant::FromBstr(u"2147483648"), VarType::Bool, Variant::FromBool(true)},
      {"true to i4", Variant::FromBool(true), VarType::I4, Variant::FromI4(-1)},
      {"i4 to bstr", Variant::FromI4(-123), VarType::Bstr, Variant::FromBstr(u"-123")},
      {"int to i4", Variant::FromInt(7), VarType::I4, Variant::FromI4(7)},
      {"i4 0 to bool", Variant::FromI4(0), VarType::Bool, Variant::FromBool(false)},
      {"i4 2 to bool", Variant::FromI4(2), VarType::Bool, Variant::FromBool(true)},
      {"r8 to i4 rounds half to even", Variant::FromR8(2.5), VarType::I4, Variant::FromI4(2)},
      {"r8 to i4 rounds", Variant::FromR8(-3.5), VarType::I4, Variant::FromI4(-4)},
      {"r8 too large", Variant::FromR8(3e9), VarType::I4, {}, DISP_E_OVERFLOW},
      {"bstr number to i4", Variant::FromBstr(u" 42 "), VarType::I4, Variant::FromI4(42)},
      {"bstr too large", Variant::FromBstr(u"2147483648"), VarType::I4, {}, DISP_E_OVERFLOW},
      {"bstr smallest", Variant::FromBstr(u"-2147483648"), VarType::I4, Variant::FromI4(INT32_MIN)},
      {"bstr text to i4", Variant::FromBstr(u"zwölf"), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"bstr empty to i4", Variant::FromBstr(u""), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"bstr true to bool", Variant::FromBstr(u"tRUE"), VarType::Bool, Variant::FromBool(true)},
      {"bstr 0 to bool", Variant::FromBstr(u"0"), VarType::Bool, Variant::FromBool(false)},
      {"bstr -1 to bool", Variant::FromBstr(u"-1"), VarType::Bool, Variant::FromBool(true)},
      {"bstr text to bool", Variant::FromBstr(u"ja"), VarType::Bool, {}, DISP_E_TYPEMISMATCH},
      {"null to bstr", Variant::FromNull(), VarType::Bstr, {}, DISP_E_TYPEMISMATCH},
      {"null to i4", Variant::FromNull(), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"error to i4", Variant::FromError(E_FAIL), VarType::I4, {}, DISP_E_TYPEMISMATCH},
      {"identity", Variant::FromBstr(u"x"), VarType::Bstr, Variant::FromBstr(u"x")},
  };
}

TEST(Variant, ChangeTypeTable) {
  for (const ChangeCase& c : ChangeCases()) {
    SCOPED_TRACE(c.name);
    if (c.error == 0) {
      EXPECT_EQ(c.from.ChangeType(c.to), c.expected);
    } else {
      try {
        c.from.ChangeType(c.to);
        ADD_FAILURE() << "no error";
      } catch (const ComError& e) {
        EXPECT_EQ(e.Error(), c.error);
      }
    }
  }
}

TEST(Variant, AccessorsCheckTheType) {
  EXPECT_EQ(Variant::FromInt(3).AsInt32(), 3);
  EXPECT_EQ(Variant::FromI4(3).Type(), VarType::I4);
  EXPECT_EQ(Variant::FromInt(3).Type(), VarType::Int);
  EXPECT_THROW(Variant::FromBool(true).AsInt32(), ComError);
  EXPECT_THROW(Variant().AsText(), ComError);
  EXPECT_THROW(Variant::FromI4(1).AsObject(), ComError);
  EXPECT_EQ(Variant::FromObject(nullptr).AsObject(), nullptr);
  EXPECT_NE(Variant::FromI4(1), Variant::FromInt(1));  // the type is part of the value
  EXPECT_EQ(Variant::FromDate(45000.5).AsDouble(), 45000.5);
}

TEST(SafeArray, TwoDimensionsBoundsAndRedim) {
  auto table = SafeArray::Create2D(8, 3);  // 8 columns, 3 rows
  EXPECT_EQ(table->Dimensions(), 2u);
  EXPECT_EQ(table->LowerBound(1), 0);
  EXPECT_EQ(table->UpperBound(1), 7);
  EXPECT_EQ(table->UpperBound(2), 2);
  EXPECT_THROW(table->LowerBound(3), ComError);
  for (std::int32_t r = 0; r < 3; ++r)
    for (std::int32_t c = 0; c < 8; ++c) table->At({c, r}) = Variant::FromI4(r * 100 + c);
  // Rows are stored one after another, each as 8 consecutive elements.
  EXPECT_EQ(table->Elements()[8], Variant::FromI4(100));
  EXPECT_THROW(table->At({8, 0}), ComError);
  EXPECT_THROW(table->At({0, 3}), ComError);
  EXPECT_THROW(table->At({0}), ComError);

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
