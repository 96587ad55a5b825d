// The ribbon actions that cvmail archive and cvmail ribbon carry out in
// command-line order, each through the callback the ribbon uses.
#pragma once

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>
#include <vector>

#include "cli/session.h"

namespace CV::Cli {

struct Action {
  enum Kind { AddFolder, AddTree, AddMails, Deselect, Reset } kind;
  std::string argument;  // PATH or PATH:GLOB
};

// Registers --add-folder, --add-tree, --add-mails, --deselect and --reset.
void AddActionOptions(CLI::App& command);
// The actions given, in command-line order.
std::vector<Action> ActionsInOrder(CLI::App& command);
// Carries them out, printing the counters after each; false when Ctrl-C
// ended them.
bool RunActions(Session& session, const std::vector<Action>& actions, std::ostream& out);

}  // namespace CV::Cli
