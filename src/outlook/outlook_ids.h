// Interface ids and constants of the Outlook and Office object models.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/guid.h"
#include "foundation/hresult.h"

namespace CV::Outlook {

namespace Iid {
inline constexpr Guid Dispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");
inline constexpr Guid Attachment = Guid::FromLiteral("00063007-0000-0000-C000-000000000046");
inline constexpr Guid PropertyAccessor = Guid::FromLiteral("0006302D-0000-0000-C000-000000000046");
inline constexpr Guid Attachments = Guid::FromLiteral("0006303C-0000-0000-C000-000000000046");
inline constexpr Guid PropertyPage = Guid::FromLiteral("0006307E-0000-0000-C000-000000000046");
inline constexpr Guid Application = Guid::FromLiteral("00063001-0000-0000-C000-000000000046");
inline constexpr Guid NameSpace = Guid::FromLiteral("00063002-0000-0000-C000-000000000046");
inline constexpr Guid Explorer = Guid::FromLiteral("00063003-0000-0000-C000-000000000046");
inline constexpr Guid MapiFolder = Guid::FromLiteral("00063006-0000-0000-C000-000000000046");
inline constexpr Guid Explorers = Guid::FromLiteral("0006300A-0000-0000-C000-000000000046");
inline constexpr Guid MailItem = Guid::FromLiteral("00063034-0000-0000-C000-000000000046");
inline constexpr Guid Folders = Guid::FromLiteral("00063040-0000-0000-C000-000000000046");
inline constexpr Guid Items = Guid::FromLiteral("00063041-0000-0000-C000-000000000046");
inline constexpr Guid Selection = Guid::FromLiteral("00063087-0000-0000-C000-000000000046");
inline constexpr Guid SimpleItems = Guid::FromLiteral("00063102-0000-0000-C000-000000000046");
inline constexpr Guid ConversationHeader = Guid::FromLiteral("00063107-0000-0000-C000-000000000046");
inline constexpr Guid Stores = Guid::FromLiteral("000630C6-0000-0000-C000-000000000046");
inline constexpr Guid Store = Guid::FromLiteral("000630C7-0000-0000-C000-000000000046");
inline constexpr Guid ExplorersEvents = Guid::FromLiteral("00063078-0000-0000-C000-000000000046");
inline constexpr Guid ExplorerEvents10 = Guid::FromLiteral("0006304F-0000-0000-C000-000000000046");
inline constexpr Guid RibbonControl = Guid::FromLiteral("000C0395-0000-0000-C000-000000000046");
inline constexpr Guid RibbonUI = Guid::FromLiteral("000C03A7-0000-0000-C000-000000000046");
}  // namespace Iid

// Event dispatch ids.
namespace DispId {
inline constexpr std::int32_t NewExplorer = 0xF001;
inline constexpr std::int32_t SelectionChange = 0xF007;
inline constexpr std::int32_t Close = 0xF008;
}  // namespace DispId

// OlItemType
inline constexpr std::int32_t olMailItem = 0;
inline constexpr std::int32_t olAppointmentItem = 1;
inline constexpr std::int32_t olContactItem = 2;
inline constexpr std::int32_t olTaskItem = 3;

// OlSelectionContents
inline constexpr std::int32_t olConversationHeaders = 1;

// OlDefaultFolders
inline constexpr std::int32_t olFolderDeletedItems = 3;
inline constexpr std::int32_t olFolderOutbox = 4;
inline constexpr std::int32_t olFolderSentMail = 5;
inline constexpr std::int32_t olFolderInbox = 6;
inline constexpr std::int32_t olFolderCalendar = 9;
inline constexpr std::int32_t olFolderContacts = 10;
inline constexpr std::int32_t olFolderTasks = 13;
inline constexpr std::int32_t olFolderDrafts = 16;
inline constexpr std::int32_t olFolderConflicts = 19;
inline constexpr std::int32_t olFolderSyncIssues = 20;
inline constexpr std::int32_t olFolderLocalFailures = 21;
inline constexpr std::int32_t olFolderServerFailures = 22;
inline constexpr std::int32_t olFolderJunk = 23;
inline constexpr std::int32_t olFolderRssFeeds = 25;

// OlSaveAsType
inline constexpr std::int32_t olHTML = 5;

// OlBodyFormat
inline constexpr std::int32_t olFormatPlain = 1;
inline constexpr std::int32_t olFormatHTML = 2;
inline constexpr std::int32_t olFormatRichText = 3;

// OlAttachmentType
inline constexpr std::int32_t olByValue = 1;
inline constexpr std::int32_t olEmbeddeditem = 5;
inline constexpr std::int32_t olOLE = 6;

// OlImportance
inline constexpr std::int32_t olImportanceLow = 0;
inline constexpr std::int32_t olImportanceNormal = 1;
inline constexpr std::int32_t olImportanceHigh = 2;

// MAPI properties through the PropertyAccessor, by proptag schema name.
namespace Property {
inline constexpr std::u16string_view SecurityFlags = u"http://schemas.microsoft.com/mapi/proptag/0x6E010003";
inline constexpr std::u16string_view AttachFlags = u"http://schemas.microsoft.com/mapi/proptag/0x37140003";
inline constexpr std::u16string_view AttachContentId = u"http://schemas.microsoft.com/mapi/proptag/0x3712001F";
}  // namespace Property
inline constexpr std::int32_t ATT_MHTML_REF = 4;
// What GetProperty answers for a property the item does not have.
inline constexpr HRESULT MAPI_E_NOT_FOUND = MakeHResult(0x8004010Fu);

// OlExchangeStoreType
inline constexpr std::int32_t olPrimaryExchangeMailbox = 0;
inline constexpr std::int32_t olNotExchange = 3;

}  // namespace CV::Outlook
