// CVMailComponents.dll registered and driven through real COM: the e-mail
// object's properties by name, and the writer that an STA made writing on
// a worker while that STA is blocked, into the same bytes as on Linux.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "components/component_ids.h"
#include "components/email_object.h"
#include "foundation/bstr.h"
#include "foundation/com_error.h"
#include "foundation/file_system.h"
#include "support/reference_mails.h"
#include "support/scratch_directory.h"
#include "contracts/container_writer.h"
#include "contracts/email.h"
#include "contracts/vendor_ids.h"
#include "win/addin_host.h"
#include "win/com/com_support.h"
#include "win/components/win_export_target.h"
#include "win/com/dispatch_object.h"
#include "win/platform/win_component_factory.h"

namespace CV {
namespace {

using Host::KeyExists;
using Host::ReadString;

const Guid kDispatchIid = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");

std::wstring ComponentsDllPath() {
  std::wstring out = L"Z:";
  for (char c : std::string(CV_COMPONENTS_DLL)) out += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return out;
}

DWORD Regsvr32(const std::wstring& options) {
  return Host::Run(L"regsvr32.exe /s " + options + L" \"" + ComponentsDllPath() + L"\"");
}

std::wstring W(const Guid& guid) {
  const std::u16string text = guid.ToRegistryForm();
  return {text.begin(), text.end()};
}

class ComponentsDll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(Regsvr32(L""), 0u); }
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_sta.Result())); }

  Host::Sta m_sta;
  Win::WinComponentFactory m_factory;
};

TEST_F(ComponentsDll, RegistersBothClassesForTheMachineAndForTheUser) {
  const std::pair<const wchar_t*, Guid> classes[] = {{L"CVMail.CVMailExport", ComponentIds::ClsidMailExport},
                                                     {L"CVMail.CVEMail", ComponentIds::ClsidEMail}};
  for (const auto& [progId, clsid] : classes) {
    SCOPED_TRACE(progId);
    const std::wstring prog = progId, clsidKey = L"CLSID\\" + W(clsid);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, prog + L"\\CLSID"), W(clsid));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, prog + L".1\\CLSID"), W(clsid));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, prog + L"\\CurVer"), prog + L".1");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32"), ComponentsDllPath());
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel"), L"Both");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\TypeLib"), W(ComponentIds::LibId));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + L"\\Programmable"));  // not an add-in
  }
  Win::ComPtr<ITypeLib> library;
  EXPECT_EQ(::LoadRegTypeLib(Win::ToGUID(ComponentIds::LibId), 1, 0, 0, library.Put()), S_OK);

  const std::wstring user = L"Software\\Classes\\";
  ASSERT_EQ(Regsvr32(L"/n /i:user"), 0u);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, user + L"Interface\\" + W(Vendor::Iid::CVEMail) + L"\\TypeLib"),
            W(ComponentIds::LibId));
  for (const auto& [progId, clsid] : classes) {
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, user + progId + L"\\CLSID"), W(clsid));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, user + L"CLSID\\" + W(clsid) + L"\\InprocServer32", L"ThreadingModel"),
              L"Both");
  }
  ASSERT_EQ(Regsvr32(L"/u /n /i:user"), 0u);
  for (const auto& [progId, clsid] : classes) {
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user + progId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user + L"CLSID\\" + W(clsid)));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID"), W(clsid));  // the machine's stay
  }
  // The type library is registered per scope, like the classes.
  const std::wstring bits = sizeof(void*) == 8 ? L"win64" : L"win32";
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"TypeLib\\" + W(ComponentIds::LibId) + L"\\1.0\\0\\" + bits),
            ComponentsDllPath());
  Win::ComPtr<ITypeLib> again;
  EXPECT_EQ(::LoadRegTypeLib(Win::ToGUID(ComponentIds::LibId), 1, 0, 0, again.Put()), S_OK);
}

