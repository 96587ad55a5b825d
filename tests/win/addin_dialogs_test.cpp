// "Auswahl korrigieren" and "Ausschlußordner festlegen" in the add-in DLL
// under Wine: the dialogs from its resources, our controls from the
// registered components DLL in atl.dll's container. The ribbon command
// runs the dialog modally on the test's thread; a second thread acts as
// the user through window messages, as a screen reader or a test robot
// would, and ends the dialog. Screenshots go to the build tree.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/utf.h"
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

// A folder picked as a user does: it shows once the selection rests.
void Pick(HWND folders, int item) {
  Select(folders, item);
  std::this_thread::sleep_for(500ms);
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
// The dialog moves the focus to the window, on its own thread.
HWND FocusOn(HWND window) {
  HWND dialog = ::GetAncestor(window, GA_ROOT);
  ::PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
  for (int i = 0; i < 100 && Focused(dialog) != window; ++i) std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Focused(dialog), window) << "the window did not take the focus";
  return dialog;
}

void Key(HWND window, WPARAM key) {
  HWND dialog = FocusOn(window);
  ::PostMessageW(window, WM_KEYDOWN, key, 1);
  ::PostMessageW(window, WM_KEYUP, key, 0xC0000001);
  // Nothing tells this thread when the dialog's thread has taken a posted
  // message: a round trip through its queue, then a moment.
  ::SendMessageW(dialog, WM_NULL, 0, 0);
  std::this_thread::sleep_for(200ms);
}

// Keys in quick succession, as a user holding an arrow key gives them.
void Keys(HWND window, const std::vector<WPARAM>& keys) {
  HWND dialog = FocusOn(window);
  for (const WPARAM key : keys) {
    ::PostMessageW(window, WM_KEYDOWN, key, 1);
    ::PostMessageW(window, WM_KEYUP, key, 0xC0000001);
  }
  ::SendMessageW(dialog, WM_NULL, 0, 0);
}

void Type(HWND window, const std::wstring& text) {
  HWND dialog = FocusOn(window);
  for (const wchar_t c : text) ::PostMessageW(window, WM_CHAR, c, 1);
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
  const LPARAM at = MAKELPARAM((label.left + label.right) / 2, (label.top + label.bottom) / 2);
  ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageW(list, WM_LBUTTONUP, 0, at);
  ::SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  ::SendMessageW(list, WM_LBUTTONUP, 0, at);
}

