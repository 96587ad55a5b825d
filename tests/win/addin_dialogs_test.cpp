// "Auswahl korrigieren" and "Ausschlußordner festlegen" in the add-in DLL
// under Wine: the dialogs from its resources, our controls from the
// registered components DLL in atl.dll's container. The ribbon command
// runs the dialog modally on the test's thread; a second thread acts as
// the user through window messages, as a screen reader or a test robot
// would, and ends the dialog. Screenshots go to the build tree.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "win/addin_fixture.h"

namespace CV {
namespace {

using namespace std::chrono_literals;

const std::wstring kRefineTitle = L"Corvane E-Mail Archiv - Auswahl der E-Mails";
const std::wstring kExcludedTitle = L"Corvane E-Mail Archiv - Nicht ber\u00fccksichtigte Ordner";
const std::wstring kSettingsKey = L"Software\\Corvanworks\\Corvane\\CVMailArchiveOl";

// What the user's hand does, from its own thread.
namespace Hand {

HWND WaitForDialog(const std::wstring& title) {
  for (int i = 0; i < 300; ++i) {
    if (HWND dialog = Host::FindDialog([&](HWND d) { return Host::WindowText(d) == title; })) return dialog;
    std::this_thread::sleep_for(50ms);
  }
  return nullptr;
}

// The control's own window in the container window of the template.
HWND Inner(HWND dialog, int id) { return ::GetWindow(::GetDlgItem(dialog, id), GW_CHILD); }

std::wstring ListText(HWND list, int item, int column) {
  wchar_t text[256] = {};
  LVITEMW lv{};
  lv.iSubItem = column;
  lv.pszText = text;
  lv.cchTextMax = 256;
  ::SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv));
  return text;
}

int Count(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

int Find(HWND list, const std::wstring& text) {
  for (int i = 0; i < Count(list); ++i)
    if (ListText(list, i, 0) == text) return i;
  return -1;
}

void Select(HWND list, int item) {
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  LVITEMW one{};
  one.state = one.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&one));
}

bool Checked(HWND list, int item) {
  return (::SendMessageW(list, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) ==
         INDEXTOSTATEIMAGEMASK(2);
}

HWND Focused(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// A key as the user's hand gives it: the window gets the focus, and the key
// is posted to it, so that the dialog's loop takes it through
// IsDialogMessage (WM_GETDLGCODE) before the window sees it.
void Key(HWND window, WPARAM key) {
  HWND dialog = ::GetAncestor(window, GA_ROOT);
  ::PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
  for (int i = 0; i < 100 && Focused(dialog) != window; ++i) std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Focused(dialog), window) << "the window did not take the focus";
  ::PostMessageW(window, WM_KEYDOWN, key, 1);
  ::PostMessageW(window, WM_KEYUP, key, 0xC0000001);
  // Nothing tells this thread when the dialog's thread has taken a posted
  // message: a round trip through its queue, then a moment.
  ::SendMessageW(dialog, WM_NULL, 0, 0);
  std::this_thread::sleep_for(200ms);
}

// A click on the row's check box, found by hit-testing along the row.
bool ClickBox(HWND list, int item) {
  RECT row{LVIR_BOUNDS};
  ::SendMessageW(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&row));
  for (int x = row.left; x < row.left + 60; ++x) {
    LVHITTESTINFO hit{};
    hit.pt = {x, (row.top + row.bottom) / 2};
    if (::SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) == item &&
        (hit.flags & LVHT_ONITEMSTATEICON)) {
      ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
      ::SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(hit.pt.x, hit.pt.y));
      return true;
    }
  }
  return false;
}

void DoubleClick(HWND list, int item) {
  RECT label{LVIR_LABEL};
  ::SendMessageW(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&label));
  const LPARAM at = MAKELPARAM(label.left + 40, (label.top + label.bottom) / 2);
  ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageW(list, WM_LBUTTONUP, 0, at);
  ::SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  ::SendMessageW(list, WM_LBUTTONUP, 0, at);
}

void Press(HWND dialog, int id) {
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

SIZE SizeOf(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

void Resize(HWND dialog, int width, int height) {
  ::SendMessageW(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
  ::SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
}

void Shoot(HWND dialog, const std::wstring& name) {
  ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::this_thread::sleep_for(400ms);
  EXPECT_TRUE(Host::SaveScreenshot(dialog, name)) << "screenshot " << std::string(name.begin(), name.end());
}

std::wstring TreeText(HWND tree, HTREEITEM item) {
  wchar_t text[256] = {};
  TVITEMW tv{};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = text;
  tv.cchTextMax = 256;
  ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
  return text;
}

HTREEITEM TreeChild(HWND tree, HTREEITEM parent, const std::wstring& name) {
  ::SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
  for (auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD,
                                                              reinterpret_cast<LPARAM>(parent)));
       item; item = reinterpret_cast<HTREEITEM>(
                 ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item))))
    if (TreeText(tree, item) == name) return item;
  return nullptr;
}

