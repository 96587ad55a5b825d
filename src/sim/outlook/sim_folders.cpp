#include "sim/outlook/sim_outlook.h"

#include "foundation/format.h"
#include "sim/outlook/sim_support.h"

namespace CV::Sim {

using namespace CV::Outlook;
using namespace Support;

// ---- collections

SimCollection::SimCollection(std::shared_ptr<SimWorld> world, Guid iid, Access access)
    : SimObject(std::move(world), iid) {
  Get(u"Count", [access](auto&) { return Variant::FromI4(static_cast<std::int32_t>(access.count())); });
  Method(u"Item", [access](auto& a) {
    const std::int32_t index = IndexArgument(a);
    if (index < 1 || index > static_cast<std::int32_t>(access.count())) ThrowComError(DISP_E_BADINDEX);
    return Obj(access.at(static_cast<std::size_t>(index - 1)));
  });
}

// ---- folders

SimFolder::SimFolder(std::shared_ptr<SimWorld> world, std::weak_ptr<SimStore> store, std::weak_ptr<SimFolder> parent,
                     std::u16string name, std::int32_t itemType)
    : SimObject(std::move(world), Iid::MapiFolder), m_store(std::move(store)), m_parent(std::move(parent)),
      m_name(std::move(name)), m_entryId(World().NextId(u"F")), m_itemType(itemType) {
  Get(u"Name", [this](auto&) { return Text(m_name); });
  Get(u"FullFolderPath", [this](auto&) { return Text(FullFolderPath()); });
  Get(u"EntryID", [this](auto&) { return Text(m_entryId); });
  Get(u"StoreID", [this](auto&) { return Text(StoreId()); });
  Get(u"DefaultItemType", [this](auto&) { return Variant::FromI4(m_itemType); });
  Get(u"Items", [this](auto&) { return Obj(m_itemsObject); });
  Get(u"Folders", [this](auto&) { return Obj(m_foldersObject); });
}

void SimFolder::Build() {
  std::weak_ptr<SimFolder> self = Self<SimFolder>();
  m_itemsObject = std::make_shared<SimCollection>(
      WorldPtr(), Iid::Items,
      SimCollection::Access{[self] { return Alive(self)->ItemCount(); },
                            [self](std::size_t i) -> ObjectPtr {
                              auto folder = Alive(self);
                              if (i < folder->m_items.size()) return folder->m_items[i];
                              return folder->m_source->Make(i - folder->m_items.size(), folder);
                            }});
  m_foldersObject =
      std::make_shared<SimCollection>(WorldPtr(), Iid::Folders, MemberList(self, &SimFolder::m_folders));
}

std::u16string SimFolder::FullFolderPath() const {
  if (auto parent = m_parent.lock()) return parent->FullFolderPath() + u"\\" + m_name;
  return u"\\\\" + m_name;
}

std::u16string SimFolder::StoreId() const { return Alive(m_store)->StoreId(); }

std::shared_ptr<SimItem> SimFolder::AddMail(std::u16string subject) {
  std::lock_guard lock(World().Lock());
  if (subject.empty()) subject = Format(u"Mail %d in %s", static_cast<int>(m_items.size() + 1), m_name);
  auto item = std::make_shared<SimItem>(WorldPtr(), ItemKind::Mail, World().NextId(u"M"), std::move(subject));
  item->Build(Self<SimFolder>());
  m_items.push_back(item);
  return item;
}

std::vector<std::shared_ptr<SimItem>> SimFolder::AddMails(int count) {
  std::vector<std::shared_ptr<SimItem>> added;
  for (int i = 0; i < count; ++i) added.push_back(AddMail());
  return added;
}

std::vector<std::shared_ptr<SimItem>> SimFolder::AddItems(ItemKind kind, int count) {
  std::lock_guard lock(World().Lock());
  std::vector<std::shared_ptr<SimItem>> added;
  for (int i = 0; i < count; ++i) {
    auto item = std::make_shared<SimItem>(WorldPtr(), kind, World().NextId(u"I"),
                                          Format(u"Element %d in %s", static_cast<int>(m_items.size() + 1), m_name));
    item->Build(Self<SimFolder>());
    m_items.push_back(item);
    added.push_back(item);
  }
  return added;
}

std::shared_ptr<SimFolder> SimFolder::AddFolder(std::u16string name, std::int32_t itemType) {
  std::lock_guard lock(World().Lock());
  auto folder = std::make_shared<SimFolder>(WorldPtr(), m_store, Self<SimFolder>(), std::move(name), itemType);
  folder->Build();
  m_folders.push_back(folder);
  return folder;
}

void SimFolder::Rename(std::u16string name) {
  std::lock_guard lock(World().Lock());
  m_name = std::move(name);
}

void SimFolder::SetItemType(std::int32_t itemType) {
  std::lock_guard lock(World().Lock());
  m_itemType = itemType;
}

void SimFolder::SetItemSource(std::shared_ptr<ISimItemSource> source) {
  std::lock_guard lock(World().Lock());
  m_source = std::move(source);
}

std::size_t SimFolder::ItemCount() const { return m_items.size() + (m_source ? m_source->Count() : 0); }

void SimFolder::Adopt(std::shared_ptr<SimItem> item) {
  std::lock_guard lock(World().Lock());
  m_items.push_back(std::move(item));
}

void SimFolder::Release(const SimItem* item) {
  std::lock_guard lock(World().Lock());
  std::erase_if(m_items, [item](const auto& i) { return i.get() == item; });
}

std::shared_ptr<SimItem> SimFolder::FindItem(std::u16string_view entryId) {
  for (const auto& item : m_items)
    if (item->EntryId() == entryId) return item;
  if (m_source)
    if (const auto index = m_source->Find(entryId)) return m_source->Make(*index, Self<SimFolder>());
  for (const auto& folder : m_folders)
    if (auto found = folder->FindItem(entryId)) return found;
  return nullptr;
}

// ---- stores

SimStore::SimStore(std::shared_ptr<SimWorld> world, std::u16string displayName, bool exchange)
    : SimObject(std::move(world), Iid::Store), m_displayName(std::move(displayName)),
      m_storeId(World().NextId(u"S")), m_exchange(exchange) {
  Get(u"DisplayName", [this](auto&) { return Text(m_displayName); });
  Get(u"StoreID", [this](auto&) { return Text(m_storeId); });
  Get(u"ExchangeStoreType", [this](auto&) {
    return Variant::FromI4(m_exchange ? olPrimaryExchangeMailbox : olNotExchange);
  });
  Method(u"GetRootFolder", [this](auto&) { return Obj(m_root); });
  Method(u"GetDefaultFolder", [this](auto& a) {
    auto folder = DefaultFolder(IndexArgument(a));
    if (!folder) ThrowComError(MAPI_E_NOT_FOUND, Iid::Store);
    return Obj(folder);
  });
}

void SimStore::Build() {
  m_root = std::make_shared<SimFolder>(WorldPtr(), Self<SimStore>(), std::weak_ptr<SimFolder>(), m_displayName,
                                       olMailItem);
  m_root->Build();
  const struct {
    std::int32_t type;
    const char16_t* name;
    std::int32_t itemType;
  } defaults[] = {
      {olFolderDeletedItems, u"Gelöschte Elemente", olMailItem},
      {olFolderInbox, u"Posteingang", olMailItem},
      {olFolderOutbox, u"Postausgang", olMailItem},
      {olFolderSentMail, u"Gesendete Elemente", olMailItem},
      {olFolderDrafts, u"Entwürfe", olMailItem},
      {olFolderCalendar, u"Kalender", olAppointmentItem},
      {olFolderContacts, u"Kontakte", olContactItem},
      {olFolderTasks, u"Aufgaben", olTaskItem},
      {olFolderJunk, u"Junk-E-Mail", olMailItem},
      {olFolderRssFeeds, u"RSS-Feeds", olMailItem},
  };
  for (const auto& d : defaults) m_defaults[d.type] = m_root->AddFolder(d.name, d.itemType);
  if (m_exchange) {
    auto sync = m_root->AddFolder(u"Synchronisierungsprobleme");
    m_defaults[olFolderSyncIssues] = sync;
    m_defaults[olFolderConflicts] = sync->AddFolder(u"Konflikte");
    m_defaults[olFolderLocalFailures] = sync->AddFolder(u"Lokale Fehler");
    m_defaults[olFolderServerFailures] = sync->AddFolder(u"Serverfehler");
  }
}

std::shared_ptr<SimFolder> SimStore::DefaultFolder(std::int32_t type) const {
  const auto it = m_defaults.find(type);
  return it == m_defaults.end() ? nullptr : it->second;
}

void SimStore::RemoveDefaultFolder(std::int32_t type) {
  std::lock_guard lock(World().Lock());
  m_defaults.erase(type);
}

std::shared_ptr<SimItem> SimStore::FindItem(std::u16string_view entryId) const { return m_root->FindItem(entryId); }

}  // namespace CV::Sim
