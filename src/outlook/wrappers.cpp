#include "outlook/wrappers.h"

#include "foundation/com_error.h"

namespace CV::Outlook {

// Collections are indexed from 1 with a VT_INT.
ObjectPtr Items::Item(std::int32_t index) const { return Call(u"Item", {Variant::FromInt(index)}); }
Folder Folders::Item(std::int32_t index) const { return Folder(Call(u"Item", {Variant::FromInt(index)})); }
ObjectPtr SimpleItems::Item(std::int32_t index) const { return Call(u"Item", {Variant::FromInt(index)}); }
ObjectPtr Selection::Item(std::int32_t index) const { return Call(u"Item", {Variant::FromInt(index)}); }
ObjectPtr Explorers::Item(std::int32_t index) const { return Call(u"Item", {Variant::FromInt(index)}); }
Store Stores::Item(std::int32_t index) const { return Store(Call(u"Item", {Variant::FromInt(index)})); }
Attachment Attachments::Item(std::int32_t index) const {
  return Attachment(DeclaredAs(Call(u"Item", {Variant::FromInt(index)}), Attachment::kIid));
}

std::vector<Variant> PropertyAccessor::GetProperties(std::initializer_list<std::u16string_view> schemaNames) const {
  auto names = std::make_shared<SafeArray>(
      std::vector<SafeArray::Bound>{{0, static_cast<std::uint32_t>(schemaNames.size())}});
  std::size_t i = 0;
  for (const std::u16string_view name : schemaNames) names->Elements()[i++] = Variant::FromBstr(Bstr(name));
  const Variant values = Invoke(u"GetProperties", {Variant::FromArray(std::move(names))});
  if (values.Type() != VarType::ArrayOfVariant || !values.AsArray() || values.AsArray()->Dimensions() != 1 ||
      values.AsArray()->Elements().size() != schemaNames.size())
    ThrowComError(DISP_E_TYPEMISMATCH, Iid::PropertyAccessor);
  return values.AsArray()->Elements();
}

Application MailItem::Application() const { return Outlook::Application(Child(u"Application")); }

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