// The vendor's own components answer to the same ProgIDs and interfaces:
// their keys are neither overwritten nor removed (for one user here, so
// that the machine's registration the other tests use stays).
TEST_F(ComponentsDll, AnotherInstallationsProgIdAndInterfaceAreLeftAsTheyAre) {
  const std::wstring classes = L"Software\\Classes\\", vendorClass = L"{0A1B2C3D-0000-4000-8000-00000000CAFE}",
                     vendorLibrary = L"{0A1B2C3D-0000-4000-8000-0000000011B0}";
  const std::wstring progId = classes + L"CVMail.CVMailSelect", ours = classes + L"CVMail.CVEMail",
                     iface = classes + L"Interface\\" + W(Vendor::Iid::CVMailExport);
  const auto write = [](const std::wstring& key, const std::wstring& text) {
    HKEY opened = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ::RegCloseKey(opened);
  };
  write(progId + L"\\CLSID", vendorClass);
  write(iface + L"\\TypeLib", vendorLibrary);
  const auto expectTheirsUntouched = [&] {
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, progId + L"\\CLSID"), vendorClass);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, progId + L"\\CurVer"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, iface + L"\\TypeLib"), vendorLibrary);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, iface + L"\\ProxyStubClsid32"));
  };
  ASSERT_EQ(Regsvr32(L"/n /i:user"), 0u);
  expectTheirsUntouched();
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, ours + L"\\CLSID"), W(ComponentIds::ClsidEMail));
  ASSERT_EQ(Regsvr32(L"/u /n /i:user"), 0u);
  expectTheirsUntouched();
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ours));
  EXPECT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, progId.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, iface.c_str()), ERROR_SUCCESS);
  ::RegDeleteKeyW(HKEY_CURRENT_USER, progId.c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, iface.c_str());
}

TEST_F(ComponentsDll, EMailPropertiesRoundTripByName) {
  const ObjectPtr created = m_factory.Create(Vendor::kEMailProgId);
  ASSERT_TRUE(created);
  const ObjectPtr email = QueryObject(created, Vendor::EMail::kIid);
  ASSERT_TRUE(email);
  const std::string oddBytes = "<p>\xe4\xf6</p>";  // seven bytes: the body is bytes, not UTF-16
  const std::vector<std::pair<std::u16string, Variant>> values = {
      {u"FolderPath", Variant::FromBstr(Bstr(u"Postfach\\Posteingang"))},
      {u"EntryID", Variant::FromBstr(Bstr(u"00AB"))},
      {u"Type", Variant::FromI4(1)},
      {u"Subject", Variant::FromBstr(Bstr(u"Gr\u00fc\u00dfe \U0001F4E7"))},
      {u"From", Variant::FromBstr(Bstr(u"Anna"))},
      {u"To", Variant::FromBstr(Bstr(u"Peter; Paul"))},
      {u"CC", Variant::FromBstr(Bstr(u"Maria"))},
      {u"BCC", Variant::FromBstr(Bstr(u"Archiv"))},
      {u"Size", Variant::FromI4(4711)},
      {u"Date", Variant::FromDate(46362.5)},
      {u"MailState", Variant::FromI4(2)},
      {u"Importance", Variant::FromI4(2)},
      {u"HtmlBody", Variant::FromBstr(Bstr::FromBytes(oddBytes.data(), oddBytes.size()))},
      {u"HtmlFileName", Variant::FromBstr(Bstr(u"Content.html"))},
  };
  for (const auto& [name, value] : values) PutProperty(email, name, value);
  for (const auto& [name, value] : values) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    const Variant back = GetProperty(email, name);
    EXPECT_EQ(back.Type(), value.Type());
    if (value.Type() == VarType::Bstr) EXPECT_EQ(back.AsBstr().Bytes(), value.AsBstr().Bytes());
    else if (value.Type() == VarType::Date) EXPECT_EQ(back.AsDouble(), value.AsDouble());
    else EXPECT_EQ(back.AsInt32(), value.AsInt32());
  }
  CallMethod(email, u"AddAttachment", {Variant::FromBstr(Bstr(u"C:\\a\\Bericht.pdf"))});
  CallMethod(email, u"AddNamedAttachment", {Variant::FromBstr(Bstr(u"C:\\a\\x1.txt")), Variant::FromBstr(Bstr(u"kurz.txt"))});
  CallMethod(email, u"AddHtmlResource", {Variant::FromBstr(Bstr(u"C:\\t\\b\\i.png")), Variant::FromBstr(Bstr(u"b\\i.png"))});
  EXPECT_EQ(CallMethod(email, u"AttachmentCount").AsInt32(), 2);
  EXPECT_EQ(CallMethod(email, u"Attachment", {Variant::FromI4(1)}).AsText(), u"C:\\a\\x1.txt");
  EXPECT_EQ(CallMethod(email, u"AttachmentName", {Variant::FromI4(1)}).AsText(), u"kurz.txt");
  EXPECT_EQ(CallMethod(email, u"ResourceCount").AsInt32(), 1);
  EXPECT_EQ(CallMethod(email, u"ResourcePath", {Variant::FromI4(0)}).AsText(), u"b\\i.png");
  // A bad index is an error the caller sees, not a crash.
  EXPECT_THROW(CallMethod(email, u"Attachment", {Variant::FromI4(2)}), ComError);
}

