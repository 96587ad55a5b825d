// Components by ProgID through COM: CLSIDFromProgID, CoCreateInstance with
// CLSCTX_ALL for IUnknown, OleRun, then the query for IDispatch.
#pragma once

#include "foundation/component_factory.h"

namespace CV::Win {

class WinComponentFactory final : public IComponentFactory {
 public:
  ObjectPtr Create(std::u16string_view progId) override;
};

}  // namespace CV::Win
