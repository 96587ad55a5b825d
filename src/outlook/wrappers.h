// Typed wrappers over the Outlook and Office members the system uses, written
// like the wrappers a type-library import generates (see DispatchWrapper);
// Query performs the QueryInterface type test with the real interface id.
#pragma once

#include <string>

#include "foundation/dispatch_wrapper.h"
#include "foundation/object.h"
#include "outlook/outlook_ids.h"

namespace CV::Outlook {

using Wrapper = DispatchWrapper;

// The type test: the object as interface T, or an empty T on E_NOINTERFACE.
template <class T>
T Query(const ObjectPtr& object) {
  return T(QueryObject(object, T::kIid));
}

#define CV_OUTLOOK_WRAPPER(Name, IidName)  \
  static constexpr const Guid& kIid = Iid::IidName; \
  using Wrapper::Wrapper

class Items : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Items, Items);
  std::int32_t Count() const { return Long(u"Count"); }
  ObjectPtr Item(std::int32_t index) const;  // 1-based
};

class Folder;

class Folders : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Folders, Folders);
  std::int32_t Count() const { return Long(u"Count"); }
  Folder Item(std::int32_t index) const;
};

class Folder : public Wrapper {  // MAPIFolder
 public:
  CV_OUTLOOK_WRAPPER(Folder, MapiFolder);
  std::u16string FullFolderPath() const { return Text(u"FullFolderPath"); }
  std::u16string Name() const { return Text(u"Name"); }
  std::u16string EntryID() const { return Text(u"EntryID"); }
  std::u16string StoreID() const { return Text(u"StoreID"); }
  std::int32_t DefaultItemType() const { return Long(u"DefaultItemType"); }
  Outlook::Items Items() const { return Outlook::Items(Child(u"Items")); }
  Outlook::Folders Folders() const { return Outlook::Folders(Child(u"Folders")); }
};

class PropertyAccessor : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(PropertyAccessor, PropertyAccessor);
  Variant GetProperty(std::u16string_view schemaName) const { return Invoke(u"GetProperty", {Variant::FromBstr(Bstr(schemaName))}); }
  // Several properties in one call, in the order asked; one that cannot be
  // read holds its error (VT_ERROR) in its place.
  std::vector<Variant> GetProperties(std::initializer_list<std::u16string_view> schemaNames) const;
  void SetProperty(std::u16string_view schemaName, Variant value) const {
    Invoke(u"SetProperty", {Variant::FromBstr(Bstr(schemaName)), std::move(value)});
  }
};

class Attachment : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Attachment, Attachment);
  std::u16string FileName() const { return Text(u"FileName"); }
  std::int32_t Type() const { return Long(u"Type"); }
  ObjectPtr Parent() const { return Child(u"Parent"); }
  Outlook::PropertyAccessor PropertyAccessor() const {
    return Outlook::PropertyAccessor(DeclaredAs(Child(u"PropertyAccessor"), Outlook::PropertyAccessor::kIid));
  }
  void SaveAsFile(std::u16string_view path) const { Invoke(u"SaveAsFile", {Variant::FromBstr(Bstr(path))}); }
};

class Attachments : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Attachments, Attachments);
  std::int32_t Count() const { return Long(u"Count"); }
  Attachment Item(std::int32_t index) const;  // 1-based
};

class Application;

