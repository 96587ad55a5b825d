#include "foundation/dispatch_wrapper.h"

namespace CV {

std::u16string DispatchWrapper::Text(std::u16string_view member) const {
  return GetProperty(m_object, member).ChangeType(VarType::Bstr).AsText();
}

std::int32_t DispatchWrapper::Long(std::u16string_view member) const {
  return GetProperty(m_object, member).ChangeType(VarType::I4).AsInt32();
}

bool DispatchWrapper::Boolean(std::u16string_view member) const {
  return GetProperty(m_object, member).ChangeType(VarType::Bool).AsBool();
}

Variant DispatchWrapper::Value(std::u16string_view member) const { return GetProperty(m_object, member); }

void DispatchWrapper::Set(std::u16string_view member, Variant value) const {
  PutProperty(m_object, member, std::move(value));
}

ObjectPtr DispatchWrapper::Child(std::u16string_view member, std::vector<Variant> args) const {
  const Variant v = GetProperty(m_object, member, std::move(args));
  return v.IsEmpty() ? nullptr : v.AsObject();
}

ObjectPtr DispatchWrapper::Call(std::u16string_view member, std::vector<Variant> args) const {
  const Variant v = CallMethod(m_object, member, std::move(args));
  return v.Type() == VarType::Dispatch ? v.AsObject() : nullptr;
}

Variant DispatchWrapper::Invoke(std::u16string_view member, std::vector<Variant> args) const {
  return CallMethod(m_object, member, std::move(args));
}

}  // namespace CV
