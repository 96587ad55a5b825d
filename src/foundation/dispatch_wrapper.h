// DispatchWrapper: the base of the typed wrappers over objects reached by
// member name (Outlook's and the vendor components'), written like the
// wrappers a type-library import generates: a small value around an object
// reference whose methods call the member of that name. Every failure
// throws ComError; a call on an empty reference E_POINTER.
#pragma once

#include <string>
#include <vector>

#include "foundation/object.h"

namespace CV {

class DispatchWrapper {
 public:
  DispatchWrapper() = default;
  explicit DispatchWrapper(ObjectPtr object) : m_object(std::move(object)) {}
  const ObjectPtr& Object() const noexcept { return m_object; }
  explicit operator bool() const noexcept { return m_object != nullptr; }

 protected:
  std::u16string Text(std::u16string_view member) const;
  std::int32_t Long(std::u16string_view member) const;
  bool Boolean(std::u16string_view member) const;
  Variant Value(std::u16string_view member) const;
  void Set(std::u16string_view member, Variant value) const;
  ObjectPtr Child(std::u16string_view member, std::vector<Variant> args = {}) const;
  ObjectPtr Call(std::u16string_view member, std::vector<Variant> args = {}) const;
  Variant Invoke(std::u16string_view member, std::vector<Variant> args = {}) const;

  ObjectPtr m_object;
};

}  // namespace CV