bool TreeChecked(HWND tree, HTREEITEM item) {
  return (::SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK) >> 12) == 2;
}

}  // namespace Hand

class AddinDialogs : public AddinWithComponents {
 protected:
  void SetUp() override {
    AddinWithComponents::SetUp();
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey.c_str(), L"ExcludeFolder");
  }
  void TearDown() override {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey.c_str(), L"ExcludeFolder");
    AddinWithComponents::TearDown();
  }

  int Selected() {
    const std::u16string label = Label(L"GetMailCount");
    return std::stoi(std::string(label.begin(), label.end()));
  }
  // A press while the last job's worker still unwinds does nothing: the
  // user presses again.
  void Collect(const wchar_t* command, const std::shared_ptr<Sim::SimFolder>& folder, int expected) {
    for (int i = 0; i < 120 && Selected() != expected; ++i) {
      Host::InvokeByName(m_callbacks.Get(), command, {Control(folder)});
      Host::PumpUntil([&] { return Selected() == expected; }, 500ms);
    }
    ASSERT_EQ(Selected(), expected);
  }
  // Runs a ribbon command whose dialog the hand works; the hand always
  // ends the dialog, whatever it found.
  // The command is pressed again only until its dialog appeared; a dialog
  // the hand left open (or one that came again) is cancelled, so that a
  // dialog ended early fails the test instead of hanging it.
  void WithDialog(const wchar_t* command, const std::wstring& title, const std::function<void(HWND)>& hand) {
    std::atomic<bool> appeared{false}, found{false}, ended{false};
    std::thread user([&] {
      if (HWND dialog = Hand::WaitForDialog(title)) {
        appeared = true;
        hand(dialog);
        found = true;
      }
      while (!ended) {
        if (HWND open = Host::FindDialog([&](HWND d) { return Host::WindowText(d) == title; }))
          ::PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        std::this_thread::sleep_for(50ms);
      }
    });
    // The command does nothing while the last collecting job still ends:
    // the user presses again.
    for (int i = 0; i < 60 && !appeared; ++i) {
      Host::InvokeByName(m_callbacks.Get(), command, {Control(m_inbox)});
      if (!appeared) Host::PumpUntil([&] { return appeared.load(); }, 250ms);
    }
    if (appeared) Host::PumpUntil([&] { return found.load(); }, 60s);
    ended = true;
    user.join();
    EXPECT_TRUE(found) << "no dialog \"" << std::string(title.begin(), title.end()) << "\"";
  }
  std::optional<std::wstring> Excluded() { return Host::ReadString(HKEY_CURRENT_USER, kSettingsKey, L"ExcludeFolder"); }
};

