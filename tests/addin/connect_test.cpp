// The add-in object's lifecycle, driven as Outlook drives it.
#include "addin/connect.h"

#include <gtest/gtest.h>

#include "addin/addin_ids.h"
#include "addin/callback_table.h"
#include "foundation/com_error.h"
#include "foundation/utf.h"
#include "support/addin_fixture.h"
#include "support/errors.h"

namespace CV {
namespace {

using namespace CV::Outlook;

class ConnectTest : public Fake::AddinFixture {};

TEST_F(ConnectTest, HostVersionDecides) {
  struct Case {
    const char16_t* version;
    HRESULT expected;
  };
  const Case cases[] = {
      {u"16.0.0.5000", S_OK}, {u"14.0.4760.1000", S_OK}, {u"14", S_OK},   {u"15.0", S_OK},
      {u"12.0.4518.1014", E_FAIL}, {u"13.9", E_FAIL},  {u"abc", E_FAIL}, {u"", E_FAIL},
      {u" 16.0", S_OK},  // leading blanks are skipped, as atoi does
      {u"+14.0", S_OK},  {u"-16.0", E_FAIL},  // and a sign is read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.version));
    outlook.Application()->version = c.version;
    auto addin = NewConnect();
    EXPECT_EQ(addin->OnConnection(outlook.Application(), 0, nullptr), c.expected);
    EXPECT_EQ(static_cast<bool>(addin->Application()), true);  // kept even when refused
    EXPECT_EQ(addin->Explorers().IsAttached(), c.expected == S_OK);
    EXPECT_EQ(addin->OnDisconnection(0), S_OK);
  }
}

TEST_F(ConnectTest, ApplicationFailures) {
  auto addin = NewConnect();
  EXPECT_EQ(addin->OnConnection(nullptr, 0, nullptr), E_POINTER);
  EXPECT_EQ(addin->OnConnection(inbox, 0, nullptr), E_POINTER);  // no _Application: E_NOINTERFACE

  outlook.Application()->Fail("QueryInterface", Sim::FaultPlan{E_UNEXPECTED, 1, false});
  EXPECT_EQ(addin->OnConnection(outlook.Application(), 0, nullptr), E_UNEXPECTED);
  outlook.Application()->Fail("Version", Sim::FaultPlan{RPC_E_CALL_REJECTED, 1, false});
  EXPECT_EQ(addin->OnConnection(outlook.Application(), 0, nullptr), RPC_E_CALL_REJECTED);
  outlook.Application()->Fail("Explorers", Sim::FaultPlan{E_ACCESSDENIED, 1, false});
  EXPECT_EQ(addin->OnConnection(outlook.Application(), 0, nullptr), E_ACCESSDENIED);
  EXPECT_EQ(addin->OnConnection(outlook.Application(), 0, outlook.NewRibbonUI()), S_OK);
  EXPECT_EQ(addin->OnDisconnection(0), S_OK);
}

TEST_F(ConnectTest, DisconnectWithoutConnectAndNotifications) {
  auto addin = NewConnect();
  EXPECT_EQ(addin->OnDisconnection(0), S_OK);
  EXPECT_EQ(addin->OnAddInsUpdate(), S_OK);
  EXPECT_EQ(addin->OnStartupComplete(), S_OK);
  EXPECT_EQ(addin->OnBeginShutdown(), S_OK);
  EXPECT_FALSE(addin->Application());
}

TEST_F(ConnectTest, ReconnectionKeepsTheListAndTracksEachWindowOnce) {
  inbox->AddMails(3);
  outlook.OpenExplorer(inbox);
  outlook.OpenExplorer(store->DefaultFolder(olFolderSentMail));
  Connect();
  EXPECT_EQ(connect->Explorers().WrapperCount(), 2u);
  int inaccessible = 0;
  connect->ArchiveList().AddFolder(Folder(inbox), inaccessible, nullptr);
  EXPECT_EQ(connect->ArchiveList().GetSelectedMailCount(), 3);

  EXPECT_EQ(connect->OnDisconnection(0), S_OK);
  EXPECT_FALSE(connect->Application());
  EXPECT_EQ(connect->Explorers().WrapperCount(), 0u);
  EXPECT_EQ(connect->ArchiveList().GetSelectedMailCount(), 3);  // not cleared

  ASSERT_EQ(connect->OnConnection(outlook.Application(), 0, nullptr), S_OK);
  EXPECT_EQ(connect->Explorers().WrapperCount(), 2u);
  EXPECT_EQ(connect->ArchiveList().GetSelectedMailCount(), 3);
  EXPECT_EQ(table->RegisteredCount(), 1u);  // one registration of the application
  for (const auto& explorer : outlook.Application()->explorers)
    EXPECT_EQ(explorer->SinkCount(Iid::ExplorerEvents10), 1u);
}

TEST_F(ConnectTest, DispatchResolvesToTheCallbackInterface) {
  Connect();
  for (const Guid& iid : {Iid::Dispatch, AddinIds::ICVMailArchiveOlCb, AddinIds::IRibbonExtensibility,
                          AddinIds::IDTExtensibility2, AddinIds::IPersist})
    EXPECT_EQ(connect->QueryInterface(iid), connect);
  EXPECT_EQ(connect->QueryInterface(Iid::MailItem), nullptr);
  // The table itself is held against the type library elsewhere.
  EXPECT_FALSE(connect->DispatchIdOf(u"getmailcount").has_value());  // names are exact
  EXPECT_THROW(Call(u"NoSuchCallback", {}), ComError);
  EXPECT_EQ(Fake::ErrorOf([&] { Call(u"GetVersionString", {}); }), DISP_E_BADPARAMCOUNT);
}

// Every callback takes exactly its one argument, whatever a caller sends;
// the ids between and around the callbacks' name nothing.
TEST_F(ConnectTest, EveryCallbackRefusesAWrongArgumentCount) {
  Connect();
  int named = 0;
  for (std::int32_t dispid = 0x2A; dispid <= 0x42; ++dispid) {
    const std::optional<std::u16string> name = connect->NameOfDispatchId(dispid);
    SCOPED_TRACE(dispid);
    if (!name) {
      EXPECT_TRUE(dispid == 0x2A || dispid == 0x3F || dispid == 0x40 || dispid == 0x42);
      continue;
    }
    ++named;
    EXPECT_EQ(connect->DispatchIdOf(*name), dispid);
    EXPECT_EQ(Fake::ErrorOf([&] { Call(*name, {}); }), DISP_E_BADPARAMCOUNT) << ToUtf8(*name);
    EXPECT_EQ(Fake::ErrorOf([&] { Call(*name, {Variant(), Variant()}); }), DISP_E_BADPARAMCOUNT) << ToUtf8(*name);
  }
  EXPECT_EQ(named, 21);
}

TEST_F(ConnectTest, CustomUiOnlyForTheExplorer) {
  connect = NewConnect();  // may be asked before it is connected
  Bstr xml;
  EXPECT_EQ(connect->GetCustomUI(u"Microsoft.Outlook.Explorer", nullptr), E_POINTER);
  ASSERT_EQ(connect->GetCustomUI(u"Microsoft.Outlook.Explorer", &xml), S_OK);
  ASSERT_FALSE(xml.IsNull());
  EXPECT_EQ(xml.Text().front(), u'\uFEFF');  // the byte-order mark travels along
  EXPECT_NE(xml.Text().find(u"%DPI%"), std::u16string::npos);
  for (const char16_t* other : {u"Microsoft.Outlook.Mail.Read", u"microsoft.outlook.explorer", u""}) {
    Bstr none = Bstr(u"x");
    EXPECT_EQ(connect->GetCustomUI(other, &none), S_OK);
    EXPECT_TRUE(none.IsNull());
  }
}

TEST_F(ConnectTest, OnLoadKeepsTheRibbonAndNeverFails) {
  Connect();
  auto ribbon = outlook.NewRibbonUI();
  EXPECT_TRUE(Call(u"OnLoad", {Variant::FromObject(ribbon)}).IsEmpty());
  EXPECT_EQ(connect->RibbonUI().Object(), ribbon);
  EXPECT_EQ(connect->Explorers().RibbonUI().Object(), ribbon);
  EXPECT_EQ(connect->OnLoad(nullptr), S_OK);
  EXPECT_EQ(connect->OnLoad(inbox), S_OK);  // not a ribbon: swallowed
}

TEST_F(ConnectTest, VersionAndCopyrightTexts) {
  struct Case {
    std::uint16_t major, minor, build, revision;
    const char16_t* text;
  };
  const Case cases[] = {{2, 1, 0, 0, u"Version: 2.1"}, {2, 0, 0, 7, u"Version: 2.0.0.7"}, {3, 0, 0, 0, u"Version: 3"},
                        {2, 0, 5, 0, u"Version: 2.0.5"}, {0, 0, 0, 0, u"Version: 0"},     {1, 2, 3, 4, u"Version: 1.2.3.4"}};
  for (const Case& c : cases) {
    Util::CVersionInfo info(c.major, c.minor, c.build, c.revision);
    Util::FixedVersionSource source(info);
    AddinPorts ports = Ports();
    CConnect addin({ports.table, ports.ui, ports.resources, ports.screen, ports.pictures, source, ports.threads,
                    ports.apartment, ports.settings, ports.user, ports.mailExport, ports.dialogs});
    Bstr text;
    ASSERT_EQ(addin.GetVersionString(nullptr, &text), S_OK);
    EXPECT_EQ(text.Text(), c.text);
    EXPECT_EQ(addin.GetCopyrightString(nullptr, &text), S_OK);
    EXPECT_EQ(text.Text(), u"");
  }
  Connect();
  EXPECT_EQ(Call(u"GetCopyrightString", {Variant()}).AsText(), u"© 2026 Corvanworks");
  EXPECT_EQ(connect->GetVersionString(nullptr, nullptr), E_POINTER);
}

}  // namespace
}  // namespace CV
