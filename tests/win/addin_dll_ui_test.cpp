// What the user sees of the add-in DLL, under Wine on a virtual display:
// the progress window of a collecting job with its cancel button, the
// message box about unreadable mails, and the ribbon's pictures. The
// progress window and the message box are kept as screenshots in the build
// tree (tests/screenshots).
#include <windows.h>
#include <commctrl.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "foundation/utf.h"
#include "win/addin_fixture.h"

namespace CV {
namespace {

using namespace std::chrono_literals;
using Win::ComPtr;

const std::wstring kProductTitle = L"Corvane E-Mail Archiv f\u00fcr Microsoft Outlook";

// The progress window of a collecting job: a dialog whose heading (207)
// reads the job's title.
HWND ProgressWindow(const wchar_t* title) {
  return Host::FindDialog([&](HWND dialog) {
    HWND heading = ::GetDlgItem(dialog, 207);
    return heading && Host::WindowText(heading) == title && ::GetDlgItem(dialog, 204);
  });
}

HWND MessageBoxWindow() {
  return Host::FindDialog([](HWND dialog) { return Host::WindowText(dialog) == kProductTitle; });
}

TEST_F(AddinDllJobs, AFolderWithAnUnreadableMailShowsProgressThenTheMessage) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  auto mails = m_inbox->AddMails(30);
  mails[3]->FailAlways("EntryID", E_ACCESSDENIED);
  m_outlook.OpenExplorer(m_inbox);
  Host::InvokeByName(m_callbacks.Get(), L"AddFolder", {Control(m_inbox)});

  // The worker shows the message while the progress window is still up.
  HWND box = nullptr;
  ASSERT_TRUE(Host::PumpUntil([&] { return (box = MessageBoxWindow()) != nullptr; }, 30s))
      << "count " << ToUtf8(Label(L"GetMailCount")) << ", " << Host::ProcessWindows().size() << " windows";
  HWND progress = ProgressWindow(L"Erfasse Ordner");
  ASSERT_NE(progress, nullptr);
  EXPECT_TRUE(::IsWindowVisible(progress));
  EXPECT_EQ(Host::WindowText(progress), L"") << "the window has no caption";
  EXPECT_NE(Host::WindowText(::GetDlgItem(progress, 201)).find(L"Posteingang"), std::wstring::npos)
      << Host::WindowText(::GetDlgItem(progress, 201));
  EXPECT_EQ(::SendDlgItemMessageW(progress, 204, PBM_GETPOS, 0, 0), 100);
  EXPECT_EQ(Host::WindowText(::GetDlgItem(progress, IDCANCEL)), L"Abbrechen");
  EXPECT_EQ(::GetWindow(progress, GW_OWNER), nullptr) << "the test host has no active window to own it";
  Host::PumpUntil([] { return false; }, 300ms);  // let the box paint
  EXPECT_TRUE(Host::SaveScreenshot(box, L"message_box_110"));

