#include "foundation/string_table.h"

#include <gtest/gtest.h>

#include "foundation/format.h"
#include "foundation/registry_key.h"
#include "foundation/utf.h"

namespace CV {
namespace {

// The expected texts as raw UTF-8 bytes, so a wrong source encoding shows.
TEST(StringTable, TextsByteForByte) {
  struct Case {
    int id;
    const char* utf8;
  };
  const Case cases[] = {
      {100, "Corvane E-Mail Archiv f\xC3\xBCr Microsoft Outlook"},
      {101, "Ersteller"},
      {102, "Content Generator"},
      {103, "Erstellungsdatum"},
      {104, "Anzahl der Mails"},
      {105, "Gesamtgr\xC3\xB6\xC3\x9F" "e der Mails"},
      {106, "Kommentar"},
      {107, "Diese Installation des Corvane E-Mail Archiv f\xC3\xBCr Microsoft Outlook ist besch\xC3\xA4" "digt.\r\n"
            "Bitte installieren Sie das Add-In neu oder wenden Sie sich an Ihren Systemadministrator."},
      {108, "Bitte w\xC3\xA4hlen Sie mindestens eine E-Mail zum Export aus."},
      {109, "CVMailArchiveOl"},
      {110, "Auf %d Mail(s) konnte nicht zugegriffen werden. Sie wurden daher nicht zum Export ausgew\xC3\xA4hlt."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(ToUtf8(StringTableText(c.id)), c.utf8);
  }
  EXPECT_EQ(StringTableIds(), (std::vector<int>{100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110}));
}

TEST(StringTable, UnknownIdsAreEmpty) {
  EXPECT_TRUE(StringTableText(99).empty());
  EXPECT_TRUE(StringTableText(111).empty());
  EXPECT_TRUE(StringTableText(-1).empty());
}

TEST(StringTable, MessageOfInaccessibleMailsFormats) {
  EXPECT_EQ(ToUtf8(Format(StringTableText(StringId::MailsInaccessible), 2)),
            "Auf 2 Mail(s) konnte nicht zugegriffen werden. Sie wurden daher nicht zum Export ausgew\xC3\xA4hlt.");
}

TEST(RegistryKey, RootOfTheSettings) {
  EXPECT_EQ(ToUtf8(kRegistryKeyRoot), "Software\\Corvanworks\\Corvane\\");
  EXPECT_EQ(ToUtf8(std::u16string(kRegistryKeyRoot) + StringTableText(StringId::SettingsSubkey)),
            "Software\\Corvanworks\\Corvane\\CVMailArchiveOl");
}

}  // namespace
}  // namespace CV
