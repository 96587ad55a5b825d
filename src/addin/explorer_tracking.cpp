#include "addin/explorer_tracking.h"

#include "foundation/com_error.h"

namespace CV {

namespace detail {
void EventForwarder::OnEvent(std::int32_t dispid, const std::vector<Variant>& args) {
  if (m_attached) m_handler(dispid, args);
}
}  // namespace detail

// ---- one explorer window

COLExplorerWrap::COLExplorerWrap(COLExplorerWrapColl* owner) : m_pOwner(owner) {}

COLExplorerWrap::~COLExplorerWrap() { Unadvise(); }

void COLExplorerWrap::Unadvise() noexcept {
  if (m_sink) m_sink->Detach();
  m_sink.reset();
  if (m_cookie != detail::kNotAdvised && m_spExplorer) {
    try {
      m_spExplorer.Object()->Unadvise(m_cookie);
    } catch (...) {
      // The window may be gone already; the cookie is reset all the same.
    }
  }
  m_cookie = detail::kNotAdvised;
  m_spExplorer = Outlook::Explorer();
}

bool COLExplorerWrap::Attach(const Outlook::Explorer& explorer) {
  Unadvise();
  if (!explorer) return false;  // E_INVALIDARG
  auto sink = std::make_shared<detail::EventForwarder>([this](std::int32_t dispid, const std::vector<Variant>&) {
    if (dispid == Outlook::DispId::SelectionChange) OnSelectionChange();
    else if (dispid == Outlook::DispId::Close) OnClose();
    // every other event is answered and ignored
  });
  try {
    m_cookie = explorer.Object()->Advise(Outlook::Iid::ExplorerEvents10, sink);
  } catch (...) {
    return false;
  }
  m_sink = std::move(sink);
  m_spExplorer = explorer;
  return true;
}

void COLExplorerWrap::OnSelectionChange() {
  try {
    if (const Outlook::RibbonUI& ribbon = m_pOwner->RibbonUI()) ribbon.Invalidate();
  } catch (...) {
    // No error leaves an event handler.
  }
}

void COLExplorerWrap::OnClose() {
  Unadvise();
  m_pOwner->RemoveWrapper(this);  // destroys this wrapper: nothing may follow
}

// ---- the Explorers collection

COLExplorerWrapColl::~COLExplorerWrapColl() { Attach(Outlook::Explorers()); }

void COLExplorerWrapColl::Detach() noexcept {
  if (m_sink) m_sink->Detach();
  m_sink.reset();
  if (m_spExplorers && m_cookie != detail::kNotAdvised) {
    try {
      m_spExplorers.Object()->Unadvise(m_cookie);
    } catch (...) {
      // The outcome of unadvising is of no consequence.
    }
  }
  m_cookie = detail::kNotAdvised;
  m_spExplorers = Outlook::Explorers();
  m_wrappers.clear();  // each wrapper unadvises as it goes
}

bool COLExplorerWrapColl::Attach(const Outlook::Explorers& collection) {
  Detach();
  if (!collection) return true;
  auto sink = std::make_shared<detail::EventForwarder>([this](std::int32_t dispid, const std::vector<Variant>& args) {
    if (dispid == Outlook::DispId::NewExplorer && !args.empty() && args[0].Type() == VarType::Dispatch)
      OnNewExplorer(args[0].AsObject());
  });
  try {
    m_cookie = collection.Object()->Advise(Outlook::Iid::ExplorersEvents, sink);
  } catch (...) {
    return false;
  }
  m_sink = std::move(sink);
  m_spExplorers = collection;
  for (std::int32_t i = 1; i <= m_spExplorers.Count(); ++i) OnNewExplorer(m_spExplorers.Item(i));
  return true;
}

void COLExplorerWrapColl::SetRibbonUI(const Outlook::RibbonUI& ribbon) { m_spRibbonUI = ribbon; }

void COLExplorerWrapColl::RemoveWrapper(COLExplorerWrap* wrapper) {
  for (auto it = m_wrappers.begin(); it != m_wrappers.end(); ++it) {
    if (it->get() == wrapper) {
      m_wrappers.erase(it);
      return;
    }
  }
}

void COLExplorerWrapColl::OnNewExplorer(const ObjectPtr& explorer) {
  Outlook::Explorer typed;
  try {
    typed = Outlook::Query<Outlook::Explorer>(explorer);
  } catch (...) {
    return;  // no error leaves an event handler
  }
  auto wrapper = std::make_unique<COLExplorerWrap>(this);
  if (wrapper->Attach(typed)) m_wrappers.push_back(std::move(wrapper));
}

}  // namespace CV