  EXPECT_NE(Host::StaticTexts(box).find(L"Auf 1 Mail(s) konnte nicht zugegriffen werden. Sie wurden daher nicht "
                                        L"zum Export ausgew\u00e4hlt."),
            std::wstring::npos)
      << Host::StaticTexts(box);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(Host::PumpUntil([&] { return !::IsWindow(progress) && !::IsWindow(box); }, 10s));
  EXPECT_EQ(Label(L"GetMailCount"), u"   29");
}

TEST_F(AddinDllJobs, AbbrechenStopsTheJobAndKeepsWhatWasCollected) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  m_inbox->AddMails(20000);
  m_outlook.OpenExplorer(m_inbox);
  Host::InvokeByName(m_callbacks.Get(), L"AddFolder", {Control(m_inbox)});
  HWND progress = nullptr;
  ASSERT_TRUE(Host::PumpUntil([&] { return (progress = ProgressWindow(L"Erfasse Ordner")) != nullptr; }, 30s));
  // The counters follow at the end of the folder; the bar moves before.
  ASSERT_TRUE(Host::PumpUntil([&] { return ::SendDlgItemMessageW(progress, 204, PBM_GETPOS, 0, 0) > 0; }, 30s));
  EXPECT_NE(Host::WindowText(::GetDlgItem(progress, 201)).find(L"Posteingang"), std::wstring::npos);
  EXPECT_TRUE(Host::SaveScreenshot(progress, L"progress_window"));
  ::SendMessageW(::GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
  ASSERT_TRUE(Host::PumpUntil([&] { return !::IsWindow(progress); }, 10s)) << "the job closes the window";
  const std::u16string count = Label(L"GetMailCount");
  const int collected = std::stoi(ToUtf8(count));
  EXPECT_GT(collected, 0);
  EXPECT_LT(collected, 20000);
  Host::PumpUntil([] { return false; }, 300ms);
  EXPECT_EQ(Label(L"GetMailCount"), count) << "nothing is collected after the cancel";
  EXPECT_EQ(MessageBoxWindow(), nullptr);
  EXPECT_TRUE(Host::InvokeByName(m_callbacks.Get(), L"GetAddFolderEnabled", {Control(m_inbox)}).AsBool());
}

struct PictureInfo {
  LONG width = 0, height = 0;
  WORD bitsPerPixel = 0;
  int transparent = 0, opaque = 0;  // pixels with alpha 0 and 255
  int straight = 0;  // translucent pixels brighter than their alpha: not premultiplied
};

PictureInfo Inspect(const Variant& picture) {
  PictureInfo info;
  ComPtr<IPicture> typed;
  IDispatch* dispatch = Win::ExposeObject(picture.AsObject());
  if (!dispatch) return info;
  dispatch->QueryInterface(IID_IPicture, reinterpret_cast<void**>(typed.Put()));
  dispatch->Release();
  OLE_HANDLE handle = 0;
  SHORT type = 0;
  if (!typed || FAILED(typed->get_Handle(&handle)) || FAILED(typed->get_Type(&type)) || type != PICTYPE_BITMAP)
    return info;
  DIBSECTION dib{};
  if (::GetObjectW(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), sizeof dib, &dib) != sizeof dib)
    return info;
  info.width = dib.dsBm.bmWidth;
  info.height = dib.dsBm.bmHeight;
  info.bitsPerPixel = dib.dsBm.bmBitsPixel;
  if (info.bitsPerPixel != 32 || !dib.dsBm.bmBits) return info;
  const auto* pixels = static_cast<const std::uint8_t*>(dib.dsBm.bmBits);
  for (LONG i = 0; i < info.width * info.height; ++i) {
    const std::uint8_t alpha = pixels[i * 4 + 3];
    info.transparent += alpha == 0;
    info.opaque += alpha == 255;
    const std::uint8_t brightest = std::max({pixels[i * 4], pixels[i * 4 + 1], pixels[i * 4 + 2]});
    info.straight += alpha > 0 && alpha < 255 && brightest > alpha;
  }
  return info;
}

TEST_F(AddinDll, PicturesComeInTheSizeOfEachDpiClassWithTheirAlpha) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  struct Case {
    const wchar_t* name;
    LONG size;
  };
  const Case cases[] = {
      {L"PNG/addmails_96.png", 16},      {L"PNG/addmails_120.png", 20},     {L"png/ADDMAILS_144.PNG", 24},
      {L"createarcsafe_96.png", 32},     {L"PNG/createarcsafe_120.png", 40}, {L"PNG/createarcsafe_144.png", 48},
      {L"PNG/archiv_96.png", 64},        {L"PNG/archiv_144.png", 96},       {L"PNG/help_%DPI%.png", 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(std::u16string(c.name, c.name + ::lstrlenW(c.name))));
    const Variant picture = Host::InvokeByName(m_callbacks.Get(), L"LoadPicture",
                                               {Variant::FromBstr(Bstr(std::u16string(c.name, c.name + ::lstrlenW(c.name))))});
    const PictureInfo info = Inspect(picture);
    EXPECT_EQ(info.width, c.size);
    EXPECT_EQ(info.height, c.size);
    EXPECT_EQ(info.bitsPerPixel, 32);
    // Round pictures on a transparent ground: both kinds of pixel, not
    // premultiplied away.
    EXPECT_GT(info.transparent, 0);
    EXPECT_GT(info.opaque, 0);
    EXPECT_GT(info.straight, 0);
  }
  // By a control's id: the screen of the test display has 96 DPI.
  const Variant byId = Host::InvokeByName(
      m_callbacks.Get(), L"GetCustomImage",
      {Variant::FromObject(m_outlook.NewRibbonControl(u"REFINESELECTION_%DPI%.PNG", nullptr))});
  EXPECT_EQ(Inspect(byId).width, 16);
  // A missing picture is E_FAIL.
  try {
    Host::InvokeByName(m_callbacks.Get(), L"LoadPicture", {Variant::FromBstr(Bstr(u"PNG/nichtda_96.png"))});
    ADD_FAILURE() << "a missing picture was found";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Error(), E_FAIL);
  }
}

int VisibleWindows() {
  int count = 0;
  for (HWND window : Host::ProcessWindows()) count += ::IsWindowVisible(window) ? 1 : 0;
  return count;
}