TEST_F(AddinDialogs, AuswahlKorrigierenWritesAFolderBackWhenAnotherIsPickedAndTheLastOnOK) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  std::shared_ptr<Sim::SimFolder> sent = m_store->DefaultFolder(Outlook::olFolderSentMail);
  std::shared_ptr<Sim::SimFolder> projects = m_inbox->AddFolder(u"Projekte");
  m_inbox->AddMails(5);
  sent->AddMails(3);
  projects->AddMails(4);
  ASSERT_NO_FATAL_FAILURE(Collect(L"AddFolder", m_inbox, 5));
  ASSERT_NO_FATAL_FAILURE(Collect(L"AddFolder", sent, 8));
  ASSERT_NO_FATAL_FAILURE(Collect(L"AddFolder", projects, 12));
  const int displaysBefore = m_inbox->ItemList()[0]->modalDisplays + m_inbox->ItemList()[1]->modalDisplays;

  // First run: two mails of the inbox off (space, then a click on the
  // box), the sent folder picked, one of its mails off, "Abbrechen".
  struct Seen {
    int folders = 0, inboxRows = 0, sentRows = 0;
    std::wstring firstFolder, inboxCount;
    bool untickedBySpace = false, untickedByClick = false, clicked = false, stillOpen = false;
    bool minimumKept = false, grew = false, buttonsFollowed = false, gripVisible = false;
    std::vector<int> tabOrder;
  } seen;
  WithDialog(L"RefineSelection", kRefineTitle, [&](HWND dialog) {
    HWND inner = Hand::Inner(dialog, 202);
    HWND folders = ::GetDlgItem(inner, 1), mails = ::GetDlgItem(inner, 2);
    seen.folders = Hand::Count(folders);
    // Tab goes round every control of the dialog, those in the vendor's
    // control included.
    HWND at = ::GetDlgItem(dialog, IDCANCEL);
    for (int i = 0; i < 6; ++i) {
      at = ::GetNextDlgTabItem(dialog, at, FALSE);
      seen.tabOrder.push_back(::GetDlgCtrlID(at));
    }
    const int inbox = Hand::Find(folders, L"Postfach\\Posteingang");
    seen.inboxCount = inbox >= 0 ? Hand::ListText(folders, inbox, 1) : L"";
    Hand::Select(folders, inbox);
    seen.inboxRows = Hand::Count(mails);
    Hand::Select(mails, 0);
    Hand::Key(mails, VK_SPACE);
    seen.untickedBySpace = !Hand::Checked(mails, 0);
    seen.clicked = Hand::ClickBox(mails, 1);
    seen.untickedByClick = !Hand::Checked(mails, 1);
    Hand::DoubleClick(mails, 2);  // opens the mail; the dialog goes on
    Hand::Select(mails, 3);
    Hand::Key(mails, VK_RETURN);
    seen.stillOpen = ::IsWindowVisible(dialog) != FALSE;
    Hand::Shoot(dialog, L"dialog_206");

    // The buttons' text fits them; the grip sits in the corner.
    HWND grip = ::GetDlgItem(dialog, 0xE801);
    seen.gripVisible = grip && ::IsWindowVisible(grip);
    const SIZE start = Hand::SizeOf(dialog);
    Hand::Resize(dialog, start.cx / 2, start.cy / 2);
    const SIZE small = Hand::SizeOf(dialog);
    seen.minimumKept = small.cx == start.cx && small.cy == start.cy;
    RECT okBefore{}, okAfter{};
    ::GetWindowRect(::GetDlgItem(dialog, IDOK), &okBefore);
    const SIZE hostBefore = Hand::SizeOf(::GetDlgItem(dialog, 202));
    Hand::Resize(dialog, start.cx + 200, start.cy + 120);
    ::GetWindowRect(::GetDlgItem(dialog, IDOK), &okAfter);
    const SIZE hostAfter = Hand::SizeOf(::GetDlgItem(dialog, 202));
    seen.grew = hostAfter.cx == hostBefore.cx + 200 && hostAfter.cy == hostBefore.cy + 120 &&
                Hand::SizeOf(inner).cx == hostAfter.cx;
    seen.buttonsFollowed = okAfter.left - okBefore.left == 200 && okAfter.top - okBefore.top == 120;
    Hand::Shoot(dialog, L"dialog_206_enlarged");

    const int sentItem = Hand::Find(folders, L"Postfach\\Gesendete Elemente");
    Hand::Select(folders, sentItem);  // the inbox goes back now
    seen.sentRows = Hand::Count(mails);
    Hand::Select(mails, 0);
    Hand::Key(mails, VK_SPACE);
    Hand::Press(dialog, IDCANCEL);
  });
  EXPECT_EQ(seen.folders, 3);
  EXPECT_EQ(seen.tabOrder, (std::vector<int>{1, 2, 3, 4, IDOK, IDCANCEL})) << "folders, mails, Alle, Keine, OK, Abbrechen";
  EXPECT_EQ(seen.inboxCount, L"5");
  EXPECT_EQ(seen.inboxRows, 5);
  EXPECT_TRUE(seen.untickedBySpace);
  EXPECT_TRUE(seen.clicked);
  EXPECT_TRUE(seen.untickedByClick);
  EXPECT_TRUE(seen.stillOpen);
  EXPECT_EQ(m_inbox->ItemList()[2]->modalDisplays + m_inbox->ItemList()[3]->modalDisplays - displaysBefore, 2)
      << "a double click and Enter each show their mail modally";
  EXPECT_TRUE(seen.gripVisible);
  EXPECT_TRUE(seen.minimumKept);
  EXPECT_TRUE(seen.grew);
  EXPECT_TRUE(seen.buttonsFollowed);
  EXPECT_EQ(seen.sentRows, 3);
  EXPECT_EQ(Selected(), 10) << "the inbox's change stays, the sent folder's is dropped";

  // Second run: the projects folder, all off with "Keine", one on again, OK.
  WithDialog(L"RefineSelection", kRefineTitle, [&](HWND dialog) {
    HWND inner = Hand::Inner(dialog, 202);
    HWND folders = ::GetDlgItem(inner, 1), mails = ::GetDlgItem(inner, 2);
    Hand::Select(folders, Hand::Find(folders, L"Postfach\\Posteingang\\Projekte"));
    ::SendMessageW(inner, WM_COMMAND, MAKEWPARAM(4, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(inner, 4)));
    Hand::Select(mails, 2);
    Hand::Key(mails, VK_SPACE);
    Hand::Press(dialog, IDOK);
  });
  EXPECT_EQ(Selected(), 7);

  // Third run: picking a folder without a change and pressing OK writes nothing.
  WithDialog(L"RefineSelection", kRefineTitle, [&](HWND dialog) {
    HWND folders = ::GetDlgItem(Hand::Inner(dialog, 202), 1);
    Hand::Select(folders, 0);
    Hand::Select(folders, 1);
    Hand::Press(dialog, IDOK);
  });
  EXPECT_EQ(Selected(), 7);
}

