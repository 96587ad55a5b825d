#include "sim/outlook/sim_outlook.h"

#include "foundation/com_error.h"
#include "foundation/format.h"

namespace CV::Sim {

using namespace CV::Outlook;

namespace {

constexpr HRESULT MAPI_E_NOT_FOUND = MakeHResult(0x8004010Fu);
#ifndef RPC_E_DISCONNECTED
constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108u);
#endif

// Interface ids of the non-mail item kinds: they answer E_NOINTERFACE for _MailItem.
constexpr Guid kMeetingItem = Guid::FromLiteral("00063062-0000-0000-C000-000000000046");
constexpr Guid kContactItem = Guid::FromLiteral("00063021-0000-0000-C000-000000000046");
constexpr Guid kAppointmentItem = Guid::FromLiteral("00063033-0000-0000-C000-000000000046");
constexpr Guid kReportItem = Guid::FromLiteral("00063026-0000-0000-C000-000000000046");
constexpr Guid kApplicationEvents = Guid::FromLiteral("0006304E-0000-0000-C000-000000000046");

Guid IidOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Mail: return Iid::MailItem;
    case ItemKind::MeetingRequest: return kMeetingItem;
    case ItemKind::Contact: return kContactItem;
    case ItemKind::Appointment: return kAppointmentItem;
    case ItemKind::Report: return kReportItem;
  }
  return Iid::MailItem;
}

template <class T>
std::shared_ptr<T> Alive(const std::weak_ptr<T>& weak) {
  std::shared_ptr<T> p = weak.lock();
  if (!p) ThrowComError(RPC_E_DISCONNECTED);
  return p;
}

template <class T>
std::vector<ObjectPtr> Objects(const std::vector<std::shared_ptr<T>>& list) {
  return {list.begin(), list.end()};
}

// The list member of an owner that may be gone by the time it is asked.
template <class Owner, class T>
SimCollection::Access MemberList(std::weak_ptr<Owner> owner, std::vector<std::shared_ptr<T>> Owner::*list) {
  return {[owner, list] { return (Alive(owner).get()->*list).size(); },
          [owner, list](std::size_t i) -> ObjectPtr { return (Alive(owner).get()->*list)[i]; }};
}

SimCollection::Access FixedList(std::vector<ObjectPtr> items) {
  auto shared = std::make_shared<const std::vector<ObjectPtr>>(std::move(items));
  return {[shared] { return shared->size(); }, [shared](std::size_t i) { return (*shared)[i]; }};
}

}  // namespace

// ---- items

SimItem::SimItem(std::shared_ptr<SimWorld> world, ItemKind kind, std::u16string entryId, std::u16string subject_)
    : SimObject(std::move(world), IidOf(kind)), subject(std::move(subject_)), m_kind(kind),
      m_entryId(std::move(entryId)) {
  Get(u"EntryID", [this](auto&) { return Text(m_entryId); });
  Get(u"Subject", [this](auto&) { return Text(subject); });
  Put(u"Subject", [this](auto& a) {
    subject = a.at(0).ChangeType(VarType::Bstr).AsText();
    return Variant();
  });
  if (kind == ItemKind::Mail) Get(u"SenderEmailAddress", [this](auto&) { return Text(senderEmailAddress); });
}

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
  m_itemsObject = std::make_shared<SimCollection>(WorldPtr(), Iid::Items, MemberList(self, &SimFolder::m_items));
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