void Press(HWND dialog, int id) {
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// What a screen reader reads as the window's name.
std::wstring AccessibleName(HWND window) {
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  struct Uninitialize {
    HRESULT com;
    ~Uninitialize() {
      if (SUCCEEDED(com)) ::CoUninitialize();
    }
  } uninitialize{com};
  IAccessible* accessible = nullptr;
  // Not IID_IAccessible: mingw's oleacc import library resolves that name
  // to an import thunk, not to the interface id.
  static constexpr IID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
  const HRESULT hr = ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                                  reinterpret_cast<void**>(&accessible));
  if (FAILED(hr) || !accessible) return L"(no accessible object: " + std::to_wstring(static_cast<unsigned long>(hr)) + L")";
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  std::wstring text = SUCCEEDED(accessible->get_accName(self, &name)) && name ? std::wstring(name) : L"";
  ::SysFreeString(name);
  accessible->Release();
  return text;
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
    HWND folders = ::GetDlgItem(inner, 11), mails = ::GetDlgItem(inner, 12);
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
    Hand::Pick(folders, inbox);
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
    Hand::Pick(folders, sentItem);  // the inbox goes back now
    seen.sentRows = Hand::Count(mails);
    Hand::Select(mails, 0);
    Hand::Key(mails, VK_SPACE);
    Hand::Press(dialog, IDCANCEL);
  });
  EXPECT_EQ(seen.folders, 3);
  EXPECT_EQ(seen.tabOrder, (std::vector<int>{11, 12, 13, 14, IDOK, IDCANCEL})) << "folders, mails, Alle, Keine, OK, Abbrechen";
  EXPECT_EQ(seen.inboxCount, L"5");
  EXPECT_EQ(seen.inboxRows, 5);
  EXPECT_TRUE(seen.untickedBySpace);
  EXPECT_TRUE(seen.clicked);
  EXPECT_TRUE(seen.untickedByClick);
  EXPECT_TRUE(seen.stillOpen);
  EXPECT_EQ(m_inbox->ItemList()[2]->modalDisplays + m_inbox->ItemList()[3]->modalDisplays - displaysBefore, 2)
      << "a double click and Enter each show their mail modally: " << m_inbox->ItemList()[2]->modalDisplays << ", "
      << m_inbox->ItemList()[3]->modalDisplays;
  EXPECT_TRUE(seen.gripVisible);
  EXPECT_TRUE(seen.minimumKept);
  EXPECT_TRUE(seen.grew);
  EXPECT_TRUE(seen.buttonsFollowed);
  EXPECT_EQ(seen.sentRows, 3);
  EXPECT_EQ(Selected(), 10) << "the inbox's change stays, the sent folder's is dropped";

  // Second run: the projects folder, all off with Enter on "Keine", one on
  // again, OK.
  bool stillOpenAfterKeine = false;
  WithDialog(L"RefineSelection", kRefineTitle, [&](HWND dialog) {
    HWND inner = Hand::Inner(dialog, 202);
    HWND folders = ::GetDlgItem(inner, 11), mails = ::GetDlgItem(inner, 12);
    Hand::Pick(folders, Hand::Find(folders, L"Postfach\\Posteingang\\Projekte"));
    Hand::Key(::GetDlgItem(inner, 14), VK_RETURN);
    stillOpenAfterKeine = ::IsWindowVisible(dialog) && !Hand::Checked(mails, 0) && !Hand::Checked(mails, 3);
    Hand::Select(mails, 2);
    Hand::Key(mails, VK_SPACE);
    Hand::Press(dialog, IDOK);
  });
  EXPECT_TRUE(stillOpenAfterKeine) << "Enter on the focused \"Keine\" unticks all and leaves the dialog open";
  EXPECT_EQ(Selected(), 7);

  // Third run: picking a folder without a change and pressing OK writes nothing.
  WithDialog(L"RefineSelection", kRefineTitle, [&](HWND dialog) {
    HWND folders = ::GetDlgItem(Hand::Inner(dialog, 202), 11);
    Hand::Pick(folders, 0);
    Hand::Pick(folders, 1);
    Hand::Press(dialog, IDOK);
  });
  EXPECT_EQ(Selected(), 7);
}

