#include "foundation/message_box.h"

#include <gtest/gtest.h>

#include "foundation/string_table.h"
#include "support/recording_message_box.h"

namespace CV {
namespace {

TEST(ShowMessage, LoadsTextAndCaptionFromTheStringTable) {
  Fake::RecordingMessageBox box;
  box.answer = MessageResult::Ok;
  EXPECT_EQ(ShowMessage(box, 0, StringId::SelectAtLeastOneMail, StringId::ProductTitle, MessageStyle::IconInformation),
            MessageResult::Ok);
  EXPECT_EQ(ShowMessage(box, 42, u"frei", StringId::ProductTitle, MessageStyle::IconError), MessageResult::Ok);
  ASSERT_EQ(box.calls.size(), 2u);
  EXPECT_EQ(box.calls[0].owner, 0u);
  EXPECT_EQ(box.calls[0].text, u"Bitte wählen Sie mindestens eine E-Mail zum Export aus.");
  EXPECT_EQ(box.calls[0].caption, u"Corvane E-Mail Archiv für Microsoft Outlook");
  EXPECT_EQ(box.calls[0].style, 0x40u);
  EXPECT_EQ(box.calls[1].owner, 42u);
  EXPECT_EQ(box.calls[1].text, u"frei");
  EXPECT_EQ(box.calls[1].style, 0x10u);
}

}  // namespace
}  // namespace CV
