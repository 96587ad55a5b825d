#include "win/addin/addin_ports.h"

#include "addin/addin_ids.h"
#include "foundation/guid_source.h"
#include "foundation/lifetime.h"
#include "win/addin/module.h"
#include "win/win_component_factory.h"
#include "win/win_help_system.h"
#include "win/win_internet_cache.h"
#include "win/win_pictures.h"
#include "win/win_screen.h"
#include "win/win_settings.h"
#include "win/win_user_environment.h"
#include "win/win_user_interface.h"
#include "win/win_version_source.h"

namespace CV::Win {
namespace {

// A worker thread pins the DLL before any work: the add-in may be released
// while the worker still unwinds, and its code must stay mapped.
class PinningThreadHooks final : public IThreadHooks {
 public:
  void Enter(int priority) override {
    Module::Pin();
    DefaultThreadHooks().Enter(priority);
  }
  void Leave() override { DefaultThreadHooks().Leave(); }
};

}  // namespace

AddinPorts ModulePorts() {
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
                                            std::make_shared<WinInternetCache>()},
                    nullptr,
                    std::make_shared<WinHelpSystem>()};
}

}  // namespace CV::Win