TEST_F(ComponentsDll, AClassThatIsNotRegisteredGivesNoObject) {
  EXPECT_EQ(m_factory.Create(u"CVMail.Unbekannt"), nullptr);
}

// The mails' properties and calls on an object, by name.
void Fill(const ObjectPtr& email, const Fake::ReferenceMail& mail) {
  for (const auto& [name, value] : mail.properties) PutProperty(email, name, value);
  for (const auto& [name, args] : mail.calls) {
    std::vector<Variant> values;
    for (const auto& arg : args) values.push_back(Variant::FromBstr(Bstr(arg)));
    CallMethod(email, name, values);
  }
}

struct WriterWork {
  IGlobalInterfaceTable* table;
  DWORD cookie;
  const std::vector<Fake::ReferenceMail>* mails;
  std::string failure;
};

// The job's worker: the writer from the interface table, e-mail objects of
// its own making, every mail, the properties and the end.
DWORD WINAPI WriteOnWorker(void* p) {
  auto& w = *static_cast<WriterWork*>(p);
  ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    Win::ComPtr<IDispatch> fetched;
    CheckCom(w.table->GetInterfaceFromGlobal(w.cookie, IID_IDispatch, reinterpret_cast<void**>(fetched.Put())));
    const ObjectPtr writer = std::make_shared<Win::DispatchObject>(std::move(fetched), kDispatchIid);
    Win::WinComponentFactory factory;
    for (std::size_t i = 0; i < w.mails->size(); ++i) {
      // The second mail is someone else's object: the writer reads it by name.
      ObjectPtr email = i == 1 ? std::make_shared<Components::CEMail>() : factory.Create(Vendor::kEMailProgId);
      if (!email) throw std::runtime_error("no e-mail object");
      Fill(email, (*w.mails)[i]);
      if (CallMethod(writer, u"AddEMail", {Variant::FromObject(email)}).AsBool()) throw std::runtime_error("stopped");
    }
    for (const auto& [name, value] : Fake::ReferenceProperties())
      CallMethod(writer, u"SetProperty", {Variant::FromBstr(Bstr(name)), Variant::FromBstr(Bstr(value))});
    CallMethod(writer, u"EndExport");
  } catch (const std::exception& e) {
    w.failure = e.what();
  }
  ::CoUninitialize();
  return 0;
}

