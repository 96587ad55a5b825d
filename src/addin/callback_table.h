// The callbacks of ICVMailArchiveOlCb: one definition of every ribbon
// callback with its dispatch id, parameters and help string, through which
// Office (by IDispatch), the tests and the cvmail command call the add-in by
// name. The type library is checked against it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "foundation/variant.h"

namespace CV {

class CConnect;

struct CallbackParameter {
  std::u16string_view attributes;  // "in", "in" (by reference), "out, retval"
  std::u16string_view type;        // the IDL type
  std::u16string_view name;
};

struct CallbackEntry {
  std::u16string_view name;
  std::int32_t dispid;
  std::span<const CallbackParameter> parameters;
  std::u16string_view helpString;
  // Calls the member with the [in] arguments and returns the [out, retval]
  // value; a failed HRESULT throws ComError, a wrong argument count
  // DISP_E_BADPARAMCOUNT.
  Variant (*invoke)(CConnect& self, std::vector<Variant>& args);
};

// In interface order.
std::span<const CallbackEntry> CallbackTable();
const CallbackEntry* FindCallback(std::u16string_view name);
const CallbackEntry* FindCallback(std::int32_t dispid);

}  // namespace CV
