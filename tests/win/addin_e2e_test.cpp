// "Archiv erstellen" end to end through both DLLs under Wine: the add-in
// and the components registered, the sample mailbox played by the
// simulated Outlook (from its snapshot), the buttons pressed by name as
// Office does. The container is kept in the build tree (tests/e2e) for the
// native check that compares it with what cvmail writes for the same store.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "components/container/container_check.h"
#include "components/container/manifest.h"
#include "components/container/viewer_page.h"
#include "components/container/zip_reader.h"
#include "snapshot/store_snapshot.h"
#include "support/scratch_directory.h"
#include "win/addin_fixture.h"
#include "win/components/outcome_message.h"
#include "win/components/win_export_target.h"

namespace CV {
namespace {

using namespace std::chrono_literals;

const std::wstring kProductTitle = L"Corvane E-Mail Archiv f\u00fcr Microsoft Outlook";

HWND ProgressWindow() {
  return Host::FindDialog([](HWND dialog) { return ::GetDlgItem(dialog, 207) && ::GetDlgItem(dialog, 204); });
}

HWND Titled(const std::wstring& title) { return Host::FindMessageBox(title); }

class AddinEndToEnd : public AddinWithComponents {
 protected:
  void SetUp() override {
    AddinWithComponents::SetUp();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey);
    const std::wstring folder(m_target.Path().begin(), m_target.Path().end());
    ::RegSetKeyValueW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey, L"TargetFolder", REG_SZ, folder.c_str(),
                      static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  }
  void TearDown() override {
    AddinWithComponents::TearDown();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey);
  }

  std::shared_ptr<Sim::SimStore> LoadSample() {
    std::ifstream in(std::filesystem::path(WindowsPath(CV_E2E_SNAPSHOT)), std::ios::binary);
    std::stringstream document;
    document << in.rdbuf();
    return Snapshot::Load(m_outlook, document.str());
  }

  // Presses a button until its job has started (a press while the last
  // job's worker still unwinds does nothing, and the user presses again),
  // then serves the apartment until done(), answering the add-in's message
  // boxes with OK (their texts collected).
  std::wstring Press(const wchar_t* callback, const ObjectPtr& context, const std::function<bool()>& started,
                     const std::function<bool()>& done) {
    for (int i = 0; i < 60 && !started(); ++i) {
      Host::InvokeByName(m_callbacks.Get(), callback, {Control(context)});
      Host::PumpUntil(started, 500ms);
    }
    std::wstring messages;
    EXPECT_TRUE(Host::PumpUntil([&] {
      if (HWND box = Titled(kProductTitle)) {
        messages += Host::StaticTexts(box) + L"\n";
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        return false;
      }
      return done();
    }, 120s)) << "the job did not end";
    return messages;
  }
  void Collect(const ObjectPtr& folder) {
    const auto before = m_ribbon->Invalidations();
    Press(L"AddFolder", folder, [&] { return m_ribbon->Invalidations() > before; },
          [&] { return m_ribbon->Invalidations() >= before + 2 && !ProgressWindow(); });
  }
  // "Archiv erstellen" until the writer has told its outcome.
  std::wstring Archive() {
    return Press(L"StartARCCreation", nullptr, [&] { return !TargetFiles().empty() || Titled(Win::Components::kOutcomeTitle); },
                 [&] { return Titled(Win::Components::kOutcomeTitle) != nullptr; });
  }

  // The writer's outcome message: its text, closed with "Nein".
  std::wstring Outcome(const std::wstring& screenshot) {
    HWND box = nullptr;
    Host::PumpUntil([&] { return (box = Titled(Win::Components::kOutcomeTitle)) != nullptr; }, 30s);
    if (!box) return L"(keine Meldung)";
    Host::PumpUntil([] { return false; }, 300ms);  // let it paint
    const std::wstring text = Host::StaticTexts(box);
    EXPECT_TRUE(Host::SaveScreenshot(box, screenshot));
    ::PostMessageW(box, WM_COMMAND, ::GetDlgItem(box, IDNO) ? IDNO : IDOK, 0);
    Host::PumpUntil([&] { return !::IsWindow(box); }, 10s);
    return text;
  }

  std::vector<std::filesystem::path> TargetFiles() {
    std::vector<std::filesystem::path> files;
    const std::wstring folder(m_target.Path().begin(), m_target.Path().end());
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder))) files.push_back(entry.path());
    return files;
  }

  Fake::ScratchDirectory m_target;
};