// The writer made and begun on this STA, handed to a worker through the
// interface table; the worker makes the e-mail objects and writes every
// mail while this thread waits without serving its apartment. A call that
// went through the STA would never return: the wait would end unfinished.
TEST_F(ComponentsDll, WriterMadeOnTheStaWritesOnTheWorkerIntoTheLinuxBytes) {
  Fake::ScratchDirectory scratch;
  const std::wstring folder(scratch.Path().begin(), scratch.Path().end());
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
  ::RegSetValueExW(key, L"TargetFolder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  ::RegSetValueExW(key, L"Comment", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Referenz"), 9 * sizeof(wchar_t));
  const DWORD quiet = 1;  // the outcome messages have tests of their own
  ::RegSetValueExW(key, L"Quiet", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&quiet), sizeof quiet);
  ::RegCloseKey(key);
  SYSTEMTIME today{};
  ::GetLocalTime(&today);
  wchar_t name[40];
  swprintf(name, 40, L"\\Mailarchiv %04u-%02u-%02u.zip", today.wYear, today.wMonth, today.wDay);
  const std::wstring container = folder + name;

  const auto mails = Fake::WriteReferenceMails(FS::DefaultFileSystem(), scratch.Path() + u"\\");
  const ObjectPtr created = m_factory.Create(Vendor::kMailExportProgId);
  ASSERT_TRUE(created);
  const ObjectPtr writer = QueryObject(created, Vendor::MailExport::kIid);
  PutProperty(writer, u"Option", Variant::FromBool(true));
  PutProperty(writer, u"SourceApplication", Variant::FromBstr(Bstr(u"Microsoft Outlook 2010")));
  PutProperty(writer, u"MailCount", Variant::FromI4(3));
  ASSERT_FALSE(CallMethod(writer, u"BeginExport").AsBool());
  EXPECT_EQ(GetProperty(writer, u"Comment").AsText(), u"Referenz");

  Win::ComPtr<IGlobalInterfaceTable> table;
  ASSERT_EQ(::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                               reinterpret_cast<void**>(table.Put())), S_OK);
  // The writer's own interface, not a bridge of ours.
  const Win::DispatchObject* bridge = dynamic_cast<const Win::DispatchObject*>(writer.get());
  ASSERT_NE(bridge, nullptr);
  DWORD cookie = 0;
  ASSERT_EQ(table->RegisterInterfaceInGlobal(bridge->Dispatch().Get(), IID_IDispatch, &cookie), S_OK);

  WriterWork work{table.Get(), cookie, &mails, {}};
  HANDLE worker = ::CreateThread(nullptr, 0, &WriteOnWorker, &work, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  const DWORD waited = ::WaitForSingleObject(worker, 60000);  // deliberately deaf to COM
  if (waited != WAIT_OBJECT_0) Host::PumpUntil([&] { return ::WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; },
                                               std::chrono::seconds(120));
  ::CloseHandle(worker);
  table->RevokeInterfaceFromGlobal(cookie);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the worker's calls waited for the blocked STA";
  ASSERT_EQ(work.failure, "");

  const std::vector<std::string> digests = Fake::MemberDigests(std::string(container.begin(), container.end()));
  std::ifstream in(std::filesystem::path(CV_TEST_DATA) / "container" / "reference-sha256.txt");
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  EXPECT_EQ(digests, expected);
  EXPECT_EQ(digests.size(), 5u);  // three mails, the viewer, the manifest
  ::RegDeleteTreeW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey);
}

}  // namespace
}  // namespace CV

namespace CV {
namespace {

// The control of a dialog with this id, at any depth (the customised
// controls sit in panes of their own).
HWND Control(HWND window, int id, const wchar_t* className) {
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64] = {};
    ::GetClassNameW(child, name, 64);
    if (::GetDlgCtrlID(child) == id && ::lstrcmpiW(name, className) == 0) return child;
    if (HWND found = Control(child, id, className)) return found;
  }
  return nullptr;
}

HWND WaitForDialog(const std::function<bool(HWND)>& accept) {
  for (int i = 0; i < 300; ++i) {
    if (HWND dialog = Host::FindDialog(accept)) return dialog;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return nullptr;
}

// The writer's own settings, gone again after the test.
class ComponentsDllSettings : public ComponentsDll {
 protected:
  void SetUp() override {
    ComponentsDll::SetUp();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey);
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey); }
  void SetText(const wchar_t* name, const std::wstring& value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey, name, REG_SZ, value.c_str(),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  void SetNumber(const wchar_t* name, DWORD value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey, name, REG_DWORD, &value, sizeof value);
  }
  ObjectPtr NewWriter(int announced) {
    const ObjectPtr writer = QueryObject(m_factory.Create(Vendor::kMailExportProgId), Vendor::MailExport::kIid);
    PutProperty(writer, u"MailCount", Variant::FromI4(announced));
    return writer;
  }
  void AddMail(const ObjectPtr& writer, std::u16string subject) {
    const ObjectPtr email = m_factory.Create(Vendor::kEMailProgId);
    PutProperty(email, u"Subject", Variant::FromBstr(Bstr(subject)));
    ASSERT_FALSE(CallMethod(writer, u"AddEMail", {Variant::FromObject(email)}).AsBool());
  }
  // The outcome message: its text; closed with the given answer.
  std::wstring TakeOutcome(const std::wstring& screenshot, WPARAM answer) {
    HWND box = nullptr;
    Host::PumpUntil([&] {
      box = Host::FindMessageBox(L"Corvane Mail-Export");
      return box != nullptr;
    }, std::chrono::seconds(30));
    if (!box) return L"(keine Meldung)";
    const std::wstring text = Host::StaticTexts(box);
    Host::SaveScreenshot(box, screenshot);
    ::PostMessageW(box, WM_COMMAND, answer, 0);
    Host::PumpUntil([&] { return !::IsWindow(box); }, std::chrono::seconds(30));
    return text;
  }
};

