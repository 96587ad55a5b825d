// Port: the COM global interface table. Objects cross threads only through
// it: registered on one thread, fetched as a proxy valid on another.
#pragma once

#include <cstdint>

#include "foundation/guid.h"
#include "foundation/hresult.h"
#include "foundation/object.h"

namespace CV {

class IInterfaceTable {
 public:
  virtual ~IInterfaceTable() = default;
  // Registers object as interface iid; cookie is non-zero on success.
  virtual HRESULT Register(const ObjectPtr& object, const Guid& iid, std::uint32_t& cookie) = 0;
  // The registered object, usable on the calling thread.
  virtual HRESULT Fetch(std::uint32_t cookie, const Guid& iid, ObjectPtr& object) = 0;
  // Ends a registration; E_INVALIDARG for an unknown cookie.
  virtual HRESULT Revoke(std::uint32_t cookie) = 0;
};

// The table of this build (IGlobalInterfaceTable on Windows; a simple table
// that hands back the same object in the simulation).
IInterfaceTable& DefaultInterfaceTable();

}  // namespace CV
