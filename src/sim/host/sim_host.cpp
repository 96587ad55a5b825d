#include "sim/host/sim_host.h"

#include "foundation/apartment.h"
#include "foundation/file_system.h"
#include "foundation/guid_source.h"
#include "foundation/lifetime.h"
#include "foundation/resources.h"
#include "foundation/system_messages.h"
#include "foundation/thread_hooks.h"
#include "sim/sim_interface_table.h"

namespace CV::Sim {

SimHost::SimHost()
    : table(std::make_shared<SimInterfaceTable>()),
      threads(ProcessLifetime(DefaultThreadHooks())),
      apartment(DefaultApartment()),
      user(std::make_shared<SimUserEnvironment>()),
      mailExport{nullptr, ProcessLifetime(FS::DefaultFileSystem()), ProcessLifetime(DefaultGuidSource()), nullptr,
                 ProcessLifetime(DefaultSystemMessages())} {}

AddinPorts SimHost::Ports() {
  return AddinPorts{table,    ui,   ModuleResources(), *screen, *pictures, *version, threads, apartment,
                    *settings, user, mailExport,        dialogs, help,      report};
}

}  // namespace CV::Sim
