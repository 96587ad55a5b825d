// The add-in's own identities and those of the Office interfaces it implements.
#pragma once

#include "foundation/guid.h"

namespace CV::AddinIds {

inline constexpr Guid ClsidConnect = Guid::FromLiteral("7C2D4E91-3B5A-4F8E-A1D6-2E9B0C4F7A13");
inline constexpr Guid LibId = Guid::FromLiteral("7C2D4E92-3B5A-4F8E-A1D6-2E9B0C4F7A13");
inline constexpr Guid ICVMailArchiveOlCb = Guid::FromLiteral("7C2D4E93-3B5A-4F8E-A1D6-2E9B0C4F7A13");
inline constexpr Guid IDTExtensibility2 = Guid::FromLiteral("B65AD801-ABAF-11D0-BB8B-00A0C90F2744");
inline constexpr Guid IRibbonExtensibility = Guid::FromLiteral("000C0396-0000-0000-C000-000000000046");
inline constexpr Guid IPersist = Guid::FromLiteral("0000010C-0000-0000-C000-000000000046");

inline constexpr char16_t kProgId[] = u"CVMailArchiveOl.Connect";
inline constexpr char16_t kExplorerRibbonId[] = u"Microsoft.Outlook.Explorer";

}  // namespace CV::AddinIds