// The help viewer's window: a top-level window of this process with the
// help file's title.
HWND HelpViewer() {
  for (HWND window : Host::ProcessWindows())
    if (::IsWindowVisible(window) && Host::WindowText(window) == L"Corvane E-Mail Archiv \u2013 Hilfe") return window;
  return nullptr;
}

std::wstring FolderOf(const std::wstring& file) { return file.substr(0, file.find_last_of(L'\\')); }

// The help button of an add-in installed as the packages lay it out: the
// DLL and CVHilfe.chm in one folder, the main application not installed.
// With the file there, HTML Help shows the overview topic; with it missing
// (beside the add-in and beside a registered main application), nothing
// appears, no error box either, and Office hears S_OK.
TEST_F(AddinDll, TheHelpButtonOpensTheHelpBesideTheAddinOrNothing) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring folder = std::wstring(temp) + L"cv-help-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring application = folder + L"\\Anwendung";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  ::CreateDirectoryW(application.c_str(), nullptr);
  const std::wstring dll = folder + L"\\CVMailArchiveOl.dll", help = folder + L"\\CVHilfe.chm";
  const std::wstring built = FolderOf(Host::AddinDll()) + L"\\CVHilfe.chm";
  ASSERT_TRUE(::CopyFileW(Host::AddinDll().c_str(), dll.c_str(), FALSE));
  ::DeleteFileW(help.c_str());

  // That copy of the add-in, created as COM would from its own module.
  HMODULE module = ::LoadLibraryW(dll.c_str());
  ASSERT_NE(module, nullptr);
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto getClassObject = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
  ASSERT_NE(getClassObject, nullptr);
  CLSID clsid{};
  ASSERT_EQ(::CLSIDFromString(kClsid.c_str(), &clsid), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.Put())), S_OK);
  ComPtr<IDispatch> callbacks;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(callbacks.Put())), S_OK);

  const std::wstring mainApplication = L"Software\\Classes\\CLSID\\{7C2D4E90-3B5A-4F8E-A1D6-2E9B0C4F7A13}";
  const auto registerMainApplication = [&](bool registered) {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, mainApplication.c_str());
    if (!registered) return;
    HKEY server = nullptr;
    ASSERT_EQ(::RegCreateKeyW(HKEY_LOCAL_MACHINE, (mainApplication + L"\\LocalServer32").c_str(), &server),
              ERROR_SUCCESS);
    const std::wstring exe = application + L"\\Corvane.exe";
    ::RegSetValueExW(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(exe.c_str()),
                     static_cast<DWORD>((exe.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(server);
  };
  const Variant button = Variant::FromObject(
      m_outlook.NewRibbonControl(u"help", nullptr, u"CVHilfe.chm::/idE-Mail_Archiv.htm"));
  const auto press = [&] { EXPECT_NO_THROW(Host::InvokeByName(callbacks.Get(), L"OnHelp", {button})); };
  const int before = VisibleWindows();

  struct Case {
    const char* name;
    bool registered, besideApplication, besideAddin;
  };
  for (const Case& c : {Case{"no help file anywhere", false, false, false},
                        Case{"the main application without one", true, false, false},
                        Case{"beside the add-in", false, false, true},
                        Case{"the main application without one, beside the add-in", true, false, true},
                        Case{"beside the main application", true, true, false}}) {
    SCOPED_TRACE(c.name);
    registerMainApplication(c.registered);
    const std::wstring inApplication = application + L"\\CVHilfe.chm";
    if (c.besideApplication) ASSERT_TRUE(::CopyFileW(built.c_str(), inApplication.c_str(), FALSE));
    else ::DeleteFileW(inApplication.c_str());
    if (c.besideAddin) ASSERT_TRUE(::CopyFileW(built.c_str(), help.c_str(), FALSE));
    else ::DeleteFileW(help.c_str());
    press();
    if (!c.besideApplication && !c.besideAddin) {
      Host::PumpUntil([] { return false; }, 300ms);
      EXPECT_EQ(VisibleWindows(), before);
      continue;
    }
    HWND viewer = nullptr;
    EXPECT_TRUE(Host::PumpUntil([&] { return (viewer = HelpViewer()) != nullptr; }, 15s));
    if (!viewer) continue;
    Host::PumpUntil([] { return false; }, 1500ms);  // the contents and the page are drawn
    if (c.besideAddin && !c.registered) {
      EXPECT_TRUE(Host::SaveScreenshot(viewer, L"help_viewer"));
    }
    ::SendMessageW(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Host::PumpUntil([] { return HelpViewer() == nullptr; }, 5s));
  }
  registerMainApplication(false);
  callbacks.Reset();
  factory.Reset();
}

}  // namespace
}  // namespace CV
