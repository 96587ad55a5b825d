// CVMailArchiveOl.dll through real COM under Wine, driven as Office and
// Outlook drive it: registration with regsvr32 (for all users and for one),
// creation by ProgID, the interface map, the host version check, the ribbon
// document, every callback by name through the type library, the ribbon
// invalidated through a real connection point, a collecting job on a worker
// thread that reaches Outlook only through marshalled interfaces, and the
// release of the add-in while a job runs.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "addin/addin_ids.h"
#include "addin/callback_table.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_apartment.h"
#include "win/addin_fixture.h"
#include "foundation/utf.h"
#include "win/com/com_support.h"

namespace CV {
namespace {

using Host::KeyExists;
using Host::ReadDword;
using Host::ReadString;
using Win::ComPtr;

TEST_F(AddinDll, RegistersEveryEntryAndRemovesAllButTheSharedKeys) {
  const std::wstring clsidKey = L"CLSID\\" + kClsid;
  const std::wstring addin = kAddins + L"\\CVMailArchiveOl.Connect";
  const auto expectRegistered = [&] {
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"CVMailArchiveOl.Connect.1"), L"Connect Class");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"CVMailArchiveOl.Connect.1\\CLSID"), kClsid);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"CVMailArchiveOl.Connect"), L"Connect Class");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"CVMailArchiveOl.Connect\\CLSID"), kClsid);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"CVMailArchiveOl.Connect\\CurVer"), L"CVMailArchiveOl.Connect.1");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey), L"Connect Class");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID"), L"CVMailArchiveOl.Connect.1");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\VersionIndependentProgID"), L"CVMailArchiveOl.Connect");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + L"\\Programmable"));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32"), Host::AddinDll());
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, clsidKey + L"\\TypeLib"), kLibId);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, addin, L"Description"), L"Archiviert Ihre Mails in Arcsafen");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, addin, L"FriendlyName"), L"Corvane Mailarchiv f\u00fcr Microsoft Outlook");
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, addin, L"LoadBehavior"), 3u);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibId + L"\\1.0"), L"CVMailArchiveOl 1.0 Type Library");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"Interface\\{7C2D4E93-3B5A-4F8E-A1D6-2E9B0C4F7A13}"),
              L"ICVMailArchiveOlCb");
  };
  expectRegistered();
  // What an older version left below the class key goes at registration.
  HKEY stale = nullptr;
  ASSERT_EQ(::RegCreateKeyW(HKEY_CLASSES_ROOT, (clsidKey + L"\\LocalServer32").c_str(), &stale), ERROR_SUCCESS);
  ::RegCloseKey(stale);
  ASSERT_EQ(Host::Regsvr32(L""), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + L"\\LocalServer32"));
  expectRegistered();

  ASSERT_EQ(Host::Regsvr32(L"/u"), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CVMailArchiveOl.Connect.1"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CVMailArchiveOl.Connect"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, addin));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibId));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAddins));
  ComPtr<_IDTExtensibility2> none;
  EXPECT_EQ(Host::CreateAddin(none), CO_E_CLASSSTRING);
  // Removing twice is no failure.
  EXPECT_EQ(Host::Regsvr32(L"/u"), 0u);
  ASSERT_EQ(Host::Regsvr32(L""), 0u);
  expectRegistered();
}

