// The identities of our own components: their classes and type library.
// The interfaces are the vendor's (contracts/vendor_ids.h); the add-in finds
// the classes by ProgID.
#pragma once

#include "foundation/guid.h"

namespace CV::ComponentIds {

inline constexpr Guid ClsidMailExport = Guid::FromLiteral("3E1A6C20-5D47-4B8E-9F2A-6C1D0B7E4A51");
inline constexpr Guid ClsidEMail = Guid::FromLiteral("3E1A6C21-5D47-4B8E-9F2A-6C1D0B7E4A51");
inline constexpr Guid ClsidMailSelect = Guid::FromLiteral("3E1A6C22-5D47-4B8E-9F2A-6C1D0B7E4A51");
inline constexpr Guid ClsidFolderSelect = Guid::FromLiteral("3E1A6C23-5D47-4B8E-9F2A-6C1D0B7E4A51");
inline constexpr Guid LibId = Guid::FromLiteral("3E1A6C2F-5D47-4B8E-9F2A-6C1D0B7E4A51");

}  // namespace CV::ComponentIds
