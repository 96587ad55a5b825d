// The fault sweep of the mail export: one complete export runs once to count
// the simulated Outlook's calls, then again with call N failing, for every
// N and a table of HRESULTs. Every run must end in an e-mail object or in
// the failure of that very call; the mail's folder keeps exactly its mails;
// the next complete export finds the directory emptied of the failed mail's
// files; the converter removes its directory; nothing of Outlook lives on.
#include <gtest/gtest.h>

#include <algorithm>

#include "export/mail_export.h"
#include "foundation/com_error.h"
#include "foundation/lifetime.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "components/email_object.h"
#include "components/component_registry.h"

namespace CV::Office {
namespace {

using namespace CV::Outlook;

std::vector<std::u16string> Listing(FS::IFileSystem& fs, const std::u16string& dir) {
  std::vector<std::u16string> names;
  std::unique_ptr<FS::IDirectorySearch> search;
  FS::FindData entry;
  for (std::int32_t e = fs.FindFirst(dir + u"\\*", entry, search); e == 0; e = search->Next(entry))
    if (entry.name != u"." && entry.name != u"..") names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

struct Outcome {
  std::uint64_t calls = 0;
  HRESULT error = S_OK;
};

Outcome RunOnce(std::uint64_t failCall, HRESULT hr) {
  Outcome outcome;
  FS::IFileSystem& fs = FS::DefaultFileSystem();
  std::weak_ptr<Sim::SimWorld> world;
  std::u16string dir;
  {
    Sim::SimOutlook outlook;
    world = outlook.World();
    auto store = outlook.AddStore(u"S");
    auto inbox = store->DefaultFolder(olFolderInbox);
    auto mail = inbox->AddMail(u"Signiert mit Bild");
    mail->securityFlags = 2;
    mail->htmlBody = u"<body><p>Text</p><img src=\"cid:logo@1\"></body>";
    mail->AddInlinePicture(u"logo.png", "png", u"logo@1");
    mail->AddAttachment(u"a.pdf", "a");
    mail->AddAttachment(u"a.pdf", "b");
    auto next = inbox->AddMail(u"Danach");
    const auto ids = [&] {
      std::vector<std::u16string> list;
      for (const auto& item : inbox->ItemList()) list.push_back(item->EntryId());
      return list;
    };
    const auto mails = ids();
    CMailExport converter({std::make_shared<Components::CComponentRegistry>(), ProcessLifetime(fs),
                           ProcessLifetime(DefaultGuidSource()), nullptr});
    if (failCall) outlook.World()->FailNthCall(failCall, hr);
    const std::uint64_t before = outlook.World()->TotalCalls();
    try {
      converter.Export(MailItem(mail), false);
    } catch (const ComError& e) {
      outcome.error = e.Error();
    }
    outcome.calls = outlook.World()->TotalCalls() - before;
    outlook.World()->FailNthCall(0, 0);
    EXPECT_EQ(ids(), mails) << "a copy stayed in the mail's folder";
    EXPECT_LE(store->DefaultFolder(olFolderDeletedItems)->ItemList().size(), 1u);
    converter.Export(MailItem(next), false);
    dir = converter.TempDirectory();
    EXPECT_EQ(Listing(fs, dir), (std::vector<std::u16string>{u"Content-Dateien", u"Content.html"}));
  }
  EXPECT_FALSE(FS::Exists(fs, dir)) << "the converter left its directory";
  EXPECT_TRUE(world.expired()) << "simulated Outlook objects live on";
  return outcome;
}

TEST(MailExportFaultSweep, EveryOutlookCallOfACompleteExportFails) {
  const Outcome clean = RunOnce(0, S_OK);
  ASSERT_EQ(clean.error, S_OK);
  ASSERT_GT(clean.calls, 30u);
  for (const HRESULT hr : {E_ACCESSDENIED, MakeHResult(0x80010108u) /* RPC_E_DISCONNECTED */, E_OUTOFMEMORY}) {
    for (std::uint64_t n = 1; n <= clean.calls; ++n) {
      SCOPED_TRACE(testing::Message() << "call " << n << " fails with " << std::hex << hr);
      const Outcome run = RunOnce(n, hr);
      EXPECT_TRUE(run.error == S_OK || run.error == hr) << std::hex << run.error;
    }
  }
}

}  // namespace
}  // namespace CV::Office