TEST_F(AddinDll, RegistersAndRemovesForTheCurrentUserAlone) {
  const std::wstring classes = L"Software\\Classes\\";
  const std::wstring addin = kAddins + L"\\CVMailArchiveOl.Connect";
  ASSERT_EQ(Host::Regsvr32(L"/n /i:user"), 0u);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, classes + L"CVMailArchiveOl.Connect\\CLSID"), kClsid);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, classes + L"CVMailArchiveOl.Connect.1\\CLSID"), kClsid);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, classes + L"CLSID\\" + kClsid + L"\\InprocServer32"), Host::AddinDll());
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, classes + L"CLSID\\" + kClsid + L"\\InprocServer32", L"ThreadingModel"),
            L"Apartment");
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, addin, L"LoadBehavior"), 3u);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, addin, L"FriendlyName"), L"Corvane Mailarchiv f\u00fcr Microsoft Outlook");

  ASSERT_EQ(Host::Regsvr32(L"/u /n /i:user"), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classes + L"CVMailArchiveOl.Connect"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classes + L"CVMailArchiveOl.Connect.1"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classes + L"CLSID\\" + kClsid));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, addin));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kAddins));
  // The machine's registration is untouched, and an unknown scope is refused.
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"CVMailArchiveOl.Connect\\CLSID"), kClsid);
  EXPECT_NE(Host::Regsvr32(L"/n /i:alle"), 0u);
}

TEST_F(AddinDll, TheClassFactoryRefusesAggregationAndANullResult) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(::CoGetClassObject(Win::ToGUID(AddinIds::ClsidConnect), CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(factory.Put())),
            S_OK);
  ComPtr<IUnknown> outer;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(outer.Put())), S_OK);
  void* result = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &result), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IStream, &result), E_NOINTERFACE);

  // The module stays while an object or the factory lives.
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  HMODULE dll = ::GetModuleHandleW(Host::AddinDll().c_str());
  ASSERT_NE(dll, nullptr);
  const auto canUnload = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory.Reset();
  EXPECT_EQ(canUnload(), S_FALSE);
  outer.Reset();
  EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(AddinDll, InvokeTakesOnlyTheNullInterfaceId) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  DISPPARAMS none{};
  VARIANT result;
  ::VariantInit(&result);
  EXPECT_EQ(m_callbacks->Invoke(0x2B, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr,
                                nullptr),
            DISP_E_UNKNOWNINTERFACE);
  // Past the interface check: the call is taken and finds its argument missing.
  EXPECT_EQ(m_callbacks->Invoke(0x2B, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  ::VariantClear(&result);
}

// An event sink that Outlook still holds after a failed Unadvise keeps the
// module: its code must stay for as long as Outlook may call it.
TEST_F(AddinDll, ASinkOutlookStillHoldsKeepsTheModule) {
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  ASSERT_NO_FATAL_FAILURE(Connect());
  const auto explorer = m_outlook.OpenExplorer(m_inbox);
  Host::PumpUntil([] { return false; }, std::chrono::milliseconds(50));
  ASSERT_GT(explorer->SinkCount(Outlook::Iid::ExplorerEvents10), 0u);
  explorer->FailAlways("Unadvise", E_FAIL);
  m_addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
  m_callbacks.Reset();
  m_addin.Reset();
  m_app.Reset();
  HMODULE dll = ::GetModuleHandleW(Host::AddinDll().c_str());
  ASSERT_NE(dll, nullptr);
  const auto canUnload = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
  EXPECT_GT(explorer->SinkCount(Outlook::Iid::ExplorerEvents10), 0u);
  EXPECT_EQ(canUnload(), S_FALSE) << "the module may go while Outlook holds its sink";
  explorer->DropSinks();  // Outlook lets go of it at last
  EXPECT_TRUE(Host::PumpUntil([&] { return canUnload() == S_OK; }, std::chrono::seconds(5)));
}

TEST_F(AddinDll, QueryInterfaceAnswersInItsOrderAndIDispatchIsTheCallbacks) {
  ASSERT_EQ(Host::CreateAddin(m_addin), S_OK);
  const ComPtr<IUnknown> unknown = m_addin.Query<IUnknown>(IID_IUnknown);
  const ComPtr<IDispatch> dispatch = m_addin.Query<IDispatch>(IID_IDispatch);
  const ComPtr<ICVMailArchiveOlCb> callbacks = m_addin.Query<ICVMailArchiveOlCb>(__uuidof(ICVMailArchiveOlCb));
  EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(callbacks.Get()));
  EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(callbacks.Get()));
  EXPECT_TRUE(m_addin.TryQuery<IRibbonExtensibility>(__uuidof(IRibbonExtensibility)));
  const ComPtr<IPersist> persist = m_addin.Query<IPersist>(IID_IPersist);
  CLSID clsid{};
  ASSERT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, Win::ToGUID(AddinIds::ClsidConnect)));
  EXPECT_FALSE(m_addin.TryQuery<IStream>(IID_IStream));
  EXPECT_FALSE(m_addin.TryQuery<IConnectionPointContainer>(IID_IConnectionPointContainer));
}