// The dialog asks where, in German, starting in the folder used last; the
// comment typed into it is the container's; an existing file is replaced
// only after the question; the outcome names the file and its mails.
TEST_F(ComponentsDllSettings, SaveDialogChoosesTheFileAndTheComment) {
  Fake::ScratchDirectory scratch;
  const std::wstring folder(scratch.Path().begin(), scratch.Path().end());
  const std::wstring plainFolder = folder.starts_with(L"\\\\?\\") ? folder.substr(4) : folder;
  const std::wstring file = plainFolder + L"\\Testarchiv.zip";
  ASSERT_EQ(FS::DefaultFileSystem().WriteWholeFile(scratch.Path() + u"\\Testarchiv.zip", std::span<const std::uint8_t>()), 0);
  SetText(L"LastFolder", folder);
  const ObjectPtr writer = NewWriter(2);
  std::wstring seenFolder, problem;
  std::thread user([&] {
    HWND dialog = WaitForDialog([](HWND w) { return Host::WindowText(w) == L"Mail-Archiv speichern"; });
    if (!dialog) return void(problem = L"no save dialog");
    HWND name = Control(dialog, 1152, L"Edit"), comment = Control(dialog, 8193, L"Edit");
    if (!name || !comment) return void(problem = L"no name or comment field");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::SetWindowTextW(comment, L"Quartal 4, Gr\u00fc\u00dfe");
    ::SetWindowTextW(name, L"Testarchiv.zip");
    Host::SaveScreenshot(dialog, L"save_dialog");
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    HWND question = WaitForDialog([&](HWND w) { return w != dialog; });
    if (!question) return void(problem = L"no overwrite question");
    Host::SaveScreenshot(question, L"save_dialog_overwrite");
    ::PostMessageW(question, WM_COMMAND, IDYES, 0);
  });
  const bool cancelled = CallMethod(writer, u"BeginExport").AsBool();
  user.join();
  ASSERT_EQ(problem, L"");
  ASSERT_FALSE(cancelled);
  EXPECT_EQ(GetProperty(writer, u"Comment").AsText(), u"Quartal 4, Gr\u00fc\u00dfe");
  EXPECT_EQ(Host::ReadString(HKEY_CURRENT_USER, Win::Components::kWriterSettingsKey, L"LastFolder"), plainFolder);
  AddMail(writer, u"Erste");
  AddMail(writer, u"Zweite");
  CallMethod(writer, u"EndExport");
  const std::wstring outcome = TakeOutcome(L"outcome_written", IDNO);
  EXPECT_NE(outcome.find(L"\u201eTestarchiv.zip\u201c wurde erstellt"), std::wstring::npos) << outcome;
  EXPECT_NE(outcome.find(L"Es enth\u00e4lt alle 2 E-Mails."), std::wstring::npos) << outcome;
  EXPECT_NE(outcome.find(L"Ordner \u00f6ffnen"), std::wstring::npos) << outcome;
  const std::vector<std::string> digests = Fake::MemberDigests(std::string(file.begin(), file.end()));
  EXPECT_EQ(digests.size(), 4u);  // the empty file was replaced by the container: two mails, the viewer, the manifest
}

