#include "outlook/wrappers.h"

namespace CV::Outlook {

std::u16string Wrapper::Text(std::u16string_view member) const {
  return GetProperty(m_object, member).ChangeType(VarType::Bstr).AsText();
}

std::int32_t Wrapper::Long(std::u16string_view member) const {
  return GetProperty(m_object, member).ChangeType(VarType::I4).AsInt32();
}

ObjectPtr Wrapper::Child(std::u16string_view member, std::vector<Variant> args) const {
  const Variant v = GetProperty(m_object, member, std::move(args));
  return v.IsEmpty() ? nullptr : v.AsObject();
}

ObjectPtr Wrapper::Call(std::u16string_view member, std::vector<Variant> args) const {
  const Variant v = CallMethod(m_object, member, std::move(args));
  return v.Type() == VarType::Dispatch ? v.AsObject() : nullptr;
}

// Collections are indexed from 1 with a VT_INT.
ObjectPtr Items::Item(std::int32_t index) const { return Call(u"Item", {Variant::FromInt(index)}); }
Folder Folders::Item(std::int32_t index) const { return Folder(Call(u"Item", {Variant::FromInt(index)})); }
ObjectPtr SimpleItems::Item(std::int32_t index) const { return Call(u"Item", {Variant::FromInt(index)}); }
ObjectPtr Selection::Item(std::int32_t index) const { return Call(u"Item", {Variant::FromInt(index)}); }
ObjectPtr Explorers::Item(std::int32_t index) const { return Call(u"Item", {Variant::FromInt(index)}); }
Store Stores::Item(std::int32_t index) const { return Store(Call(u"Item", {Variant::FromInt(index)})); }

Selection Selection::GetSelection(std::int32_t contents) const {
  return Selection(Call(u"GetSelection", {Variant::FromI4(contents)}));
}

Application Selection::Application() const { return Outlook::Application(Child(u"Application")); }

ObjectPtr NameSpace::GetItemFromID(std::u16string_view entryId, std::u16string_view storeId) const {
  return Call(u"GetItemFromID", {Variant::FromBstr(Bstr(entryId)), Variant::FromBstr(Bstr(storeId))});
}

NameSpace Application::GetNamespace(std::u16string_view type) const {
  return NameSpace(Call(u"GetNamespace", {Variant::FromBstr(Bstr(type))}));
}

}  // namespace CV::Outlook
