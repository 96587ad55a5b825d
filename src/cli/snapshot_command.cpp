// cvmail snapshot: a mail store as the JSON document the Windows test host
// and `scripts/demo --windows` play Outlook over.
#include <iostream>

#include "cli/archive_command.h"
#include "cli/command_line.h"
#include "cli/write_atomically.h"
#include "cli/exit_codes.h"
#include "foundation/utf.h"
#include "mailstore/mail_store.h"
#include "sim/outlook/sim_outlook.h"
#include "snapshot/store_snapshot.h"

namespace CV::Cli {

void AddSnapshot(CLI::App& app) {
  auto store = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand("snapshot", "Write a mail store, read in full, as one JSON document");
  command->add_option("STORE", *store, "the mail store directory")->required();
  command->add_option("-o,--output", *output, "the document to write")->required();
  command->callback([store, output] {
    Sim::SimOutlook outlook;
    MailStore::LoadStatistics statistics;
    std::shared_ptr<Sim::SimStore> loaded;
    try {
      loaded = MailStore::LoadStore(outlook, *store, &statistics);
    } catch (const MailStore::StoreError& e) {
      throw Failure(Exit::Usage, e.what());
    }
    const std::string document = Snapshot::Write(*loaded);
    WriteAtomically(*output, document);  // never a half-written document under the name
    const auto unread = statistics.problems->All();
    for (const auto& problem : unread)
      std::cerr << "nicht gelesen: " << problem.path.string() << ": " << problem.why << "\n";
    for (const auto& hidden : statistics.hidden)
      std::cerr << "nicht gelesen, weil verborgen: " << ToUtf8(hidden.folder) << " (" << hidden.mails << ")\n";
    std::cout << *output << ": " << statistics.folders << " Ordner, " << statistics.messages << " Nachrichten\n";
    // The document is written either way; what it lacks decides the exit.
    if (!unread.empty() || !statistics.hidden.empty()) throw ExitStatus{Exit::Skipped};
  });
}

}  // namespace CV::Cli