// A name outside the ANSI code page of a German Windows (1252) in a folder
// with an umlaut: chosen in the dialog, written whole, told by its name,
// and kept beside the build tree for the native check.
TEST_F(ComponentsDllSettings, ANameOutsideTheCodePageIsWrittenUnderThatName) {
  ASSERT_EQ(::GetACP(), 1252u) << "the test needs Wine's ANSI code page 1252";
  Fake::ScratchDirectory scratch;
  const std::wstring folder = std::wstring(scratch.Path().begin() + 4, scratch.Path().end()) + L"\\Ablage \u00c4";
  const std::wstring name = L"Mailarchiv \u0141\u00f3d\u017a \u6771\u4eac.zip";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  SetText(L"LastFolder", folder);
  const ObjectPtr writer = NewWriter(2);
  std::wstring problem;
  std::thread user([&] {
    HWND dialog = WaitForDialog([](HWND w) { return Host::WindowText(w) == L"Mail-Archiv speichern"; });
    if (!dialog) return void(problem = L"no save dialog");
    HWND field = Control(dialog, 1152, L"Edit");
    if (!field) return void(problem = L"no name field");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::SetWindowTextW(field, name.c_str());
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  const bool cancelled = CallMethod(writer, u"BeginExport").AsBool();
  user.join();
  ASSERT_EQ(problem, L"");
  ASSERT_FALSE(cancelled);
  AddMail(writer, u"Erste");
  AddMail(writer, u"Zweite");
  CallMethod(writer, u"EndExport");
  const std::wstring outcome = TakeOutcome(L"outcome_wide_name", IDNO);
  EXPECT_NE(outcome.find(L"\u201e" + name + L"\u201c wurde erstellt"), std::wstring::npos) << outcome;
  EXPECT_NE(outcome.find(L"Ordner: " + folder), std::wstring::npos) << outcome;
  const std::filesystem::path file = std::filesystem::path(folder) / name;
  ASSERT_TRUE(std::filesystem::exists(file));
  std::vector<std::wstring> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().wstring());
  EXPECT_EQ(names, std::vector<std::wstring>{name});  // no temporary file or spool left beside it
  // Read natively by tools nobody on the team wrote (test_windows_container).
  std::wstring output = L"Z:";
  for (const char* c = CV_E2E_OUTPUT; *c; ++c) output += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  const std::wstring kept = output + L"\\Ablage \u00c4";
  ::CreateDirectoryW(output.c_str(), nullptr);
  ::CreateDirectoryW(kept.c_str(), nullptr);
  EXPECT_TRUE(::CopyFileW(file.c_str(), (kept + L"\\" + name).c_str(), FALSE));
}

// Another program, in a process of its own, holds a file for a while
// (hold_file.exe); constructed, it holds it.
class Holder {
 public:
  Holder(const wchar_t* mode, const std::wstring& file, DWORD milliseconds) {
    static int count = 0;
    const std::wstring event = L"CvHoldFile-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++count);
    m_ready = ::CreateEventW(nullptr, TRUE, FALSE, event.c_str());
    std::wstring command = L"\"Z:";
    for (const char* c = CV_HOLD_FILE; *c; ++c) command += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    command += L"\" " + std::wstring(mode) + L" \"" + file + L"\" " + std::to_wstring(milliseconds) + L" " + event;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return;
    ::CloseHandle(process.hThread);
    m_process = process.hProcess;
    const HANDLE either[] = {m_ready, m_process};
    m_held = ::WaitForMultipleObjects(2, either, FALSE, 60000) == WAIT_OBJECT_0;
  }
  ~Holder() {
    if (m_process) ::WaitForSingleObject(m_process, 60000), ::CloseHandle(m_process);
    ::CloseHandle(m_ready);
  }
  bool Held() const { return m_held; }

 private:
  HANDLE m_ready = nullptr, m_process = nullptr;
  bool m_held = false;
};

std::wstring FileText(const std::wstring& file) {
  std::ifstream in(std::filesystem::path(file), std::ios::binary);
  return std::wstring(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::wstring> Names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

// The target chosen in the dialog is held open by another program when the
// container is to replace it: let go within two seconds, it is replaced;
// held longer, the old file stays whole, no temporary file is left, and
// the user reads why in German.
TEST_F(ComponentsDllSettings, ATargetHeldByAnotherProgramIsWaitedForThenToldInGerman) {
  Fake::ScratchDirectory scratch;
  const std::wstring folder(scratch.Path().begin() + 4, scratch.Path().end());
  const std::wstring file = folder + L"\\Testarchiv.zip";
  SetText(L"LastFolder", folder);
  for (const auto& [held, written] : {std::pair<DWORD, bool>{700, true}, {6000, false}}) {
    SCOPED_TRACE(held);
    { std::ofstream(std::filesystem::path(file), std::ios::binary) << "alt"; }
    const ObjectPtr writer = NewWriter(1);
    std::wstring problem;
    std::thread user([&] {
      HWND dialog = WaitForDialog([](HWND w) { return Host::WindowText(w) == L"Mail-Archiv speichern"; });
      if (!dialog) return void(problem = L"no save dialog");
      HWND name = Control(dialog, 1152, L"Edit");
      if (!name) return void(problem = L"no name field");
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ::SetWindowTextW(name, L"Testarchiv.zip");
      ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      HWND question = WaitForDialog([&](HWND w) { return w != dialog; });
      if (!question) return void(problem = L"no overwrite question");
      ::PostMessageW(question, WM_COMMAND, IDYES, 0);
    });
    const bool cancelled = CallMethod(writer, u"BeginExport").AsBool();
    user.join();
    ASSERT_EQ(problem, L"");
    ASSERT_FALSE(cancelled);
    AddMail(writer, u"Erste");
    const Holder holder(L"read", file, held);
    ASSERT_TRUE(holder.Held());
    if (written) {
      CallMethod(writer, u"EndExport");
    } else {
      EXPECT_THROW(CallMethod(writer, u"EndExport"), ComError);
    }
    const std::wstring outcome = TakeOutcome(written ? L"outcome_held_then_written" : L"outcome_held_too_long", IDNO);
    if (written) {
      EXPECT_NE(outcome.find(L"\u201eTestarchiv.zip\u201c wurde erstellt"), std::wstring::npos) << outcome;
      EXPECT_EQ(FileText(file).substr(0, 2), L"PK");
    } else {
      EXPECT_NE(outcome.find(L"Grund: Die Datei \u201e" + file + L"\u201c wird von einem anderen Programm verwendet."),
                std::wstring::npos) << outcome;
      EXPECT_EQ(FileText(file), L"alt");
    }
    EXPECT_EQ(Names(folder), std::vector<std::wstring>{L"Testarchiv.zip"});
  }
}

// An export that begins removes what a crashed export left in its folder
// (a temporary container nobody holds) and leaves alone one whose writer,
// in another process, still lives.
TEST_F(ComponentsDllSettings, AnExportRemovesWhatACrashedOneLeftOnly) {
  Fake::ScratchDirectory scratch;
  const std::wstring folder(scratch.Path().begin() + 4, scratch.Path().end());
  SetText(L"TargetFolder", folder);
  SetNumber(L"Quiet", 1);
  { std::ofstream(std::filesystem::path(folder + L"\\.Mailarchiv.zip.part-5"), std::ios::binary) << "verlassen"; }
  const Holder live(L"part", folder + L"\\.Anderes.zip.part-6", 3000);
  ASSERT_TRUE(live.Held());
  {
    const ObjectPtr writer = NewWriter(1);
    ASSERT_FALSE(CallMethod(writer, u"BeginExport").AsBool());
    const std::vector<std::wstring> names = Names(folder);
    const auto has = [&](const std::wstring& name) { return std::find(names.begin(), names.end(), name) != names.end(); };
    EXPECT_TRUE(has(L".Anderes.zip.part-6"));
    EXPECT_FALSE(has(L".Mailarchiv.zip.part-5"));
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::wstring& n) { return n.find(L".part-") != std::wstring::npos; }),
              2) << "its own temporary container beside the live one";
  }
  EXPECT_EQ(Names(folder), std::vector<std::wstring>{L".Anderes.zip.part-6"});
}

