// cvmail rewrite-html IN -o OUT [--cache DIR]: a diagnosis tool for a mail
// that looks wrong in the archive. It rewrites one saved body as archiving
// does, writes the bytes to OUT, copies the cached pictures it used next to
// OUT under their new names, and prints the file list.
#pragma once

#include <CLI/CLI.hpp>

namespace CV::Cli {

void AddRewriteHtml(CLI::App& app);

}  // namespace CV::Cli