TEST_F(AddinEndToEnd, TheSampleInboxBecomesAContainerThatVerifies) {
  const auto store = LoadSample();
  const auto inbox = store->DefaultFolder(Outlook::olFolderInbox);
  ASSERT_NO_FATAL_FAILURE(Connect());
  m_outlook.OpenExplorer(inbox);
  // The unreadable mail comes through COM's proxy as an item that is no
  // mail: it passes silently here, where cvmail names it.
  Collect(inbox);
  const std::u16string count = Label(L"GetMailCount");
  const int mails = std::stoi(ToUtf8(count));
  ASSERT_GT(mails, 5);

  const std::wstring created = Archive();
  EXPECT_EQ(created, L"") << "the add-in had something to say";
  const std::wstring outcome = Outcome(L"outcome_end_to_end");
  EXPECT_NE(outcome.find(L"Es enth\u00e4lt alle " + std::to_wstring(mails) + L" E-Mails."), std::wstring::npos)
      << outcome;
  EXPECT_EQ(m_apartment->PendingCalls(), 0u) << "the worker called an Outlook object directly";

  const auto files = TargetFiles();
  ASSERT_EQ(files.size(), 1u);
  Components::ZipReader zip(files[0]);
  EXPECT_EQ(Components::VerifyContainer(zip), std::vector<std::string>{});
  std::size_t members = 0;
  for (const auto& entry : zip.Entries()) members += Components::IsMailMemberName(entry.name);
  EXPECT_NE(zip.Find(std::string(Components::kViewerMember)), nullptr);
  EXPECT_EQ(members, static_cast<std::size_t>(mails));

  // Kept for the native check beside this build tree.
  const std::wstring kept = WindowsPath(CV_E2E_OUTPUT);
  ::CreateDirectoryW(kept.c_str(), nullptr);
  EXPECT_TRUE(::CopyFileW(files[0].c_str(), (kept + L"\\Archiv-windows.zip").c_str(), FALSE));
}

// The bytes of base64 text; whatever is no base64 is skipped.
std::string FromBase64(std::string_view text) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0, count = 0;
  for (char c : text) {
    const std::size_t value = kAlphabet.find(c);
    if (value == std::string::npos) continue;
    bits = (bits << 6) | static_cast<unsigned>(value);
    if ((count += 6) >= 8) out += static_cast<char>((bits >> (count -= 8)) & 0xFF);
  }
  return out;
}

