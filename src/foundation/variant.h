// Variant: the subset of VARIANT the system uses, with the conversions it
// needs (VariantChangeType to VT_BSTR, VT_BOOL and VT_I4, checked against
// the platform's own under Wine). Text is converted in the neutral locale:
// "." is the decimal point and booleans become "-1" and "0".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "foundation/bstr.h"
#include "foundation/hresult.h"

namespace CV {

class IObject;
class SafeArray;

// The VARTYPE values of the platform.
enum class VarType : std::uint16_t {
  Empty = 0,
  Null = 1,
  I4 = 3,
  R8 = 5,
  Date = 7,
  Bstr = 8,
  Dispatch = 9,
  Error = 10,
  Bool = 11,
  Int = 22,
  ArrayOfVariant = 0x2000 | 12,
};

inline constexpr std::int16_t kVariantTrue = -1;
inline constexpr std::int16_t kVariantFalse = 0;

class Variant {
 public:
  Variant() = default;  // VT_EMPTY
  static Variant FromNull();
  static Variant FromBool(bool value);  // VARIANT_TRUE (-1) or VARIANT_FALSE (0)
  // A VT_BOOL exactly as another program sent it: a control may answer 1
  // where VARIANT_TRUE is -1, and comparisons must see the difference.
  static Variant FromVariantBool(std::int16_t raw);
  static Variant FromI4(std::int32_t value);
  static Variant FromInt(std::int32_t value);  // VT_INT: the index type of Outlook collections
  static Variant FromR8(double value);
  static Variant FromDate(double oleDate);
  static Variant FromBstr(Bstr value);
  static Variant FromObject(std::shared_ptr<IObject> value);
  static Variant FromError(HRESULT scode);
  static Variant FromArray(std::shared_ptr<SafeArray> value);

  VarType Type() const noexcept { return m_type; }
  bool IsEmpty() const noexcept { return m_type == VarType::Empty; }

  // Exact-type accessors; another type throws ComError DISP_E_TYPEMISMATCH.
  bool AsBool() const;                 // any non-zero VT_BOOL is true
  std::int16_t AsVariantBool() const;  // the VT_BOOL's own value
  std::int32_t AsInt32() const;  // VT_I4 or VT_INT
  double AsDouble() const;       // VT_R8 or VT_DATE
  const Bstr& AsBstr() const;
  std::u16string AsText() const;  // VT_BSTR as text
  const std::shared_ptr<IObject>& AsObject() const;  // may be null
  HRESULT AsError() const;
  const std::shared_ptr<SafeArray>& AsArray() const;

  // VariantChangeType for the targets VT_BSTR, VT_BOOL and VT_I4 (and the
  // identity). Throws ComError DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW.
  Variant ChangeType(VarType target) const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  struct BoolBits {
    std::int16_t raw;
    friend bool operator==(BoolBits a, BoolBits b) { return a.raw == b.raw; }
  };
  using Value = std::variant<std::monostate, BoolBits, std::int32_t, double, Bstr, std::shared_ptr<IObject>,
                             std::shared_ptr<SafeArray>>;
  Variant(VarType type, Value value) : m_type(type), m_value(std::move(value)) {}

  VarType m_type = VarType::Empty;
  Value m_value;
};

// A SAFEARRAY of VARIANT with one or two dimensions. The first index varies
// fastest: element (i, j) of a two-dimensional array with n elements in
// dimension 1 is stored at (j - lower2) * n + (i - lower1).
class SafeArray {
 public:
  struct Bound {
    std::int32_t lower = 0;
    std::uint32_t count = 0;
  };

  explicit SafeArray(std::vector<Bound> bounds);
  static std::shared_ptr<SafeArray> Create2D(std::uint32_t count1, std::uint32_t count2);

  std::size_t Dimensions() const noexcept { return m_bounds.size(); }
  // 1-based dimension, as SafeArrayGetLBound/UBound take it. A dimension
  // out of range throws ComError DISP_E_BADINDEX.
  std::int32_t LowerBound(std::size_t dimension) const;
  std::int32_t UpperBound(std::size_t dimension) const;
  const std::vector<Bound>& Bounds() const noexcept { return m_bounds; }

  // Indices in dimension order; out of bounds throws DISP_E_BADINDEX.
  const Variant& At(std::initializer_list<std::int32_t> indices) const;
  Variant& At(std::initializer_list<std::int32_t> indices);
  std::vector<Variant>& Elements() noexcept { return m_elements; }
  const std::vector<Variant>& Elements() const noexcept { return m_elements; }

  // SafeArrayRedim: a new count for the last dimension; elements kept.
  void Redim(std::uint32_t lastCount);

 private:
  std::size_t Offset(std::initializer_list<std::int32_t> indices) const;
  std::vector<Bound> m_bounds;
  std::vector<Variant> m_elements;
};

}  // namespace CV
