// cvmail: the add-in's work on Linux, on the simulated Outlook.
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/archive_command.h"
#include "cli/rewrite_html.h"

int main(int argc, char** argv) {
  // The C library looks at /etc/localtime again on every time conversion
  // unless TZ names the zone; named, it reads the same file once.
  if (!std::getenv("TZ")) ::setenv("TZ", ":/etc/localtime", 0);
  CLI::App app("cvmail: the Corvane mail archive on the command line");
  app.footer(CV::Cli::kExitCodeTable);
  app.require_subcommand(1);
  CV::Cli::AddArchive(app);
  CV::Cli::AddRibbon(app);
  CV::Cli::AddContainerCommands(app);
  CV::Cli::AddSettings(app);
  CV::Cli::AddRewriteHtml(app);
  CV::Cli::AddSnapshot(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return CV::Cli::Exit::Usage;
  } catch (const CV::Cli::ExitStatus& status) {
    return status.code;
  } catch (const CV::Cli::Failure& e) {
    std::cerr << "cvmail: " << e.what() << '\n';
    return e.ExitCode();
  } catch (const std::exception& e) {
    std::cerr << "cvmail: " << e.what() << '\n';
    return CV::Cli::Exit::Usage;
  }
  return CV::Cli::Exit::Success;
}