TEST_F(ComponentsDllSettings, CancelInTheSaveDialogDeclinesWithoutAMessage) {
  // The hand cancels the save dialog, then watches until the writer has been
  // released: any window the writer shows meanwhile (at once or at its
  // release) is noted and closed, so that the test fails instead of hanging.
  std::atomic<bool> saveDialog{false}, released{false};
  std::wstring others;
  std::thread user([&] {
    if (HWND dialog = WaitForDialog([](HWND w) { return Host::WindowText(w) == L"Mail-Archiv speichern"; })) {
      saveDialog = true;
      ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      Host::PumpUntil([&] { return !::IsWindow(dialog); }, std::chrono::seconds(10));
    }
    while (!released) {
      if (HWND other = Host::FindDialog([](HWND) { return true; })) {
        others += Host::WindowText(other) + L": " + Host::StaticTexts(other) + L"\n";
        ::PostMessageW(other, WM_COMMAND, IDCANCEL, 0);
        ::PostMessageW(other, WM_COMMAND, IDOK, 0);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  bool declined = false;
  {
    const ObjectPtr writer = NewWriter(1);
    declined = CallMethod(writer, u"BeginExport").AsBool();
  }
  Host::PumpUntil([] { return false; }, std::chrono::milliseconds(1000));  // a box the release would show
  released = true;
  user.join();
  EXPECT_TRUE(saveDialog) << "no save dialog";
  EXPECT_TRUE(declined) << "BeginExport answers true: the user declined";
  EXPECT_EQ(others, L"") << "no message after a cancel in the save dialog";
}

// Released after BeginExport without EndExport: no file, and the user
// learns that no archive was created; Quiet keeps every message back.
TEST_F(ComponentsDllSettings, AnExportEndedEarlyLeavesNoFileAndSaysSo) {
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "told");
    Fake::ScratchDirectory scratch;
    SetText(L"TargetFolder", std::wstring(scratch.Path().begin(), scratch.Path().end()));
    SetNumber(L"Quiet", quiet ? 1 : 0);
    {
      const ObjectPtr writer = NewWriter(3);
      ASSERT_FALSE(CallMethod(writer, u"BeginExport").AsBool());
      AddMail(writer, u"Erste");
    }
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(std::wstring(scratch.Path().begin(), scratch.Path().end()))));
    if (quiet) {
      Host::PumpUntil([] { return false; }, std::chrono::milliseconds(500));
      EXPECT_EQ(Host::FindMessageBox(L"Corvane Mail-Export"), nullptr);
    } else {
      const std::wstring outcome = TakeOutcome(L"outcome_not_written", IDOK);
      EXPECT_NE(outcome.find(L"Es wurde kein Archiv erstellt."), std::wstring::npos) << outcome;
    }
  }
}

