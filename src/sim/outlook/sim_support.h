// Helpers shared by the simulated Outlook's object kinds.
#pragma once

#include <memory>
#include <vector>

#include "foundation/com_error.h"
#include "sim/outlook/sim_outlook.h"

namespace CV::Sim::Support {

using Outlook::MAPI_E_NOT_FOUND;
inline constexpr HRESULT RPC_E_DISCONNECTED_ = MakeHResult(0x80010108u);

// The object a weak link points to; RPC_E_DISCONNECTED when it is gone.
template <class T>
std::shared_ptr<T> Alive(const std::weak_ptr<T>& weak) {
  std::shared_ptr<T> p = weak.lock();
  if (!p) ThrowComError(RPC_E_DISCONNECTED_);
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

inline SimCollection::Access FixedList(std::vector<ObjectPtr> items) {
  auto shared = std::make_shared<const std::vector<ObjectPtr>>(std::move(items));
  return {[shared] { return shared->size(); }, [shared](std::size_t i) { return (*shared)[i]; }};
}

inline std::u16string TextOf(const std::vector<Variant>& args, std::size_t i) {
  if (args.size() <= i) ThrowComError(DISP_E_BADPARAMCOUNT);
  return args[i].ChangeType(VarType::Bstr).AsText();
}

}  // namespace CV::Sim::Support
