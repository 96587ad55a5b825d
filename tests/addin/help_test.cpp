// The help button: the topic in the control's tag, in the folder of the
// main application; every failure silent.
#include <gtest/gtest.h>

#include "foundation/utf.h"
#include "support/addin_fixture.h"

namespace CV {
namespace {

class RecordingHelp final : public IHelpSystem {
 public:
  std::optional<std::u16string> application;
  std::vector<std::u16string> shown;
  std::optional<std::u16string> MainApplicationPath() override { return application; }
  void DisplayTopic(const std::u16string& topic) override { shown.push_back(topic); }
};

class HelpButton : public Fake::AddinFixture {};

TEST_F(HelpButton, OpensTheTopicBesideTheMainApplicationOrNothing) {
  struct Case {
    const char* name;
    std::optional<std::u16string> application;
    std::u16string tag;
    std::optional<std::u16string> topic;  // nullopt: nothing is shown
  };
  const Case cases[] = {
      {"registered", u"C:\\Programme\\Corvane\\Corvane.exe", u"CVHilfe.chm::/idE-Mail_Archiv.htm",
       u"C:\\Programme\\Corvane\\CVHilfe.chm::\\idE-Mail_Archiv.htm"},
      {"path in forward slashes", u"C:/Programme/Corvane/Corvane.exe", u"CVHilfe.chm",
       u"C:\\Programme\\Corvane\\CVHilfe.chm"},
      {"not registered", std::nullopt, u"CVHilfe.chm", std::nullopt},
      {"registered empty", u"", u"CVHilfe.chm", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto help = std::make_shared<RecordingHelp>();
    help->application = c.application;
    AddinPorts ports = Ports();
    ports.help = help;
    auto addin = std::make_shared<CConnect>(ports);
    EXPECT_EQ(addin->OnHelp(outlook.NewRibbonControl(u"help", nullptr, c.tag)), S_OK);
    if (c.topic) {
      ASSERT_EQ(help->shown.size(), 1u);
      EXPECT_EQ(ToUtf8(help->shown[0]), ToUtf8(*c.topic));
    } else {
      EXPECT_TRUE(help->shown.empty());
    }
  }
}

TEST_F(HelpButton, FailuresAreSilent) {
  auto help = std::make_shared<RecordingHelp>();
  help->application = u"C:\\Programme\\Corvane\\Corvane.exe";
  AddinPorts ports = Ports();
  ports.help = help;
  auto addin = std::make_shared<CConnect>(ports);
  auto control = outlook.NewRibbonControl(u"help", nullptr, u"CVHilfe.chm");
  control->FailAlways("Tag", E_FAIL);
  EXPECT_EQ(addin->OnHelp(control), S_OK);
  EXPECT_EQ(addin->OnHelp(nullptr), S_OK);
  EXPECT_TRUE(help->shown.empty());
  // Without a help system the button does nothing either.
  EXPECT_EQ(NewConnect()->OnHelp(outlook.NewRibbonControl(u"help", nullptr, u"CVHilfe.chm")), S_OK);
}

}  // namespace
}  // namespace CV
