#include "foundation/string_table.h"

#include <gtest/gtest.h>

#include "foundation/format.h"
#include "foundation/message_box.h"
#include "foundation/registry_key.h"
#include "foundation/utf.h"
#include "support/fake_ui.h"

namespace CV {
namespace {

// The expected texts as raw UTF-8 bytes, so a wrong source encoding shows.
TEST(StringTable, TextsByteForByte) {
  const std::pair<int, const char*> cases[] = {
      {100, "Corvane E-Mail Archiv f\xC3\xBCr Microsoft Outlook"}, {101, "Ersteller"}, {102, "Content Generator"},
      {103, "Erstellungsdatum"}, {104, "Anzahl der Mails"}, {105, "Gesamtgr\xC3\xB6\xC3\x9F" "e der Mails"},
      {106, "Kommentar"},
      {107, "Diese Installation des Corvane E-Mail Archiv f\xC3\xBCr Microsoft Outlook ist besch\xC3\xA4" "digt.\r\n"
            "Bitte installieren Sie das Add-In neu oder wenden Sie sich an Ihren Systemadministrator."},
      {108, "Bitte w\xC3\xA4hlen Sie mindestens eine E-Mail zum Export aus."},
      {109, "CVMailArchiveOl"},
      {110, "Auf %d Mail(s) konnte nicht zugegriffen werden. Sie wurden daher nicht zum Export ausgew\xC3\xA4hlt."},
  };
  for (const auto& [id, utf8] : cases) EXPECT_EQ(ToUtf8(StringTableText(id)), utf8) << id;
  EXPECT_EQ(StringTableIds(), (std::vector<int>{100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110}));
  for (const int unknown : {99, 111, -1}) EXPECT_TRUE(StringTableText(unknown).empty());
  EXPECT_EQ(ToUtf8(Format(StringTableText(StringId::MailsInaccessible), 2)),
            "Auf 2 Mail(s) konnte nicht zugegriffen werden. Sie wurden daher nicht zum Export ausgew\xC3\xA4hlt.");
  EXPECT_EQ(ToUtf8(std::u16string(kRegistryKeyRoot) + StringTableText(StringId::SettingsSubkey)),
            "Software\\Corvanworks\\Corvane\\CVMailArchiveOl");
}

TEST(ShowMessage, TextAndCaptionComeFromTheStringTable) {
  Fake::RecordingUserInterface box;
  EXPECT_EQ(ShowMessage(box, 0, StringId::SelectAtLeastOneMail, StringId::ProductTitle, MessageStyle::IconInformation),
            MessageResult::Ok);
  EXPECT_EQ(ShowMessage(box, 42, u"frei", StringId::ProductTitle, MessageStyle::IconError), MessageResult::Ok);
  const auto calls = box.MessagesShown();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].text, u"Bitte wählen Sie mindestens eine E-Mail zum Export aus.");
  EXPECT_EQ(calls[0].caption, u"Corvane E-Mail Archiv für Microsoft Outlook");
  EXPECT_EQ(calls[0].style, 0x40u);
  EXPECT_EQ(calls[1].owner, 42u);
  EXPECT_EQ(calls[1].text, u"frei");
  EXPECT_EQ(calls[1].style, 0x10u);
}

}  // namespace
}  // namespace CV