// The mail dialog for keyboard and screen-reader users: the lists have
// names, arrowing through the folders reads only the folder it rests on,
// Enter in the folder list keeps the dialog open, type-ahead finds a mail
// by the sorted column, and the columns give the subject what is left.
TEST_F(AddinDialogs, TheMailDialogServesKeyboardAndScreenReaderUsers) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  std::shared_ptr<Sim::SimFolder> sent = m_store->DefaultFolder(Outlook::olFolderSentMail);
  std::shared_ptr<Sim::SimFolder> projects = m_inbox->AddFolder(u"Projekte");
  const std::vector<std::pair<std::u16string, std::u16string>> inboxMails = {
      {u"Angebot f\u00fcr das zweite Quartal", u"Zimmermann"},
      {u"Rechnung 2024-117 f\u00fcr die Wartung der Heizungsanlage im Verwaltungsgeb\u00e4ude, bitte bis Monatsende begleichen",
       u"M\u00fcller"},
      {u"Protokoll der Sitzung", u"Meyer"},
      {u"Zahlungserinnerung", u"Becker"}};
  for (const auto& [subject, sender] : inboxMails) {
    auto mail = m_inbox->AddMails(1)[0];
    mail->subject = subject;
    mail->senderName = mail->sentOnBehalfOfName = sender;
    if (sender == u"M\u00fcller") mail->importance = Outlook::olImportanceHigh;
  }
  sent->AddMails(3);
  projects->AddMails(2);
  ASSERT_NO_FATAL_FAILURE(Collect(L"AddFolder", m_inbox, 4));
  ASSERT_NO_FATAL_FAILURE(Collect(L"AddFolder", sent, 7));
  ASSERT_NO_FATAL_FAILURE(Collect(L"AddFolder", projects, 9));
  const auto readsOf = [](const std::shared_ptr<Sim::SimFolder>& folder) { return folder->ItemList()[0]->Calls("Attachments"); };

  struct Seen {
    std::wstring folderName, mailName;
    std::vector<std::wstring> passed;
    std::uint64_t passedReads = 0, restedReads = 0;
    int restedRows = 0;
    bool openAfterEnter = false;
    std::wstring typedSubject, typedSender, typedNothing;
    bool markFits = false;
    int markWidth = 0, senderWidth = 0, subjectWidth = 0, subjectGrown = 0, columnsWidth = 0, listWidth = 0;
    int spareAfter = 0, fixedChanged = 0;
  } seen;
  WithDialog(L"RefineSelection", kRefineTitle, [&](HWND dialog) {
    HWND inner = Hand::Inner(dialog, 202);
    HWND folders = ::GetDlgItem(inner, 11), mails = ::GetDlgItem(inner, 12);
    seen.folderName = Hand::AccessibleName(folders);
    seen.mailName = Hand::AccessibleName(mails);

    // From the first folder two down at once: the second is passed, the
    // third is where the selection rests.
    Hand::Pick(folders, 0);
    const auto folderAt = [&](int i) {
      const std::wstring name = Hand::ListText(folders, i, 0);
      seen.passed.push_back(name);
      return name == L"Postfach\\Posteingang" ? m_inbox : name == L"Postfach\\Gesendete Elemente" ? sent : projects;
    };
    const auto passed = folderAt(1), rested = folderAt(2);
    const std::uint64_t passedBefore = readsOf(passed), restedBefore = readsOf(rested);
    Hand::Keys(folders, {VK_DOWN, VK_DOWN});
    std::this_thread::sleep_for(800ms);
    seen.passedReads = readsOf(passed) - passedBefore;
    seen.restedReads = readsOf(rested) - restedBefore;
    seen.restedRows = Hand::Count(mails);
    Hand::Key(folders, VK_RETURN);
    seen.openAfterEnter = ::IsWindowVisible(dialog) != FALSE;

    // Type-ahead: by subject while unsorted, by sender once sorted by it.
    Hand::Pick(folders, Hand::Find(folders, L"Postfach\\Posteingang"));
    Hand::Type(mails, L"rech");
    seen.typedSubject = Hand::ListText(mails, ListView_GetNextItem(mails, -1, LVNI_FOCUSED), 3);
    NMLISTVIEW click{};
    click.hdr = {mails, 12, static_cast<UINT>(LVN_COLUMNCLICK)};
    click.iItem = -1;
    click.iSubItem = 2;  // "Von"
    ::SendMessageW(::GetParent(mails), WM_NOTIFY, 12, reinterpret_cast<LPARAM>(&click));
    std::this_thread::sleep_for(1500ms);  // the list forgets what was typed before
    Hand::Type(mails, L"mey");
    seen.typedSender = Hand::ListText(mails, ListView_GetNextItem(mails, -1, LVNI_FOCUSED), 2);
    std::this_thread::sleep_for(1500ms);
    Hand::Type(mails, L"qqq");  // no sender begins so: the focus stays
    seen.typedNothing = Hand::ListText(mails, ListView_GetNextItem(mails, -1, LVNI_FOCUSED), 2);

    // Columns: the marks narrow, the subject takes the rest, also after
    // the dialog grew.
    const auto width = [&](int c) { return static_cast<int>(::SendMessageW(mails, LVM_GETCOLUMNWIDTH, c, 0)); };
    seen.markWidth = std::max(width(0) - 16, width(1));  // the first holds the check box as well
    seen.markFits = width(0) >= 16 + static_cast<int>(::SendMessageW(mails, LVM_GETSTRINGWIDTHW, 0,
                                                                      reinterpret_cast<LPARAM>(L"hoch")));
    seen.senderWidth = width(2);
    seen.subjectWidth = width(3);
    const int fixedBefore = width(0) + width(1) + width(4) + width(5);
    for (int c = 0; c < 6; ++c) seen.columnsWidth += width(c);
    RECT client{};
    ::GetClientRect(mails, &client);
    seen.listWidth = client.right;
    Hand::Shoot(dialog, L"dialog_206_columns");
    const SIZE start = Hand::SizeOf(dialog);
    Hand::Resize(dialog, start.cx + 240, start.cy + 80);
    std::this_thread::sleep_for(200ms);
    seen.subjectGrown = width(3) - seen.subjectWidth;
    seen.fixedChanged = width(0) + width(1) + width(4) + width(5) - fixedBefore;
    ::GetClientRect(mails, &client);
    seen.spareAfter = client.right - (width(0) + width(1) + width(2) + width(3) + width(4) + width(5));
    Hand::Shoot(dialog, L"dialog_206_columns_enlarged");
    Hand::Press(dialog, IDCANCEL);
  });
  EXPECT_EQ(seen.folderName, L"Ordner");
  EXPECT_EQ(seen.mailName, L"E-Mails");
  ASSERT_EQ(seen.passed.size(), 2u);
  EXPECT_EQ(seen.passedReads, 0u) << "a folder passed on the way was read: " << std::string(seen.passed[0].begin(), seen.passed[0].end());
  EXPECT_GT(seen.restedReads, 0u) << "the folder the selection rests on was not read";
  EXPECT_GT(seen.restedRows, 0);
  EXPECT_TRUE(seen.openAfterEnter) << "Enter in the folder list closed the dialog";
  EXPECT_EQ(seen.typedSubject.rfind(L"Rechnung 2024-117", 0), 0u) << std::string(seen.typedSubject.begin(), seen.typedSubject.end());
  EXPECT_EQ(seen.typedSender, L"Meyer");
  EXPECT_EQ(seen.typedNothing, L"Meyer") << "a prefix no row has moved the focus";
  EXPECT_TRUE(seen.markFits) << "\"hoch\" does not fit beside the check box";
  EXPECT_LT(seen.markWidth, 60) << "a mark column is wider than its mark";
  EXPECT_GE(seen.subjectWidth, seen.senderWidth) << "the subject has less room than the sender";
  EXPECT_LE(seen.columnsWidth, seen.listWidth) << "the columns do not fit the list";
  EXPECT_GT(seen.subjectGrown, 0) << "the subject did not take the room the dialog gained";
  EXPECT_EQ(seen.fixedChanged, 0) << "marks, date and size keep their widths";
  EXPECT_NEAR(seen.spareAfter, ::GetSystemMetrics(SM_CXVSCROLL), 1) << "the columns leave room but the scroll bar's";
}