TEST_F(AddinDll, ConnectsToOutlook2010AndLaterOnly) {
  const struct {
    const char16_t* version;
    HRESULT expected;
  } cases[] = {{u"12.0.0.6680", E_FAIL}, {u"Outlook", E_FAIL}, {u"14.0.7268.5000", S_OK}, {u"16.0.0.0", S_OK}};
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.version));
    Sim::SimOutlook outlook(c.version);
    ComPtr<_IDTExtensibility2> addin;
    ASSERT_EQ(Host::CreateAddin(addin), S_OK);
    ComPtr<IDispatch> app = ComPtr<IDispatch>::Attach(Win::ExposeObject(outlook.Application()));
    EXPECT_EQ(addin->OnConnection(app.Get(), ext_cm_Startup, nullptr, nullptr), c.expected);
    EXPECT_EQ(addin->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
  }
  ComPtr<_IDTExtensibility2> addin;
  ASSERT_EQ(Host::CreateAddin(addin), S_OK);
  EXPECT_EQ(addin->OnConnection(nullptr, ext_cm_Startup, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(addin->OnDisconnection(ext_dm_UserClosed, nullptr), S_OK);
  EXPECT_EQ(addin->OnStartupComplete(nullptr), S_OK);
  EXPECT_EQ(addin->OnBeginShutdown(nullptr), S_OK);
  EXPECT_EQ(addin->OnAddInsUpdate(nullptr), S_OK);
}

TEST_F(AddinDll, TheRibbonDocumentIsForTheExplorerAlone) {
  ASSERT_EQ(Host::CreateAddin(m_addin), S_OK);
  const ComPtr<IRibbonExtensibility> ribbon = m_addin.Query<IRibbonExtensibility>(__uuidof(IRibbonExtensibility));
  BSTR xml = nullptr;
  const BSTR explorer = ::SysAllocString(L"Microsoft.Outlook.Explorer");
  ASSERT_EQ(ribbon->GetCustomUI(explorer, &xml), S_OK);
  ASSERT_NE(xml, nullptr);
  std::ifstream file(CV_RIBBON_UTF16, std::ios::binary);
  const std::string expected((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(xml), ::SysStringByteLen(xml)), expected);
  EXPECT_EQ(xml[0], 0xFEFF);
  EXPECT_NE(std::wstring(xml).find(L"PNG/addmails_%DPI%.png"), std::wstring::npos);
  ::SysFreeString(xml);
  ::SysFreeString(explorer);
  for (const wchar_t* other : {L"Microsoft.Outlook.Mail.Read", L"microsoft.outlook.explorer", L""}) {
    const BSTR id = ::SysAllocString(other);
    xml = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(ribbon->GetCustomUI(id, &xml), S_OK);
    EXPECT_EQ(xml, nullptr);
    ::SysFreeString(id);
  }
  EXPECT_EQ(ribbon->GetCustomUI(nullptr, nullptr), E_POINTER);
}

TEST_F(AddinDll, EveryCallbackIsFoundByNameWithItsDispatchIdAndHelpString) {
  ASSERT_EQ(Host::CreateAddin(m_addin), S_OK);
  const ComPtr<IDispatch> dispatch = m_addin.Query<IDispatch>(IID_IDispatch);
  UINT count = 0;
  ASSERT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
  ASSERT_EQ(CallbackTable().size(), 21u);
  for (const CallbackEntry& entry : CallbackTable()) {
    const std::wstring name(entry.name.begin(), entry.name.end());
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID dispid = DISPID_UNKNOWN;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid), S_OK);
    EXPECT_EQ(dispid, entry.dispid);
    BSTR help = nullptr;
    ASSERT_EQ(info->GetDocumentation(dispid, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(help), ::SysStringLen(help)), entry.helpString);
    ::SysFreeString(help);
  }
  LPOLESTR unknown[1] = {const_cast<LPOLESTR>(L"GetNothing")};
  DISPID dispid = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &dispid), DISP_E_UNKNOWNNAME);
}

