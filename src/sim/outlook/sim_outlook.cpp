#include "sim/outlook/sim_outlook.h"

#include "sim/outlook/sim_support.h"

namespace CV::Sim {

using namespace CV::Outlook;
using namespace Support;

namespace {
constexpr Guid kApplicationEvents = Guid::FromLiteral("0006304E-0000-0000-C000-000000000046");
}  // namespace

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
  m_world->SetApplication(m_application);
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
