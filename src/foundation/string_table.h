// The module's string table (ids 100 to 110), compiled in from
// resources/strings.def, the same file the Windows resource script includes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace CV {

namespace StringId {
inline constexpr int ProductTitle = 100;
inline constexpr int PropertyCreator = 101;
inline constexpr int PropertyContentGenerator = 102;
inline constexpr int PropertyCreationDate = 103;
inline constexpr int PropertyMailCount = 104;
inline constexpr int PropertyTotalSize = 105;
inline constexpr int PropertyComment = 106;
inline constexpr int InstallationDamaged = 107;
inline constexpr int SelectAtLeastOneMail = 108;
inline constexpr int SettingsSubkey = 109;
inline constexpr int MailsInaccessible = 110;
}  // namespace StringId

// The text of id, or an empty string for an id not in the table.
std::u16string StringTableText(int id);

// Every id of the table, ascending.
std::vector<int> StringTableIds();

}  // namespace CV
