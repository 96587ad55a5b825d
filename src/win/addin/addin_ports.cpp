#include "win/addin/addin_ports.h"

#include <cwchar>

#include "addin/addin_ids.h"
#include "foundation/guid_source.h"
#include "foundation/lifetime.h"
#include "win/com/module.h"
#include "win/platform/win_component_factory.h"
#include "win/addin/win_dialog_host.h"
#include "win/platform/win_help_system.h"
#include "win/platform/win_internet_cache.h"
#include "win/addin/win_pictures.h"
#include "win/platform/win_screen.h"
#include "win/platform/win_settings.h"
#include "win/platform/win_user_environment.h"
#include "win/platform/win_user_interface.h"
#include "win/platform/win_version_source.h"

namespace CV::Win {
namespace {

// The DLL is pinned before a worker thread exists: the add-in may be
// released before the thread is first scheduled or while it still unwinds,
// and the thread's code must stay mapped all the same.
class PinningThreadHooks final : public IThreadHooks {
 public:
  void Starting() override { Module::Pin(); }
  void Enter(int priority) override {
    if (const DWORD delay = StartDelayForTests()) ::Sleep(delay);
    DefaultThreadHooks().Enter(priority);
  }
  void Leave() override { DefaultThreadHooks().Leave(); }

 private:
  // A test knob: CV_TEST_WORKER_START_DELAY_MS holds a worker back as a
  // loaded machine would, so that a test can release the add-in first.
  static DWORD StartDelayForTests() {
    wchar_t text[16] = {};
    if (::GetEnvironmentVariableW(L"CV_TEST_WORKER_START_DELAY_MS", text, 16) == 0) return 0;
    return static_cast<DWORD>(std::wcstoul(text, nullptr, 10));
  }
};

// Skipped mails and a run that ended early go to the debugger output (a
// support engineer's debug viewer), where Outlook shows nothing.
class DebugOutputRunReport final : public IArchiveRunReport {
 public:
  void MailSkipped(std::u16string_view folderPath, std::u16string_view entryId, std::u16string_view cause) override {
    Write(u"Mail \u00fcbersprungen: ", folderPath, entryId, cause);
  }
  void RunEnded(std::u16string_view folderPath, std::u16string_view entryId, std::u16string_view cause) override {
    Write(u"Archivierung beendet: ", folderPath, entryId, cause);
  }

 private:
  static void Write(std::u16string_view what, std::u16string_view folderPath, std::u16string_view entryId,
                    std::u16string_view cause) {
    std::u16string line = u"Corvane: " + std::u16string(what) + std::u16string(folderPath) + u" " +
                          std::u16string(entryId) + u": " + std::u16string(cause) + u"\n";
    ::OutputDebugStringW(std::wstring(line.begin(), line.end()).c_str());
  }
};

}  // namespace

AddinPorts ModulePorts() {
  const std::wstring modulePath = Module::Path();
  static WinScreen screen;
  static WinPictureFactory pictures;
  static WinVersionSource version(AddinIds::ClsidConnect);
  static RegistrySettings settings;
  return AddinPorts{ProcessLifetime(DefaultInterfaceTable()),
                    std::make_shared<WinUserInterface>(Module::Instance()),
                    ModuleResources(),
                    screen,
                    pictures,
                    version,
                    std::make_shared<PinningThreadHooks>(),
                    DefaultApartment(),
                    settings,
                    std::make_shared<WinUserEnvironment>(),
                    Office::MailExportPorts{std::make_shared<WinComponentFactory>(),
                                            ProcessLifetime(FS::DefaultFileSystem()),
                                            ProcessLifetime(DefaultGuidSource()),
                                            std::make_shared<WinInternetCache>(),
                                            ProcessLifetime(DefaultSystemMessages())},
                    std::make_shared<WinDialogHost>(),
                    std::make_shared<WinHelpSystem>(std::u16string(modulePath.begin(), modulePath.end())),
                    std::make_shared<DebugOutputRunReport>()};
}

}  // namespace CV::Win