class MailItem : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(MailItem, MailItem);
  std::u16string EntryID() const { return Text(u"EntryID"); }
  std::u16string SenderEmailAddress() const { return Text(u"SenderEmailAddress"); }
  std::u16string Subject() const { return Text(u"Subject"); }
  void Subject(std::u16string_view subject) const { Set(u"Subject", Variant::FromBstr(Bstr(subject))); }
  std::u16string To() const { return Text(u"To"); }
  std::u16string CC() const { return Text(u"CC"); }
  std::u16string BCC() const { return Text(u"BCC"); }
  std::u16string SenderName() const { return Text(u"SenderName"); }
  std::u16string SentOnBehalfOfName() const { return Text(u"SentOnBehalfOfName"); }
  std::u16string ReceivedByName() const { return Text(u"ReceivedByName"); }
  Variant ReceivedTime() const { return Value(u"ReceivedTime"); }
  Variant SentOn() const { return Value(u"SentOn"); }
  Variant CreationTime() const { return Value(u"CreationTime"); }
  bool Sent() const { return Boolean(u"Sent"); }
  bool Submitted() const { return Boolean(u"Submitted"); }
  std::int32_t Size() const { return Long(u"Size"); }
  std::int32_t Importance() const { return Long(u"Importance"); }
  std::int32_t BodyFormat() const { return Long(u"BodyFormat"); }
  std::u16string HTMLBody() const { return Text(u"HTMLBody"); }
  Outlook::PropertyAccessor PropertyAccessor() const {
    return Outlook::PropertyAccessor(DeclaredAs(Child(u"PropertyAccessor"), Outlook::PropertyAccessor::kIid));
  }
  Outlook::Attachments Attachments() const {
    return Outlook::Attachments(DeclaredAs(Child(u"Attachments"), Outlook::Attachments::kIid));
  }
  Outlook::Application Application() const;
  void SaveAs(std::u16string_view path, std::int32_t type) const {
    Invoke(u"SaveAs", {Variant::FromBstr(Bstr(path)), Variant::FromI4(type)});
  }
  ObjectPtr Copy() const { return Call(u"Copy"); }
  ObjectPtr Move(const ObjectPtr& folder) const { return Call(u"Move", {Variant::FromObject(folder)}); }
  void Save() const { Invoke(u"Save"); }
  void Delete() const { Invoke(u"Delete"); }
  void Display(bool modal) const { Invoke(u"Display", {Variant::FromBool(modal)}); }
};

class SimpleItems : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(SimpleItems, SimpleItems);
  std::int32_t Count() const { return Long(u"Count"); }
  ObjectPtr Item(std::int32_t index) const;
};

class ConversationHeader : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(ConversationHeader, ConversationHeader);
  SimpleItems GetItems() const { return SimpleItems(Call(u"GetItems")); }
};

class Application;

class Selection : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Selection, Selection);
  std::int32_t Count() const { return Long(u"Count"); }
  ObjectPtr Item(std::int32_t index) const;
  Selection GetSelection(std::int32_t contents) const;
  Outlook::Application Application() const;
};

class Explorer : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Explorer, Explorer);
  Outlook::Selection Selection() const { return Outlook::Selection(Child(u"Selection")); }
  Folder CurrentFolder() const { return Folder(Child(u"CurrentFolder")); }
};

class Explorers : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Explorers, Explorers);
  std::int32_t Count() const { return Long(u"Count"); }
  ObjectPtr Item(std::int32_t index) const;
};

class Store : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Store, Store);
  std::u16string StoreID() const { return Text(u"StoreID"); }
  std::int32_t ExchangeStoreType() const { return Long(u"ExchangeStoreType"); }
  Folder GetRootFolder() const { return Folder(Call(u"GetRootFolder")); }
  Folder GetDefaultFolder(std::int32_t type) const { return Folder(Call(u"GetDefaultFolder", {Variant::FromI4(type)})); }
};

class Stores : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Stores, Stores);
  std::int32_t Count() const { return Long(u"Count"); }
  Store Item(std::int32_t index) const;
};

class NameSpace : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(NameSpace, NameSpace);
  ObjectPtr GetItemFromID(std::u16string_view entryId, std::u16string_view storeId) const;
  Outlook::Stores Stores() const { return Outlook::Stores(Child(u"Stores")); }
  Folder GetDefaultFolder(std::int32_t type) const { return Folder(Call(u"GetDefaultFolder", {Variant::FromI4(type)})); }
};

class Application : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(Application, Application);
  std::u16string Version() const { return Text(u"Version"); }
  Outlook::Explorers Explorers() const { return Outlook::Explorers(Child(u"Explorers")); }
  Explorer ActiveExplorer() const { return Explorer(Call(u"ActiveExplorer")); }
  NameSpace Session() const { return NameSpace(Child(u"Session")); }
  NameSpace GetNamespace(std::u16string_view type) const;
};

class RibbonUI : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(RibbonUI, RibbonUI);
  void Invalidate() const { Call(u"Invalidate"); }
};

class RibbonControl : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(RibbonControl, RibbonControl);
  ObjectPtr Context() const { return Child(u"Context"); }
  std::u16string Id() const { return Text(u"Id"); }
  std::u16string Tag() const { return Text(u"Tag"); }
};

#undef CV_OUTLOOK_WRAPPER

}  // namespace CV::Outlook
