// The help button: the topic in the control's tag, in the folder of the
// main application or of the add-in; every failure silent.
#include <gtest/gtest.h>

#include "foundation/utf.h"
#include "support/addin_fixture.h"
#include "support/scratch_directory.h"

namespace CV {
namespace {

class RecordingHelp final : public IHelpSystem {
 public:
  std::optional<std::u16string> application;
  std::u16string addin = u"C:\\Programme\\Corvane\\Mailarchiv\\CVMailArchiveOl.dll";
  std::vector<std::u16string> shown;
  std::optional<std::u16string> MainApplicationPath() override { return application; }
  std::u16string AddinModulePath() override { return addin; }
  void DisplayTopic(const std::u16string& topic) override { shown.push_back(topic); }
};

class HelpButton : public Fake::AddinFixture {};

std::u16string WithoutPrefix(std::u16string path) { return path.starts_with(u"\\\\?\\") ? path.substr(4) : path; }

// The main application's folder first; where it is not installed or holds
// no help file, the add-in's own folder; where neither holds it, nothing.
TEST_F(HelpButton, OpensTheTopicBesideTheMainApplicationOrTheAddin) {
  enum Where { Nowhere, Application, Addin, AddinAsFolder };
  struct Case {
    const char* name;
    std::optional<std::u16string> application;  // below the scratch folder; "" stays empty
    std::vector<Where> files;
    std::u16string tag;
    Where shown;
  };
  const std::u16string tag = u"CVHilfe.chm::/idE-Mail_Archiv.htm";
  const Case cases[] = {
      {"beside the main application", u"\\App\\Corvane.exe", {Application, Addin}, tag, Application},
      {"path in forward slashes", u"/App/Corvane.exe", {Application}, tag, Application},
      {"tag without a topic", u"\\App\\Corvane.exe", {Application}, u"CVHilfe.chm", Application},
      {"main application without the file", u"\\App\\Corvane.exe", {Addin}, tag, Addin},
      {"main application not registered", std::nullopt, {Addin}, tag, Addin},
      {"main application registered empty", u"", {Addin}, tag, Addin},
      {"nowhere", u"\\App\\Corvane.exe", {}, tag, Nowhere},
      {"not registered, nowhere", std::nullopt, {}, tag, Nowhere},
      {"a folder of that name is no file", std::nullopt, {AddinAsFolder}, tag, Nowhere},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fake::ScratchDirectory scratch;
    scratch.MakeDirectory(u"App");
    scratch.MakeDirectory(u"AddIn");
    for (Where where : c.files) {
      if (where == Application) scratch.WriteFile(u"App\\CVHilfe.chm");
      if (where == Addin) scratch.WriteFile(u"AddIn\\CVHilfe.chm");
      if (where == AddinAsFolder) scratch.MakeDirectory(u"AddIn\\CVHilfe.chm");
    }
    const std::u16string root = WithoutPrefix(scratch.Path());
    auto help = std::make_shared<RecordingHelp>();
    if (c.application) help->application = c.application->empty() ? u"" : root + *c.application;
    help->addin = root + u"\\AddIn\\CVMailArchiveOl.dll";
    AddinPorts ports = Ports();
    ports.help = help;
    auto addin = std::make_shared<CConnect>(ports);
    EXPECT_EQ(addin->OnHelp(outlook.NewRibbonControl(u"help", nullptr, c.tag)), S_OK);
    if (c.shown == Nowhere) {
      EXPECT_TRUE(help->shown.empty()) << ToUtf8(help->shown.front());
      continue;
    }
    std::u16string topic = root + (c.shown == Application ? u"\\App" : u"\\AddIn") + u"\\CVHilfe.chm";
    if (c.tag == tag) topic += u"::\\idE-Mail_Archiv.htm";
    ASSERT_EQ(help->shown.size(), 1u);
    EXPECT_EQ(ToUtf8(help->shown[0]), ToUtf8(topic));
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
