// Typed wrappers over the Outlook and Office members the system uses, written
// like the wrappers a type-library import generates: each is a small value
// around an object reference, each method calls the member of that name, and
// Query performs the QueryInterface type test with the real interface id.
// Every failure throws ComError; a call on an empty reference E_POINTER.
#pragma once

#include <string>

#include "foundation/object.h"
#include "outlook/outlook_ids.h"

namespace CV::Outlook {

class Wrapper {
 public:
  Wrapper() = default;
  explicit Wrapper(ObjectPtr object) : m_object(std::move(object)) {}
  const ObjectPtr& Object() const noexcept { return m_object; }
  explicit operator bool() const noexcept { return m_object != nullptr; }

 protected:
  std::u16string Text(std::u16string_view member) const;
  std::int32_t Long(std::u16string_view member) const;
  ObjectPtr Child(std::u16string_view member, std::vector<Variant> args = {}) const;
  ObjectPtr Call(std::u16string_view member, std::vector<Variant> args = {}) const;

  ObjectPtr m_object;
};

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
  std::u16string EntryID() const { return Text(u"EntryID"); }
  std::u16string StoreID() const { return Text(u"StoreID"); }
  std::int32_t DefaultItemType() const { return Long(u"DefaultItemType"); }
  Outlook::Items Items() const { return Outlook::Items(Child(u"Items")); }
  Outlook::Folders Folders() const { return Outlook::Folders(Child(u"Folders")); }
};

class MailItem : public Wrapper {
 public:
  CV_OUTLOOK_WRAPPER(MailItem, MailItem);
  std::u16string EntryID() const { return Text(u"EntryID"); }
  std::u16string SenderEmailAddress() const { return Text(u"SenderEmailAddress"); }
  std::u16string Subject() const { return Text(u"Subject"); }
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
