#include "cli/archive_command.h"

#include <unistd.h>

#include <chrono>

#include "archive/fill_mail_archive_job.h"
#include "cli/actions.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "foundation/string_table.h"
#include "foundation/utf.h"

namespace CV::Cli {
namespace {

namespace fs = std::filesystem;

struct ArchiveOptions {
  std::string store, output, comment, cache;
  bool force = false;
  bool withoutWriter = false;
};

int Archive(CLI::App& command, const ArchiveOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  const fs::path output = fs::absolute(options.output);
  if (!fs::is_directory(output.parent_path()))
    throw Failure(Exit::Usage, "the directory of " + options.output + " does not exist");
  if (access(output.parent_path().c_str(), W_OK) != 0)
    throw Failure(Exit::Usage, "the directory of " + options.output + " is not writable");
  if (fs::exists(output) && !options.force)
    throw Failure(Exit::Usage, options.output + " exists; --force replaces it");
  if (fs::exists(output) && !fs::is_regular_file(output))
    throw Failure(Exit::Usage, options.output + " exists and is not a file");
  if (!options.cache.empty() && !fs::is_directory(options.cache))
    throw Failure(Exit::Usage, "no cache directory " + options.cache);

  SessionOptions sessionOptions;
  sessionOptions.store = options.store;
  if (!options.cache.empty()) sessionOptions.cache = options.cache;
  sessionOptions.target = Standin::ExportTarget{output, FromUtf8(options.comment)};
  sessionOptions.writerInstalled = !options.withoutWriter;
  CatchInterrupt();
  Session session(sessionOptions, std::cout);
  std::cout << "Postfach " << options.store << ": " << session.Statistics().messages << " Nachrichten in "
            << session.Statistics().folders << " Ordnern\n";
  std::vector<Action> actions = ActionsInOrder(command);
  bool completed = true;
  if (actions.empty()) {
    std::cout << "Unterordner dem Mailarchiv hinzufügen: das ganze Postfach\n";
    session.Press(u"AddFolders", session.Store());
    std::cout << "  " << session.Counters() << "\n";
    completed = !Interrupted();
  } else {
    completed = RunActions(session, actions, std::cout);
  }
  if (!completed) {
    std::cout << "Abgebrochen: kein Archiv erstellt.\n";
    return Exit::Cancelled;
  }
  const auto before = session.Ui().Shown().size();
  std::cout << "Archiv erstellen\n";
  session.Press(u"StartARCCreation", session.Explorer());
  const auto shown = session.Ui().Shown();
  for (std::size_t i = before; i < shown.size(); ++i) {
    if (shown[i] == StringId::SelectAtLeastOneMail) return Exit::NothingToDo;
    if (shown[i] == StringId::InstallationDamaged) return Exit::NoWriter;
  }
  if (Interrupted()) {
    std::cout << "Abgebrochen: kein Archiv erstellt.\n";
    return Exit::Cancelled;
  }
  const Session::ExportRecord& record = session.Export();
  if (!record.complete)
    throw Failure(Exit::Usage, "no container was written: the export ended early (a mail could not be reopened, "
                               "or the writer failed)");
  std::vector<std::string> skipped;
  std::vector<std::u16string> paths;
  CArchiveList& list = session.Addin().ArchiveList();
  list.GetFolderPaths(paths, false);
  for (const auto& path : paths) {
    std::vector<std::u16string> ids;
    std::u16string storeId;
    list.GetSelectedMailIds(path, ids, storeId);
    for (const auto& id : ids) {
      if (record.archived.count(path + u'\n' + id)) continue;
      const std::string name = MailStore::MessageName(*session.FolderAt(ToUtf8(path)), id);
      skipped.push_back(ToUtf8(path) + "\\" + (name.empty() ? ToUtf8(id) : name));
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "\nZusammenfassung\n"
            << "  archivierte E-Mails: " << record.archived.size() << "\n"
            << "  Gesamtgröße:         " << ToUtf8(FormatSize(record.size)) << "\n"
            << "  übersprungen:        " << skipped.size() << "\n";
  for (const auto& name : skipped) std::cout << "    " << name << "\n";
  std::cout << "  Container:           " << output.string() << " (" << fs::file_size(output) << " Bytes)\n"
            << "  Dauer:               " << static_cast<int>(seconds * 1000) / 1000.0 << " s\n";
  return skipped.empty() ? Exit::Success : Exit::Skipped;
}

}  // namespace

void AddArchive(CLI::App& app) {
  auto options = std::make_shared<ArchiveOptions>();
  CLI::App* command = app.add_subcommand("archive", "Collect mails of a store as the ribbon does, and create an archive");
  command->add_option("STORE", options->store, "the mail store (a directory)")->required();
  command->add_option("-o,--output", options->output, "the container file to create")->required();
  command->add_option("--comment", options->comment, "the container's comment (\"Kommentar\")");
  command->add_option("--cache", options->cache, "an internet-cache directory for remote pictures");
  command->add_flag("--force", options->force, "replace an existing output file");
  command->add_flag("--without-writer", options->withoutWriter,
                    "act as an installation whose container writer is missing (message 107)");
  AddActionOptions(*command);
  command->footer("Without any action the whole store is added as a tree from its root.");
  command->callback([command, options] {
    const int code = Archive(*command, *options);
    if (code != Exit::Success) throw ExitStatus{code};
  });
}

}  // namespace CV::Cli
