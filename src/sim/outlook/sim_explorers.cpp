#include "sim/outlook/sim_outlook.h"

#include "foundation/format.h"
#include "sim/outlook/sim_support.h"

namespace CV::Sim {

using namespace CV::Outlook;
using namespace Support;

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

}  // namespace CV::Sim