TEST_F(AddinDialogs, AusschlussordnerFestlegenStoresTheMarksThatTheNextAddSkips) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  std::shared_ptr<Sim::SimFolder> projects = m_inbox->AddFolder(u"Projekte");
  m_inbox->AddMails(5);
  projects->AddMails(4);
  m_store->DefaultFolder(Outlook::olFolderSentMail)->AddMails(3);
  const std::wstring inboxPath = L"\\\\Postfach\\Posteingang";

  // OK without a change calls no Apply: nothing is stored.
  bool defaultsShown = false;
  WithDialog(L"SelectIgnoredFolder", kExcludedTitle, [&](HWND dialog) {
    HWND tree = ::GetWindow(Hand::Inner(dialog, 203), GW_CHILD);
    auto root = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    HTREEITEM deleted = Hand::TreeChild(tree, root, L"Gel\u00f6schte Elemente");
    defaultsShown = deleted && Hand::TreeChecked(tree, deleted) && !Hand::TreeChecked(tree, root);
    Hand::Press(dialog, IDOK);
  });
  EXPECT_TRUE(defaultsShown) << "while nothing is stored the default set shows marked";
  EXPECT_EQ(Excluded(), std::nullopt);

  // "Abbrechen" after a mark writes nothing either.
  WithDialog(L"SelectIgnoredFolder", kExcludedTitle, [&](HWND dialog) {
    HWND tree = ::GetWindow(Hand::Inner(dialog, 203), GW_CHILD);
    auto root = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    HTREEITEM inbox = Hand::TreeChild(tree, root, L"Posteingang");
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(inbox));
    Hand::Key(tree, VK_SPACE);
    ::PostMessageW(tree, WM_KEYDOWN, VK_ESCAPE, 0);  // Esc is "Abbrechen"
    for (int i = 0; i < 100 && ::IsWindow(dialog); ++i) std::this_thread::sleep_for(50ms);
  });
  EXPECT_EQ(Excluded(), std::nullopt);

  // A mark and OK: stored, and the next recursive add skips the inbox's
  // own mails but still visits its subfolder.
  bool marked = false, unclippedTree = false;
  WithDialog(L"SelectIgnoredFolder", kExcludedTitle, [&](HWND dialog) {
    HWND tree = ::GetWindow(Hand::Inner(dialog, 203), GW_CHILD);
    auto root = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    HTREEITEM inbox = Hand::TreeChild(tree, root, L"Posteingang");
    Hand::TreeChild(tree, inbox, L"Projekte");
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(inbox));
    Hand::Key(tree, VK_SPACE);
    std::this_thread::sleep_for(300ms);
    marked = Hand::TreeChecked(tree, inbox);
    Hand::Shoot(dialog, L"dialog_110");
    const SIZE start = Hand::SizeOf(dialog);
    Hand::Resize(dialog, start.cx / 2, start.cy / 2);
    unclippedTree = Hand::SizeOf(dialog).cx == start.cx;
    Hand::Resize(dialog, start.cx + 160, start.cy + 100);
    Hand::Shoot(dialog, L"dialog_110_enlarged");
    ::PostMessageW(tree, WM_KEYDOWN, VK_RETURN, 0);  // Enter is the default button, OK
    for (int i = 0; i < 100 && ::IsWindow(dialog); ++i) std::this_thread::sleep_for(50ms);
  });
  EXPECT_TRUE(marked);
  EXPECT_TRUE(unclippedTree) << "no smaller than it opened";
  const std::optional<std::wstring> value = Excluded();
  ASSERT_TRUE(value);
  EXPECT_NE(value->find(inboxPath + L"\r\n"), std::wstring::npos) << std::string(value->begin(), value->end());
  EXPECT_NE(value->find(L"\\\\Postfach\\Gel\u00f6schte Elemente\r\n"), std::wstring::npos);
  ASSERT_NO_FATAL_FAILURE(Collect(L"AddFolders", m_store->Root(), 7));
}