TEST_F(AddinDll, CountersAndRulesAnswerThroughInvoke) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  m_inbox->AddMails(3);
  m_outlook.OpenExplorer(m_inbox);
  EXPECT_EQ(Label(L"GetMailCount"), u"    0");
  EXPECT_EQ(Label(L"GetFolderCount"), u"    0");
  const auto enabled = [&](const wchar_t* callback) {
    const Variant v = Host::InvokeByName(m_callbacks.Get(), callback, {Control(nullptr)});
    EXPECT_EQ(v.Type(), VarType::Bool);
    return v.AsBool();
  };
  EXPECT_TRUE(enabled(L"GetAddFolderEnabled"));
  EXPECT_FALSE(enabled(L"GetStartARCCreationEnabled"));
  EXPECT_FALSE(enabled(L"GetResetSelectionEnabled"));
  EXPECT_FALSE(enabled(L"GetAddMailsEnabled"));
  // The version line follows the DLL's own VERSIONINFO (the project's
  // version, 1.0.0.0 today).
  {
    const std::wstring dll = Host::AddinDll();
    DWORD ignored = 0;
    std::vector<BYTE> block(::GetFileVersionInfoSizeW(dll.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    std::vector<unsigned> parts{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
    while (parts.size() > 1 && parts.back() == 0) parts.pop_back();
    std::string expected = "Version: ";
    for (std::size_t i = 0; i < parts.size(); ++i) expected += (i ? "." : "") + std::to_string(parts[i]);
    EXPECT_EQ(ToUtf8(Label(L"GetVersionString")), expected);
    EXPECT_EQ(expected, "Version: 1");
  }
  EXPECT_EQ(Label(L"GetCopyrightString"), u"Copyright \u00a9 2026 Corvanworks");
  // A missing argument comes back from the type library's Invoke.
  EXPECT_THROW(Host::InvokeByName(m_callbacks.Get(), L"GetMailCount", {}), ComError);
}

TEST_F(AddinDll, ASelectionChangeInASecondExplorerInvalidatesTheRibbonOnce) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  auto mails = m_inbox->AddMails(2);
  m_outlook.OpenExplorer(m_inbox);
  auto second = m_outlook.OpenExplorer(m_inbox);  // NewExplorer through the connection point
  const auto before = m_ribbon->Invalidations();
  second->Select({mails[0]});
  EXPECT_EQ(m_ribbon->Invalidations(), before + 1);
  second->Select({mails[0], mails[1]});
  EXPECT_EQ(m_ribbon->Invalidations(), before + 2);
}

TEST_F(AddinDllJobs, AddFolderRunsOnAWorkerThatReachesOutlookOnlyThroughCom) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  m_inbox->AddMails(40);
  m_outlook.OpenExplorer(m_inbox);
  const auto before = m_ribbon->Invalidations();
  Host::InvokeByName(m_callbacks.Get(), L"AddFolder", {Control(m_inbox)});
  ASSERT_TRUE(Host::PumpUntil([&] { return Label(L"GetMailCount") == u"   40" || m_apartment->PendingCalls() > 0; },
                              std::chrono::seconds(30)));
  EXPECT_EQ(m_apartment->PendingCalls(), 0u) << "the worker called an Outlook object directly";
  EXPECT_EQ(Label(L"GetFolderCount"), u"    1");
  // The job's two invalidations (start and end) came through the ribbon's proxy.
  ASSERT_TRUE(Host::PumpUntil([&] { return m_ribbon->Invalidations() >= before + 2; }, std::chrono::seconds(10)));
  EXPECT_TRUE(Host::InvokeByName(m_callbacks.Get(), L"GetStartARCCreationEnabled", {Control(nullptr)}).AsBool());
}

