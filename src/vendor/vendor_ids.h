// ProgIDs and interface ids of the vendor components.
#pragma once

#include <string_view>

#include "foundation/guid.h"

namespace CV::Vendor {

inline constexpr std::u16string_view kEMailProgId = u"CVMail.CVEMail";
inline constexpr std::u16string_view kMailExportProgId = u"CVMail.CVMailExport";

namespace Iid {
inline constexpr Guid CVEMail = Guid::FromLiteral("71BDE7AE-1228-4F56-B875-247A3EBC40E3");
inline constexpr Guid CVMailExport = Guid::FromLiteral("B7AF92AD-149E-4CB1-A79E-CA9227C9C734");
}  // namespace Iid

}  // namespace CV::Vendor
