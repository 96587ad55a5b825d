// ProgIDs and interface ids of the vendor components.
#pragma once

#include <string_view>

#include "foundation/guid.h"

namespace CV::Vendor {

inline constexpr std::u16string_view kEMailProgId = u"CVMail.CVEMail";
inline constexpr std::u16string_view kMailExportProgId = u"CVMail.CVMailExport";
inline constexpr std::u16string_view kMailSelectProgId = u"CVMail.CVMailSelect";
inline constexpr std::u16string_view kFolderSelectProgId = u"CVMail.CVFolderSelect";

namespace Iid {
inline constexpr Guid CVEMail = Guid::FromLiteral("71BDE7AE-1228-4F56-B875-247A3EBC40E3");
inline constexpr Guid CVMailExport = Guid::FromLiteral("B7AF92AD-149E-4CB1-A79E-CA9227C9C734");
inline constexpr Guid CVMailSelect = Guid::FromLiteral("681AD04D-C89F-4082-8280-54DFA9A03BE8");
inline constexpr Guid CVMailSelectEvents = Guid::FromLiteral("C87C1F61-5B7C-45F7-8166-E9EA0B4D7154");
inline constexpr Guid CVFolderSelect = Guid::FromLiteral("56E92710-A0BD-4C44-AC49-7CD61A15768F");
}  // namespace Iid

}  // namespace CV::Vendor