TEST_F(AddinDllJobs, ReleasingTheAddinWhileAJobRunsStopsTheJobAndKeepsTheModule) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  m_inbox->AddMails(20000);
  m_outlook.OpenExplorer(m_inbox);
  Host::InvokeByName(m_callbacks.Get(), L"AddFolder", {Control(m_inbox)});
  ASSERT_TRUE(Host::PumpUntil([&] { return m_inbox->Calls("Items") > 0 || m_apartment->PendingCalls() > 0; },
                              std::chrono::seconds(30)));
  ASSERT_EQ(m_apartment->PendingCalls(), 0u);
  m_addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
  m_callbacks.Reset();
  m_addin.Reset();  // the last reference: the runner stops the job, serving its calls meanwhile
  m_app.Reset();
  // The worker has gone: no call reaches Outlook any more, and every
  // interface the add-in held (application, ribbon, the folder in the
  // global interface table) has been released.
  EXPECT_TRUE(Host::PumpUntil([] { return Win::LiveBridgeObjects() == 0; }, std::chrono::seconds(5)))
      << Win::LiveBridgeObjects() << " exposed objects still held";
  EXPECT_TRUE(Host::PumpUntil([] { return !Host::FindDialog([](HWND) { return true; }); }, std::chrono::seconds(5)))
      << "the progress window outlived the job";
  const auto calls = m_outlook.World()->TotalCalls();
  Host::PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(m_outlook.World()->TotalCalls(), calls);
  EXPECT_EQ(m_apartment->PendingCalls(), 0u);
  ::CoFreeUnusedLibrariesEx(0, 0);
  ::CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_NE(::GetModuleHandleW(Host::AddinDll().c_str()), nullptr) << "a worker has run: the module stays pinned";
}

}  // namespace
}  // namespace CV

namespace CV {
namespace {

// Run in a process of its own (its own ctest entry): whether the module is
// pinned can only be seen in a process where no worker has pinned it yet.
class AddinDllFreshProcess : public AddinDll {};

TEST_F(AddinDllFreshProcess, TheModuleIsPinnedBeforeAWorkerExists) {
  // No job has run: the released add-in's module may go.
  ASSERT_NO_FATAL_FAILURE(Connect());
  AddinDll::TearDown();
  ::CoFreeUnusedLibrariesEx(0, 0);
  ::CoFreeUnusedLibrariesEx(0, 0);
  ASSERT_EQ(::GetModuleHandleW(Host::AddinDll().c_str()), nullptr) << "nothing should keep an idle module";

  // A worker that is scheduled only after the add-in was released (a loaded
  // machine): the module must already be pinned when the thread is made, or
  // the thread starts in unmapped code.
  ::SetEnvironmentVariableW(L"CV_TEST_WORKER_START_DELAY_MS", L"1500");
  ASSERT_NO_FATAL_FAILURE(Connect());
  m_inbox->AddMails(50);
  m_outlook.OpenExplorer(m_inbox);
  Host::InvokeByName(m_callbacks.Get(), L"AddFolder", {Control(m_inbox)});
  AddinDll::TearDown();  // Stop gives up after its bounds; the worker has not started yet
  ::CoFreeUnusedLibrariesEx(0, 0);
  ::CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_NE(::GetModuleHandleW(Host::AddinDll().c_str()), nullptr) << "the worker's module was unloaded";
  // The worker starts, finds its job abandoned and ends; the process lives on.
  Host::PumpUntil([] { return false; }, std::chrono::milliseconds(2500));
  ::SetEnvironmentVariableW(L"CV_TEST_WORKER_START_DELAY_MS", nullptr);
}

}  // namespace
}  // namespace CV
