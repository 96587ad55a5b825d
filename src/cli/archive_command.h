// cvmail archive, ribbon, inspect, verify and settings: the add-in's whole
// job on a mail store, the ribbon as Office renders it, and containers read
// back.
#pragma once

#include <CLI/CLI.hpp>

namespace CV::Cli {

void AddArchive(CLI::App& app);
void AddRibbon(CLI::App& app);
void AddContainerCommands(CLI::App& app);
void AddSettings(CLI::App& app);
void AddSnapshot(CLI::App& app);

}  // namespace CV::Cli