std::shared_ptr<SimItem> SimFolder::FindItem(std::u16string_view entryId) const {
  for (const auto& item : m_items)
    if (item->EntryId() == entryId) return item;
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

// ---- selections and explorers

SimSelection::SimSelection(std::shared_ptr<SimWorld> world, std::weak_ptr<SimApplication> application,
                           std::vector<ObjectPtr> items, std::vector<ObjectPtr> headers)
    : SimObject(std::move(world), Iid::Selection) {
  Get(u"Count", [items](auto&) { return Variant::FromI4(static_cast<std::int32_t>(items.size())); });
  Method(u"Item", [items](auto& a) {
    const std::int32_t index = IndexArgument(a);
    if (index < 1 || index > static_cast<std::int32_t>(items.size())) ThrowComError(DISP_E_BADINDEX);
    return Obj(items[static_cast<std::size_t>(index - 1)]);
  });
  Get(u"Application", [application](auto&) { return Obj(Alive(application)); });
  Method(u"GetSelection", [this, application, headers](auto& a) {
    if (IndexArgument(a) != olConversationHeaders) ThrowComError(E_INVALIDARG, Iid::Selection);
    return Obj(std::make_shared<SimSelection>(WorldPtr(), application, headers, std::vector<ObjectPtr>{}));
  });
}

SimConversationHeader::SimConversationHeader(std::shared_ptr<SimWorld> world, std::vector<ObjectPtr> items)
    : SimObject(std::move(world), Iid::ConversationHeader) {
  m_items = std::make_shared<SimCollection>(WorldPtr(), Iid::SimpleItems, FixedList(std::move(items)));
  Method(u"GetItems", [this](auto&) { return Obj(m_items); });
}

SimExplorer::SimExplorer(std::shared_ptr<SimWorld> world, std::weak_ptr<SimApplication> application,
                         std::shared_ptr<SimFolder> current)
    : SimObject(std::move(world), Iid::Explorer), m_application(std::move(application)), m_current(std::move(current)) {
  Sources(Iid::ExplorerEvents10);
  m_selection = std::make_shared<SimSelection>(WorldPtr(), m_application, std::vector<ObjectPtr>{},
                                               std::vector<ObjectPtr>{});
  Get(u"Selection", [this](auto&) { return Obj(m_selection); });
  Get(u"CurrentFolder", [this](auto&) { return Obj(m_current); });
}

void SimExplorer::Select(std::vector<std::shared_ptr<SimItem>> items) {
  {
    std::lock_guard lock(World().Lock());
    m_selection = std::make_shared<SimSelection>(WorldPtr(), m_application, Objects(items), std::vector<ObjectPtr>{});
  }
  Fire(Iid::ExplorerEvents10, DispId::SelectionChange);
}

void SimExplorer::SelectConversations(std::vector<std::vector<std::shared_ptr<SimItem>>> conversations,
                                      bool expanded) {
  {
    std::lock_guard lock(World().Lock());
    std::vector<ObjectPtr> headers, shown;
    for (const auto& items : conversations) {
      headers.push_back(std::make_shared<SimConversationHeader>(WorldPtr(), Objects(items)));
      if (expanded && !items.empty()) shown.push_back(items.front());
    }
    m_selection = std::make_shared<SimSelection>(WorldPtr(), m_application, shown, headers);
  }
  Fire(Iid::ExplorerEvents10, DispId::SelectionChange);
}

void SimExplorer::SetCurrentFolder(std::shared_ptr<SimFolder> folder) {
  std::lock_guard lock(World().Lock());
  m_current = std::move(folder);
}

void SimExplorer::Close() {
  Fire(Iid::ExplorerEvents10, DispId::Close);
  std::lock_guard lock(World().Lock());
  if (auto app = m_application.lock()) {
    auto& list = app->explorers;
    std::erase_if(list, [this](const auto& e) { return e.get() == this; });
    if (app->activeExplorer.lock().get() == this)
      app->activeExplorer = list.empty() ? std::weak_ptr<SimExplorer>() : list.back();
  }
}

// ---- namespace and application

void SimNameSpace::Build() {
  std::weak_ptr<SimNameSpace> self = Self<SimNameSpace>();
  m_stores = std::make_shared<SimCollection>(WorldPtr(), Iid::Stores, MemberList(self, &SimNameSpace::stores));
}

SimNameSpace::SimNameSpace(std::shared_ptr<SimWorld> world, std::weak_ptr<SimApplication> application)
    : SimObject(std::move(world), Iid::NameSpace) {
  Get(u"Stores", [this](auto&) { return Obj(m_stores); });
  Get(u"Application", [application](auto&) { return Obj(Alive(application)); });
  Method(u"GetDefaultFolder", [this](auto& a) {
    if (stores.empty()) ThrowComError(MAPI_E_NOT_FOUND, Iid::NameSpace);
    auto folder = stores.front()->DefaultFolder(IndexArgument(a));
    if (!folder) ThrowComError(MAPI_E_NOT_FOUND, Iid::NameSpace);
    return Obj(folder);
  });
  Method(u"GetItemFromID", [this](auto& a) {
    if (a.empty()) ThrowComError(DISP_E_BADPARAMCOUNT, Iid::NameSpace);
    const std::u16string entryId = a[0].ChangeType(VarType::Bstr).AsText();
    const std::u16string storeId = a.size() > 1 && !a[1].IsEmpty() ? a[1].ChangeType(VarType::Bstr).AsText() : u"";
    for (const auto& store : stores) {
      if (!storeId.empty() && store->StoreId() != storeId) continue;
      if (auto item = store->FindItem(entryId)) return Obj(item);
    }
    ThrowComError(MAPI_E_NOT_FOUND, Iid::NameSpace);
  });
}

SimApplication::SimApplication(std::shared_ptr<SimWorld> world, std::u16string version_)
    : SimObject(std::move(world), Iid::Application), version(std::move(version_)) {
  Sources(kApplicationEvents);
  Get(u"Version", [this](auto&) { return Text(version); });
  Get(u"Session", [this](auto&) { return Obj(m_session); });
  Method(u"GetNamespace", [this](auto& a) {
    if (a.size() != 1 || a[0].ChangeType(VarType::Bstr).AsText() != u"MAPI") ThrowComError(E_INVALIDARG, Iid::Application);
    return Obj(m_session);
  });
  Get(u"Explorers", [this](auto&) { return Obj(m_explorers); });
  Method(u"ActiveExplorer", [this](auto&) {
    auto active = activeExplorer.lock();
    return active ? Obj(active) : Variant::FromObject(nullptr);
  });
}

void SimApplication::Build() {
  std::weak_ptr<SimApplication> self = Self<SimApplication>();
  m_session = std::make_shared<SimNameSpace>(WorldPtr(), self);
  m_session->Build();
  m_explorers =
      std::make_shared<SimCollection>(WorldPtr(), Iid::Explorers, MemberList(self, &SimApplication::explorers));
  m_explorers->SourcesEvents(Iid::ExplorersEvents);
}

SimRibbonUI::SimRibbonUI(std::shared_ptr<SimWorld> world) : SimObject(std::move(world), Iid::RibbonUI) {
  Method(u"Invalidate", [](auto&) { return Variant(); });
  Method(u"InvalidateControl", [](auto&) { return Variant(); });
}

SimRibbonControl::SimRibbonControl(std::shared_ptr<SimWorld> world, std::u16string id, ObjectPtr context,
                                   std::u16string tag)
    : SimObject(std::move(world), Iid::RibbonControl) {
  Get(u"Id", [id](auto&) { return Text(id); });
  Get(u"Tag", [tag](auto&) { return Text(tag); });
  Get(u"Context", [context](auto&) { return Obj(context); });
}

// ---- the builder

SimOutlook::SimOutlook(std::u16string version) : m_world(std::make_shared<SimWorld>()) {
  m_application = std::make_shared<SimApplication>(m_world, std::move(version));
  m_application->Build();
}

SimOutlook::~SimOutlook() = default;

std::shared_ptr<SimStore> SimOutlook::AddStore(std::u16string displayName, bool exchange) {
  std::lock_guard lock(m_world->Lock());
  auto store = std::make_shared<SimStore>(m_world, std::move(displayName), exchange);
  store->Build();
  m_application->Session()->stores.push_back(store);
  return store;
}

std::shared_ptr<SimExplorer> SimOutlook::OpenExplorer(std::shared_ptr<SimFolder> folder) {
  std::shared_ptr<SimExplorer> explorer;
  {
    std::lock_guard lock(m_world->Lock());
    explorer = std::make_shared<SimExplorer>(m_world, m_application, std::move(folder));
    m_application->explorers.push_back(explorer);
    m_application->activeExplorer = explorer;
  }
  m_application->ExplorersObject()->Fire(Iid::ExplorersEvents, DispId::NewExplorer, {Variant::FromObject(explorer)});
  return explorer;
}

std::shared_ptr<SimRibbonUI> SimOutlook::NewRibbonUI() { return std::make_shared<SimRibbonUI>(m_world); }

std::shared_ptr<SimRibbonControl> SimOutlook::NewRibbonControl(std::u16string id, ObjectPtr context,
                                                               std::u16string tag) {
  return std::make_shared<SimRibbonControl>(m_world, std::move(id), std::move(context), std::move(tag));
}

}  // namespace CV::Sim