// Without the components the controls cannot be made: the user learns
// that the installation is damaged instead of facing an empty dialog.
TEST_F(AddinDialogs, WithoutTheComponentsBothCommandsSayTheInstallationIsDamaged) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_EQ(Host::Run(L"regsvr32.exe /s /u \"" + WindowsPath(CV_COMPONENTS_DLL) + L"\""), 0u);
  for (const wchar_t* command : {L"RefineSelection", L"SelectIgnoredFolder"}) {
    std::wstring text;
    std::thread user([&] {
      HWND box = Hand::WaitForDialog(L"Corvane E-Mail Archiv f\u00fcr Microsoft Outlook");
      if (!box) return;
      text = Host::StaticTexts(box);
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    Host::InvokeByName(m_callbacks.Get(), command, {Control(m_inbox)});
    user.join();
    EXPECT_NE(text.find(L"Diese Installation des Corvane E-Mail Archiv f\u00fcr Microsoft Outlook ist besch\u00e4digt."),
              std::wstring::npos)
        << std::string(text.begin(), text.end());
    EXPECT_EQ(Host::FindDialog([](HWND d) { return Host::WindowText(d).find(L"Corvane E-Mail Archiv - ") == 0; }),
              nullptr);
  }
  ASSERT_EQ(Host::Run(L"regsvr32.exe /s \"" + WindowsPath(CV_COMPONENTS_DLL) + L"\""), 0u);
}

// Run in a process of its own (its own ctest entry): an export pins the
// components DLL for the rest of its process, and only an unpinned DLL is
// unloaded between dialogs, as Outlook's CoFreeUnusedLibraries does.
class AddinDialogsFreshProcess : public AddinDialogs {};

TEST_F(AddinDialogsFreshProcess, BothDialogsWorkAgainAfterTheComponentsWereUnloaded) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  m_inbox->AddMails(3);
  ASSERT_NO_FATAL_FAILURE(Collect(L"AddFolder", m_inbox, 3));
  const wchar_t* const dll = L"CVMailComponents.dll";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "first load" : "after the unload");
    bool unticked = false;
    WithDialog(L"RefineSelection", kRefineTitle, [&](HWND dialog) {
      HWND inner = Hand::Inner(dialog, 202);
      HWND folders = ::GetDlgItem(inner, 1), mails = ::GetDlgItem(inner, 2);
      Hand::Select(folders, Hand::Find(folders, L"Postfach\\Posteingang"));
      Hand::Select(mails, round);
      Hand::Key(mails, VK_SPACE);
      unticked = Hand::Count(mails) == 3 && !Hand::Checked(mails, round);
      if (round == 1) Hand::Shoot(dialog, L"dialog_206_reloaded");
      Hand::Press(dialog, IDOK);
    });
    EXPECT_TRUE(unticked);
    EXPECT_EQ(Selected(), 2 - round);
    bool shown = false;
    WithDialog(L"SelectIgnoredFolder", kExcludedTitle, [&](HWND dialog) {
      HWND tree = ::GetWindow(Hand::Inner(dialog, 203), GW_CHILD);
      auto root = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
      shown = root && Hand::TreeChild(tree, root, L"Posteingang");
      if (round == 1) Hand::Shoot(dialog, L"dialog_110_reloaded");
      Hand::Press(dialog, IDCANCEL);
    });
    EXPECT_TRUE(shown) << "the folder tree is empty";

    // Both dialogs closed: COM may unload the DLL, and its window classes
    // go with it.
    HMODULE loaded = ::GetModuleHandleW(dll);
    ASSERT_NE(loaded, nullptr);
    ::CoFreeUnusedLibrariesEx(0, 0);
    ::CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_EQ(::GetModuleHandleW(dll), nullptr) << "the components DLL stayed loaded";
    WNDCLASSW left{};
    EXPECT_FALSE(::GetClassInfoW(loaded, L"CVMailSelectWindow", &left)) << "a class outlived its DLL";
    EXPECT_FALSE(::GetClassInfoW(loaded, L"CVFolderSelectWindow", &left)) << "a class outlived its DLL";
  }
}

}  // namespace
}  // namespace CV