// The writer's progress window has its own caption and can be closed by the
// user, which is "Abbrechen": no file, and the user learns it was cancelled.
// The program's own WM_CLOSE only closes it: the export goes on.
TEST_F(ComponentsDllSettings, TheUsersCloseOfTheProgressWindowCancelsTheProgramsDoesNot) {
  for (const bool users : {true, false}) {
    SCOPED_TRACE(users ? "the user's close" : "the program's close");
    Fake::ScratchDirectory scratch;
    const std::filesystem::path folder(std::wstring(scratch.Path().begin(), scratch.Path().end()));
    SetText(L"TargetFolder", folder.wstring());
    {
      const ObjectPtr writer = NewWriter(3);
      ASSERT_FALSE(CallMethod(writer, u"BeginExport").AsBool());
      HWND progress = nullptr;
      ASSERT_TRUE(Host::PumpUntil([&] {
        progress = Host::FindDialog([](HWND w) { return ::GetDlgItem(w, 204) != nullptr; });
        return progress != nullptr;
      }, std::chrono::seconds(10)));
      EXPECT_EQ(Host::WindowText(progress), L"Corvane Mail-Export");
      EXPECT_EQ(Host::WindowText(::GetDlgItem(progress, 207)), L"Archiv erstellen");
      EXPECT_EQ(::GetWindow(progress, GW_OWNER), nullptr);
      AddMail(writer, u"Erste");
      if (users) {
        Host::PumpUntil([] { return false; }, std::chrono::milliseconds(300));  // let it paint
        EXPECT_TRUE(Host::SaveScreenshot(progress, L"writer_progress"));
        ::SendMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(::IsWindow(progress)) << "the window stays until the export ends";
        const ObjectPtr email = m_factory.Create(Vendor::kEMailProgId);
        EXPECT_TRUE(CallMethod(writer, u"AddEMail", {Variant::FromObject(email)}).AsBool()) << "the export stops";
      } else {
        ::SendMessageW(progress, WM_CLOSE, 0, 0);
        EXPECT_FALSE(::IsWindow(progress));
        AddMail(writer, u"Zweite");
        AddMail(writer, u"Dritte");
        CallMethod(writer, u"EndExport");
      }
    }
    const std::wstring outcome = TakeOutcome(users ? L"outcome_closed_by_user" : L"outcome_closed_by_program", IDNO);
    if (users) {
      EXPECT_NE(outcome.find(L"Es wurde kein Archiv erstellt."), std::wstring::npos) << outcome;
      EXPECT_NE(outcome.find(L"abgebrochen"), std::wstring::npos) << outcome;
      EXPECT_TRUE(std::filesystem::is_empty(folder));
    } else {
      EXPECT_NE(outcome.find(L"Es enth\u00e4lt alle 3 E-Mails."), std::wstring::npos) << outcome;
      EXPECT_FALSE(std::filesystem::is_empty(folder));
    }
  }
}

}  // namespace
}  // namespace CV