// A bench, run by hand (scripts/bench-dialogs): a keyboard user arrows
// through 20 folders of 5,000 mails at a key's repeat rate. Prints the UI
// thread's longest stretch away from its message loop while arrowing, and
// while the last folder, where the selection rests, is read.
TEST_F(AddinDialogs, DISABLED_BenchArrowingThroughFolders) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const auto setting = [](const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
  };
  const int folderCount = setting("CV_BENCH_FOLDERS", 20), mailCount = setting("CV_BENCH_MAILS", 5000);
  std::vector<std::shared_ptr<Sim::SimFolder>> added;
  for (int i = 0; i < folderCount; ++i) {
    added.push_back(m_inbox->AddFolder(u"Ordner " + FromUtf8(std::to_string(100 + i))));
    added.back()->AddMails(mailCount);
  }
  const auto collecting = std::chrono::steady_clock::now();
  Host::InvokeByName(m_callbacks.Get(), L"AddFolders", {Control(m_inbox)});
  ASSERT_TRUE(Host::PumpUntil([&] { return Selected() == folderCount * mailCount; }, 20min)) << Selected();
  std::printf("bench: %d mails collected in %.1f s\n", folderCount * mailCount,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - collecting).count());

  double arrowing = 0, resting = 0, restedAfter = 0;
  WithDialog(L"RefineSelection", kRefineTitle, [&](HWND dialog) {
    HWND inner = Hand::Inner(dialog, 202);
    HWND folders = ::GetDlgItem(inner, 11), mails = ::GetDlgItem(inner, 12);
    Hand::Select(folders, Hand::Find(folders, L"Postfach\\Posteingang\\Ordner 100"));
    for (int i = 0; i < 1200 && Hand::Count(mails) != mailCount; ++i) std::this_thread::sleep_for(100ms);
    // The UI thread answers a sent message only from its message loop.
    std::atomic<int> phase{0};  // 1 arrowing, 2 resting, 3 done
    std::thread pinger([&] {
      while (phase != 3) {
        const auto sent = std::chrono::steady_clock::now();
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count();
        if (phase == 1) arrowing = std::max(arrowing, ms);
        if (phase == 2) resting = std::max(resting, ms);
        std::this_thread::sleep_for(2ms);
      }
    });
    ::PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(folders), TRUE);
    std::this_thread::sleep_for(300ms);
    phase = 1;
    for (int i = 1; i < folderCount; ++i) {
      ::PostMessageW(folders, WM_KEYDOWN, VK_DOWN, 1);
      ::PostMessageW(folders, WM_KEYUP, VK_DOWN, 0xC0000001);
      std::this_thread::sleep_for(60ms);  // a held key repeats about 16 times a second
    }
    std::this_thread::sleep_for(100ms);
    phase = 2;
    const auto rested = std::chrono::steady_clock::now();
    const std::shared_ptr<Sim::SimFolder> last = added.back();
    while (last->ItemList().back()->Calls("Attachments") == 0 && std::chrono::steady_clock::now() - rested < 120s)
      std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(300ms);
    restedAfter = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - rested).count() - 300;
    phase = 3;
    pinger.join();
    Hand::Press(dialog, IDCANCEL);
  });
  std::printf("bench: %d folders of %d mails arrowed through: longest UI stretch %.1f ms while arrowing, "
              "%.1f ms while the last folder is read (its mails shown %.0f ms after the last key)\n",
              folderCount, mailCount, arrowing, resting, restedAfter);
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
  std::wstring treeName;
  WithDialog(L"SelectIgnoredFolder", kExcludedTitle, [&](HWND dialog) {
    HWND tree = ::GetWindow(Hand::Inner(dialog, 203), GW_CHILD);
    auto root = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    HTREEITEM inbox = Hand::TreeChild(tree, root, L"Posteingang");
    Hand::TreeChild(tree, inbox, L"Projekte");
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(inbox));
    Hand::Key(tree, VK_SPACE);
    std::this_thread::sleep_for(300ms);
    marked = Hand::TreeChecked(tree, inbox);
    treeName = Hand::AccessibleName(tree);
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
  EXPECT_EQ(treeName, L"Ordner") << "the tree's name for screen readers";
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
      HWND folders = ::GetDlgItem(inner, 11), mails = ::GetDlgItem(inner, 12);
      Hand::Pick(folders, Hand::Find(folders, L"Postfach\\Posteingang"));
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
    // As an older build would have left them: classes of the unloaded
    // image under the module's handle, which the reload usually gets again.
    // The reloaded DLL replaces them.
    for (const wchar_t* name : {L"CVMailSelectWindow", L"CVFolderSelectWindow"}) {
      if (round == 1) break;
      WNDCLASSW stale{};
      stale.lpfnWndProc = ::DefWindowProcW;
      stale.hInstance = loaded;
      stale.lpszClassName = name;
      EXPECT_NE(::RegisterClassW(&stale), 0);
    }
  }
}

}  // namespace
}  // namespace CV
