// The portable Variant against the platform's own VARIANT functions.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include "foundation/utf.h"
#include "win/com/com_support.h"

namespace CV::Win {
namespace {

VARTYPE ToVt(VarType t) { return static_cast<VARTYPE>(t); }

// ChangeType must agree with VariantChangeType, result and failure alike.
TEST(VariantConversion, ChangeTypeAgreesWithTheSystem) {
  const Variant values[] = {
      Variant(),
      Variant::FromBool(true),
      Variant::FromBool(false),
      Variant::FromI4(-123),
      Variant::FromI4(0),
      Variant::FromInt(77),
      Variant::FromR8(2.5),
      Variant::FromR8(3.5),
      Variant::FromR8(-3.5),
      Variant::FromR8(3e9),
      Variant::FromBstr(u" 42 "),
      Variant::FromBstr(u"-2147483648"),
      Variant::FromBstr(u"2147483648"),
      Variant::FromBstr(u"zwölf"),
      Variant::FromBstr(u""),
      Variant::FromBstr(u"True"),
      Variant::FromBstr(u"false"),
      Variant::FromBstr(u"0"),
      Variant::FromBstr(u"2.5"),
      Variant::FromBstr(u"-0.75"),
      Variant::FromNull(),
  };
  for (const Variant& value : values) {
    for (const VarType target : {VarType::Bstr, VarType::Bool, VarType::I4}) {
      VARIANT raw, converted;
      FromVariant(value, &raw);
      ::VariantInit(&converted);
      const HRESULT systemHr = ::VariantChangeType(&converted, &raw, 0, ToVt(target));
      SCOPED_TRACE(testing::Message() << "vt " << raw.vt << " -> " << ToVt(target));
      HRESULT ourHr = S_OK;
      Variant ours;
      try {
        ours = value.ChangeType(target);
      } catch (const ComError& e) {
        ourHr = e.Error();
      }
      EXPECT_EQ(ourHr, systemHr);
      if (SUCCEEDED(systemHr) && ourHr == S_OK) {
        const Variant system = ToVariant(converted);
        if (target == VarType::Bstr) EXPECT_EQ(ToUtf8(ours.AsText()), ToUtf8(system.AsText()));
        else EXPECT_EQ(ours, system);
      }
      ::VariantClear(&raw);
      ::VariantClear(&converted);
    }
  }
}

TEST(VariantConversion, RoundTripsEveryType) {
  auto table = SafeArray::Create2D(8, 2);
  table->At({0, 1}) = Variant::FromBstr(u"EntryID");
  table->At({1, 1}) = Variant::FromBool(true);
  table->At({7, 0}) = Variant::FromI4(4096);
  const Variant values[] = {
      Variant(),
      Variant::FromNull(),
      Variant::FromBool(true),
      Variant::FromVariantBool(1),  // not VARIANT_TRUE, and kept apart from it
      Variant::FromI4(INT32_MIN),
      Variant::FromInt(3),
      Variant::FromR8(0.25),
      Variant::FromDate(45000.75),
      Variant::FromBstr(u"Größe"),
      Variant::FromBstr(Bstr::FromBytes("abc", 3)),  // a byte-length BSTR of odd length
      Variant::FromBstr(Bstr()),
      Variant::FromError(E_FAIL),
  };
  for (const Variant& value : values) {
    VARIANT raw;
    FromVariant(value, &raw);
    SCOPED_TRACE(raw.vt);
    EXPECT_EQ(ToVariant(raw), value);
    ::VariantClear(&raw);
  }
  VARIANT one;
  ::VariantInit(&one);
  one.vt = VT_BOOL;
  one.boolVal = 1;
  EXPECT_NE(ToVariant(one), Variant::FromBool(true));
  VARIANT raw;
  FromVariant(Variant::FromArray(table), &raw);
  EXPECT_EQ(raw.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(::SafeArrayGetDim(raw.parray), 2u);
  LONG upper = 0;
  ::SafeArrayGetUBound(raw.parray, 1, &upper);
  EXPECT_EQ(upper, 7);  // dimension 1: the columns
  LONG index[2] = {0, 1};
  VARIANT element;
  ::VariantInit(&element);
  ASSERT_EQ(::SafeArrayGetElement(raw.parray, index, &element), S_OK);
  EXPECT_EQ(element.vt, VT_BSTR);
  ::VariantClear(&element);
  const Variant back = ToVariant(raw);
  EXPECT_EQ(back.AsArray()->Elements(), table->Elements());
  ::VariantClear(&raw);
}

// What a VARIANT cannot carry is refused, and leaves an empty VARIANT behind.
TEST(VariantConversion, AnArrayVariantWithoutItsArrayIsRefused) {
  VARIANT raw;
  raw.vt = VT_I4;  // whatever the caller's VARIANT held before
  try {
    FromVariant(Variant::FromArray(nullptr), &raw);
    ADD_FAILURE() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Error(), E_POINTER);
  }
  EXPECT_EQ(raw.vt, VT_EMPTY);
}

TEST(VariantConversion, ByReferenceArgumentsArriveByValue) {
  BSTR name = ::SysAllocString(L"PNG/addmails_%DPI%.png");
  VARIANT byRef;
  ::VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_BSTR;
  byRef.pbstrVal = &name;
  EXPECT_EQ(ToVariant(byRef).AsText(), u"PNG/addmails_%DPI%.png");
  ::SysFreeString(name);

  VARIANT unsupported;
  ::VariantInit(&unsupported);
  unsupported.vt = VT_CY;
  EXPECT_THROW(ToVariant(unsupported), ComError);
}

}  // namespace
}  // namespace CV::Win