// The HTML body of an archived message: its text/html part, decoded.
std::string ArchivedHtml(const std::string& message) {
  const std::size_t type = message.find("Content-Type: text/html");
  if (type == std::string::npos) return {};
  const std::size_t start = message.find("\r\n\r\n", type);
  const std::size_t end = message.find("\r\n--", start);
  return FromBase64(message.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

// Bodies the rewriting once cut, through both DLLs: a paragraph without its
// end tag, an attribute without a value, a picture inside the document, a
// first body paragraph that begins like a header field. Each arrives whole.
TEST_F(AddinEndToEnd, BodiesArriveAsTheyAre) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const std::u16string data = u"data:image/png;base64,iVBORw0KGgo=";
  const std::pair<std::u16string, std::u16string> shapes[] = {
      {u"ohne Ende", u"<p class=\"x\">Erster Absatz<p class=\"x\">Zweiter Absatz</body>"},
      {u"ohne Wert", u"<html><body><p>Vor dem Bild</p><img src><p>Nach dem Bild</p></body></html>"},
      {u"im Dokument", u"<html><body><p>Ein Bild:</p><img src=\"" + data + u"\"></body></html>"},
      {u"wie ein Kopf", u"<html><body><p class=MsoNormal>Anlagen: siehe unten, " + std::u16string(130, u'x') +
                          u"</p><p>Gruß</p></body></html>"},
  };
  for (const auto& [subject, html] : shapes) m_inbox->AddMail(subject)->htmlBody = html;
  m_outlook.OpenExplorer(m_inbox);
  Collect(m_inbox);
  EXPECT_EQ(Archive(), L"") << "the add-in had something to say";
  const std::wstring outcome = Outcome(L"outcome_bodies");
  EXPECT_NE(outcome.find(L"Es enth\u00e4lt alle 4 E-Mails."), std::wstring::npos) << outcome;
  const auto files = TargetFiles();
  ASSERT_EQ(files.size(), 1u);
  Components::ZipReader zip(files[0]);
  EXPECT_EQ(Components::VerifyContainer(zip), std::vector<std::string>{});
  std::string bodies;
  for (const auto& entry : zip.Entries())
    if (entry.name != "manifest.json") bodies += ArchivedHtml(zip.ReadAll(entry)) + "\n";
  for (const char* kept : {"Erster Absatz", "Zweiter Absatz", "Vor dem Bild", "Nach dem Bild", "<img src>",
                           "data:image/png;base64,iVBORw0KGgo=", "Anlagen: siehe unten", "Gru\xC3\x9F"})
    EXPECT_NE(bodies.find(kept), std::string::npos) << kept;
}

// A TargetFolder the writer cannot use (missing, or one nobody may write,
// not even root under Wine) is the writer's to tell: the add-in says
// nothing of a damaged installation, and the user reads why in German,
// with the folder as they know it.
TEST_F(AddinEndToEnd, ATargetFolderThatCannotBeUsedIsToldInGerman) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  m_inbox->AddMails(2);
  m_outlook.OpenExplorer(m_inbox);
  Collect(m_inbox);
  const std::wstring plain(m_target.Path().begin() + 4, m_target.Path().end());  // without "\\\\?\\"
  struct Case {
    std::wstring folder, cause, screenshot;
  };
  std::vector<Case> cases = {{plain + L"\\fehlt", L"Der Ordner \u201e" + plain + L"\\fehlt\u201c existiert nicht.",
                              L"outcome_missing_folder"}};
  // sysfs refuses new files to everyone: a read-only folder even for root.
  const HANDLE probe = ::CreateFileW(L"Z:\\sys\\kernel\\cv-probe", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
    cases.push_back({L"Z:\\sys\\kernel", L"Kein Schreibzugriff auf den Ordner \u201eZ:\\sys\\kernel\u201c.",
                     L"outcome_read_only_folder"});
  else if (probe != INVALID_HANDLE_VALUE)
    ::CloseHandle(probe);
  EXPECT_EQ(cases.size(), 2u) << "no read-only folder on this machine";
  // Message 107 would come modally inside the press: a second thread reads
  // and closes any message of the add-in's.
  std::atomic<bool> watching{true};
  std::wstring addinSaid;
  std::thread watcher([&] {
    while (watching) {
      if (HWND box = Titled(kProductTitle)) {
        addinSaid += Host::StaticTexts(box);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
      std::this_thread::sleep_for(100ms);
    }
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder.begin(), c.folder.end()));
    ::RegSetKeyValueW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey, L"TargetFolder", REG_SZ, c.folder.c_str(),
                      static_cast<DWORD>((c.folder.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(Archive(), L"") << "the add-in had something to say";
    const std::wstring outcome = Outcome(c.screenshot);
    EXPECT_NE(outcome.find(L"Es wurde kein Archiv erstellt."), std::wstring::npos) << outcome;
    EXPECT_NE(outcome.find(L"Grund: " + c.cause), std::wstring::npos) << outcome;
    EXPECT_EQ(outcome.find(L"\\\\?\\"), std::wstring::npos) << outcome;
    EXPECT_EQ(outcome.find(L".part-"), std::wstring::npos) << outcome;
    // A press repeated before the first outcome showed told it twice.
    Host::PumpUntil([&] {
      if (HWND again = Titled(Win::Components::kOutcomeTitle)) ::PostMessageW(again, WM_COMMAND, IDOK, 0);
      return false;
    }, 1s);
  }
  watching = false;
  watcher.join();
  EXPECT_EQ(addinSaid, L"") << "the add-in called the installation damaged";
  EXPECT_TRUE(TargetFiles().empty());
}

// "Abbrechen" in the progress window while the archive is written: the job
// ends, the writer is released without EndExport, no file stays and the
// user learns that no archive was created.
TEST_F(AddinEndToEnd, AbbrechenDuringArchiveCreationLeavesNoFile) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  for (auto& mail : m_inbox->AddMails(3000)) mail->htmlBody = u"<html><body>" + std::u16string(20000, u'x') + u"</body></html>";
  m_outlook.OpenExplorer(m_inbox);
  Collect(m_inbox);
  ASSERT_EQ(Label(L"GetMailCount"), u" 3000");

  for (int i = 0; i < 60 && TargetFiles().empty(); ++i) {
    Host::InvokeByName(m_callbacks.Get(), L"StartARCCreation", {Control(nullptr)});
    Host::PumpUntil([&] { return !TargetFiles().empty(); }, 500ms);
  }
  HWND progress = nullptr;
  ASSERT_TRUE(Host::PumpUntil([&] { return (progress = ProgressWindow()) != nullptr; }, 30s));
  ASSERT_TRUE(Host::PumpUntil([&] { return !TargetFiles().empty(); }, 30s)) << "the writer began";
  ASSERT_TRUE(Host::PumpUntil([&] { return ::SendDlgItemMessageW(progress, 204, PBM_GETPOS, 0, 0) > 0; }, 30s));
  Host::PumpUntil([] { return false; }, 300ms);  // let it paint
  EXPECT_EQ(Host::WindowText(::GetDlgItem(progress, 207)), L"Archiv erstellen");
  EXPECT_NE(Host::WindowText(::GetDlgItem(progress, 201)).find(L"von 3000 E-Mails"), std::wstring::npos);
  EXPECT_TRUE(Host::SaveScreenshot(progress, L"progress_archive_creation"));
  ::SendMessageW(::GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
  ASSERT_TRUE(Host::PumpUntil([&] { return !::IsWindow(progress); }, 30s)) << "the job closes the window";
  const std::wstring outcome = Outcome(L"outcome_cancelled");
  EXPECT_NE(outcome.find(L"Es wurde kein Archiv erstellt."), std::wstring::npos) << outcome;
  EXPECT_NE(outcome.find(L"abgebrochen"), std::wstring::npos) << outcome;
  EXPECT_TRUE(TargetFiles().empty()) << TargetFiles()[0].string();
}

}  // namespace
}  // namespace CV
