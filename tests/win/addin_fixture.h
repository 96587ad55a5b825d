// The add-in DLL registered and connected to the simulated Outlook through
// real COM, for the Wine tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "sim/outlook/sim_outlook.h"
#include "sim/sim_apartment.h"
#include "win/addin_host.h"
#include "win/com/com_support.h"

namespace CV {

inline const std::wstring kClsid = L"{7C2D4E91-3B5A-4F8E-A1D6-2E9B0C4F7A13}";
inline const std::wstring kLibId = L"{7C2D4E92-3B5A-4F8E-A1D6-2E9B0C4F7A13}";
inline const std::wstring kAddins = L"Software\\Microsoft\\Office\\Outlook\\Addins";

class AddinDll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(Host::RegisterOutlookInterfaces(), S_OK);
    ASSERT_EQ(Host::Regsvr32(L""), 0u);
  }
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_sta.Result())); }

  // A connected add-in on the simulated Outlook, with its ribbon loaded.
  void Connect() {
    ASSERT_EQ(Host::CreateAddin(m_addin), S_OK);
    m_app = Win::ComPtr<IDispatch>::Attach(Win::ExposeObject(m_outlook.Application()));
    ASSERT_EQ(m_addin->OnConnection(m_app.Get(), ext_cm_Startup, nullptr, nullptr), S_OK);
    m_callbacks = m_addin.Query<IDispatch>(IID_IDispatch);
    m_ribbon = m_outlook.NewRibbonUI();
    Win::ComPtr<IDispatch> ribbon = Win::ComPtr<IDispatch>::Attach(Win::ExposeObject(m_ribbon));
    Host::InvokeByName(m_callbacks.Get(), L"OnLoad", {Variant::FromObject(Win::WrapDispatch(ribbon.Get(), Guid{}))});
  }
  void TearDown() override {
    if (m_addin) m_addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
    m_callbacks.Reset();
    m_addin.Reset();
    m_app.Reset();
  }
  // A ribbon control whose context is the given Outlook object, as a real IDispatch.
  Variant Control(const ObjectPtr& context) {
    return Variant::FromObject(m_outlook.NewRibbonControl(u"AddFolderCmd__btn", context));
  }
  std::u16string Label(const wchar_t* callback) {
    return Host::InvokeByName(m_callbacks.Get(), callback, {Control(nullptr)}).AsText();
  }

  Host::Sta m_sta;
  Sim::SimOutlook m_outlook;
  std::shared_ptr<Sim::SimStore> m_store = m_outlook.AddStore(u"Postfach");
  std::shared_ptr<Sim::SimFolder> m_inbox = m_store->DefaultFolder(Outlook::olFolderInbox);
  std::shared_ptr<Sim::SimRibbonUI> m_ribbon;
  Win::ComPtr<_IDTExtensibility2> m_addin;
  Win::ComPtr<IDispatch> m_app;
  Win::ComPtr<IDispatch> m_callbacks;
};

// The simulated Outlook lives in this thread's apartment: a call that did
// not come through COM's marshalling would wait in its queue.
class AddinDllJobs : public AddinDll {
 protected:
  void SetUp() override {
    AddinDll::SetUp();
    m_outlook.World()->SetApartment(m_apartment);
  }
  void TearDown() override {
    m_apartment->Close();  // frees a worker that called past the marshalling
    AddinDll::TearDown();
  }
  std::shared_ptr<Sim::SimApartment> m_apartment = std::make_shared<Sim::SimApartment>();
};

inline std::wstring WindowsPath(const char* posix) {
  std::wstring out = L"Z:";
  for (const char* c = posix; *c; ++c) out += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return out;
}

#ifdef CV_COMPONENTS_DLL
// The same with our components registered for the machine, as the
// installer leaves them.
class AddinWithComponents : public AddinDllJobs {
 protected:
  static void SetUpTestSuite() {
    AddinDll::SetUpTestSuite();
    ASSERT_EQ(Host::Run(L"regsvr32.exe /s \"" + WindowsPath(CV_COMPONENTS_DLL) + L"\""), 0u);
  }
};
#endif

}  // namespace CV
