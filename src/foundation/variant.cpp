#include "foundation/variant.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "foundation/ascii.h"
#include "foundation/com_error.h"
#include "foundation/format.h"
#include "foundation/object.h"

namespace CV {
namespace {

#ifndef DISP_E_OVERFLOW
constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000Au);
#endif

[[noreturn]] void Mismatch() { ThrowComError(DISP_E_TYPEMISMATCH); }


// A decimal number with optional blanks, sign and fraction ("12", " -3.5 ");
// nullopt when the text is no number.
std::optional<double> ParseNumber(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsAsciiSpace(text[i])) ++i;
  std::string ascii;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ascii.push_back(static_cast<char>(text[i++]));
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
    ascii.push_back(static_cast<char>(text[i++]));
    ++digits;
  }
  if (i < text.size() && text[i] == u'.') {
    ascii.push_back('.');
    ++i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
      ascii.push_back(static_cast<char>(text[i++]));
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  while (i < text.size() && IsAsciiSpace(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  return std::strtod(ascii.c_str(), nullptr);
}

std::int32_t RoundToInt32(double v) {
  if (std::isnan(v)) ThrowComError(DISP_E_OVERFLOW);
  const double r = std::nearbyint(v);  // round half to even, as the platform does
  if (r < -2147483648.0 || r > 2147483647.0) ThrowComError(DISP_E_OVERFLOW);
  return static_cast<std::int32_t>(r);
}

}  // namespace

Variant Variant::FromNull() { return Variant(VarType::Null, std::monostate{}); }
Variant Variant::FromBool(bool value) { return Variant(VarType::Bool, BoolBits{static_cast<std::int16_t>(value ? -1 : 0)}); }
Variant Variant::FromVariantBool(std::int16_t raw) { return Variant(VarType::Bool, BoolBits{raw}); }
Variant Variant::FromI4(std::int32_t value) { return Variant(VarType::I4, value); }
Variant Variant::FromInt(std::int32_t value) { return Variant(VarType::Int, value); }
Variant Variant::FromR8(double value) { return Variant(VarType::R8, value); }
Variant Variant::FromDate(double oleDate) { return Variant(VarType::Date, oleDate); }
Variant Variant::FromBstr(Bstr value) { return Variant(VarType::Bstr, std::move(value)); }
Variant Variant::FromObject(std::shared_ptr<IObject> value) { return Variant(VarType::Dispatch, std::move(value)); }
Variant Variant::FromError(HRESULT scode) { return Variant(VarType::Error, scode); }
Variant Variant::FromArray(std::shared_ptr<SafeArray> value) {
  return Variant(VarType::ArrayOfVariant, std::move(value));
}

std::int16_t Variant::AsVariantBool() const {
  if (m_type != VarType::Bool) Mismatch();
  return std::get<BoolBits>(m_value).raw;
}

bool Variant::AsBool() const {
  if (m_type != VarType::Bool) Mismatch();
  return std::get<BoolBits>(m_value).raw != 0;
}

std::int32_t Variant::AsInt32() const {
  if (m_type != VarType::I4 && m_type != VarType::Int) Mismatch();
  return std::get<std::int32_t>(m_value);
}

double Variant::AsDouble() const {
  if (m_type != VarType::R8 && m_type != VarType::Date) Mismatch();
  return std::get<double>(m_value);
}

const Bstr& Variant::AsBstr() const {
  if (m_type != VarType::Bstr) Mismatch();
  return std::get<Bstr>(m_value);
}

std::u16string Variant::AsText() const { return AsBstr().Text(); }

const std::shared_ptr<IObject>& Variant::AsObject() const {
  if (m_type != VarType::Dispatch) Mismatch();
  return std::get<std::shared_ptr<IObject>>(m_value);
}

HRESULT Variant::AsError() const {
  if (m_type != VarType::Error) Mismatch();
  return std::get<std::int32_t>(m_value);
}

const std::shared_ptr<SafeArray>& Variant::AsArray() const {
  if (m_type != VarType::ArrayOfVariant) Mismatch();
  return std::get<std::shared_ptr<SafeArray>>(m_value);
}

Variant Variant::ChangeType(VarType target) const {
  if (target == m_type) return *this;
  switch (target) {
    case VarType::Bstr:
      switch (m_type) {
        case VarType::Empty: return FromBstr(Bstr(u""));
        case VarType::Bool: return FromBstr(Bstr(AsBool() ? u"-1" : u"0"));
        case VarType::R8: return FromBstr(Bstr(Format(u"%.15G", AsDouble())));
        case VarType::I4: case VarType::Int: return FromBstr(Bstr(Format(u"%d", AsInt32())));
        default: Mismatch();
      }
    case VarType::Bool:
      switch (m_type) {
        case VarType::Empty: return FromBool(false);
        case VarType::I4: case VarType::Int: return FromBool(AsInt32() != 0);
        case VarType::R8: return FromBool(AsDouble() != 0.0);
        case VarType::Bstr: {
          const std::u16string text = AsText();
          if (EqualsIgnoreAsciiCase(text, u"True")) return FromBool(true);
          if (EqualsIgnoreAsciiCase(text, u"False")) return FromBool(false);
          if (const auto n = ParseNumber(text)) return FromBool(*n != 0.0);
          Mismatch();
        }
        default: Mismatch();
      }
    case VarType::I4:
      switch (m_type) {
        case VarType::Empty: return FromI4(0);
        case VarType::Bool: return FromI4(AsVariantBool());
        case VarType::Int: return FromI4(AsInt32());
        case VarType::R8: return FromI4(RoundToInt32(AsDouble()));
        case VarType::Bstr: {
          if (const auto n = ParseNumber(AsText())) return FromI4(RoundToInt32(*n));
          Mismatch();
        }
        default: Mismatch();
      }
    default:
      Mismatch();
  }
}

bool operator==(const Variant& a, const Variant& b) { return a.m_type == b.m_type && a.m_value == b.m_value; }

SafeArray::SafeArray(std::vector<Bound> bounds) : m_bounds(std::move(bounds)) {
  std::size_t total = m_bounds.empty() ? 0 : 1;
  for (const Bound& b : m_bounds) total *= b.count;
  m_elements.resize(total);
}

std::shared_ptr<SafeArray> SafeArray::Create2D(std::uint32_t count1, std::uint32_t count2) {
  return std::make_shared<SafeArray>(std::vector<Bound>{{0, count1}, {0, count2}});
}

std::int32_t SafeArray::LowerBound(std::size_t dimension) const {
  if (dimension < 1 || dimension > m_bounds.size()) ThrowComError(DISP_E_BADINDEX);
  return m_bounds[dimension - 1].lower;
}

std::int32_t SafeArray::UpperBound(std::size_t dimension) const {
  if (dimension < 1 || dimension > m_bounds.size()) ThrowComError(DISP_E_BADINDEX);
  const Bound& b = m_bounds[dimension - 1];
  return b.lower + static_cast<std::int32_t>(b.count) - 1;
}

std::size_t SafeArray::Offset(std::initializer_list<std::int32_t> indices) const {
  if (indices.size() != m_bounds.size()) ThrowComError(DISP_E_BADINDEX);
  std::size_t offset = 0, stride = 1;
  std::size_t d = 0;
  for (const std::int32_t index : indices) {
    const Bound& b = m_bounds[d++];
    const std::int64_t k = static_cast<std::int64_t>(index) - b.lower;
    if (k < 0 || k >= static_cast<std::int64_t>(b.count)) ThrowComError(DISP_E_BADINDEX);
    offset += static_cast<std::size_t>(k) * stride;
    stride *= b.count;
  }
  return offset;
}

const Variant& SafeArray::At(std::initializer_list<std::int32_t> indices) const { return m_elements[Offset(indices)]; }
Variant& SafeArray::At(std::initializer_list<std::int32_t> indices) { return m_elements[Offset(indices)]; }

void SafeArray::Redim(std::uint32_t lastCount) {
  if (m_bounds.empty()) ThrowComError(DISP_E_BADINDEX);
  m_bounds.back().count = lastCount;
  std::size_t total = 1;
  for (const Bound& b : m_bounds) total *= b.count;
  m_elements.resize(total);  // the last dimension varies slowest: a resize keeps the rest in place
}

}  // namespace CV
