// Tracking of Outlook's explorer windows: COLExplorerWrapColl listens to the
// Explorers collection and owns one COLExplorerWrap per window; a selection
// change in any window invalidates the whole ribbon.
//
// Events arrive through small forwarders that the sinks detach from when they
// unadvise or die, so nothing is delivered to a sink that is gone. Detaching
// the collection also unadvises and destroys every wrapper, so a window is
// never tracked twice after a reconnection.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>

#include "foundation/object.h"
#include "outlook/wrappers.h"

namespace CV {

class COLExplorerWrapColl;

namespace detail {
// Receives a source's events for one sink; Detach makes it a no-op.
class EventForwarder final : public IEventSink {
 public:
  using Handler = std::function<void(std::int32_t dispid, const std::vector<Variant>& args)>;
  explicit EventForwarder(Handler handler) : m_handler(std::move(handler)) {}
  void OnEvent(std::int32_t dispid, const std::vector<Variant>& args) override;
  // The handler itself stays: it may be the one running right now.
  void Detach() { m_attached = false; }

 private:
  Handler m_handler;
  std::atomic<bool> m_attached{true};
};
inline constexpr std::uint32_t kNotAdvised = 0;
}  // namespace detail

class COLExplorerWrap {
 public:
  explicit COLExplorerWrap(COLExplorerWrapColl* owner);
  ~COLExplorerWrap();
  COLExplorerWrap(const COLExplorerWrap&) = delete;
  COLExplorerWrap& operator=(const COLExplorerWrap&) = delete;

  // Switches to another explorer (or none); false when it cannot be advised.
  bool Attach(const Outlook::Explorer& explorer);
  void OnSelectionChange();
  // Unadvises, releases the explorer and has the owner destroy this wrapper.
  void OnClose();

  const Outlook::Explorer& Explorer() const noexcept { return m_spExplorer; }

 private:
  void Unadvise() noexcept;

  COLExplorerWrapColl* const m_pOwner;
  Outlook::Explorer m_spExplorer;
  std::shared_ptr<detail::EventForwarder> m_sink;
  std::uint32_t m_cookie = detail::kNotAdvised;
};

class COLExplorerWrapColl {
 public:
  COLExplorerWrapColl() = default;
  ~COLExplorerWrapColl();
  COLExplorerWrapColl(const COLExplorerWrapColl&) = delete;
  COLExplorerWrapColl& operator=(const COLExplorerWrapColl&) = delete;

  // Switches to another Explorers collection (or none): the old one is
  // unadvised and its wrappers are destroyed; every window of the new one is
  // tracked. False when the collection cannot be advised. Object-model
  // failures while listing its windows throw ComError.
  bool Attach(const Outlook::Explorers& collection);
  void SetRibbonUI(const Outlook::RibbonUI& ribbon);
  // Removes and destroys the wrapper; an unknown pointer is ignored.
  void RemoveWrapper(COLExplorerWrap* wrapper);
  void OnNewExplorer(const ObjectPtr& explorer);

  const Outlook::RibbonUI& RibbonUI() const noexcept { return m_spRibbonUI; }
  std::size_t WrapperCount() const noexcept { return m_wrappers.size(); }
  bool IsAttached() const noexcept { return static_cast<bool>(m_spExplorers); }

 private:
  void Detach() noexcept;

  Outlook::Explorers m_spExplorers;
  std::list<std::unique_ptr<COLExplorerWrap>> m_wrappers;
  Outlook::RibbonUI m_spRibbonUI;
  std::shared_ptr<detail::EventForwarder> m_sink;
  std::uint32_t m_cookie = detail::kNotAdvised;
};

}  // namespace CV
