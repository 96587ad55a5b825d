#include "cli/archive_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <map>
#include <optional>

#include "archive/fill_mail_archive_job.h"
#include "cli/actions.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/left_out.h"
#include "cli/run_directory.h"
#include "foundation/string_table.h"
#include "foundation/utf.h"
#include "components/container/container_part.h"
#include "components/container/write_failure.h"
#include "foundation/hresult.h"
#include "sim/posix_paths.h"

namespace CV::Cli {
namespace {

namespace fs = std::filesystem;

struct ArchiveOptions {
  std::string store, output, comment, cache;
  bool force = false;
  bool withoutWriter = false;
  bool tempOnDisk = false;
  bool stats = false;
};

// Names what was left out by rule with its mails, so that nothing is
// missed unseen; true when that held mails.
bool PrintLeftOut(Session& session, const std::vector<Action>& actions) {
  const LeftOut left = WhatWasLeftOut(session, actions);
  std::vector<LeftOut::Folder> hidden;
  for (const auto& folder : session.Statistics().hidden) hidden.push_back({ToUtf8(folder.folder), folder.mails});
  if (!left.excluded.empty())
    std::cout << "  Nicht archiviert, weil ausgeschlossen: " << FoldersWithMails(left.excluded) << "\n";
  if (!hidden.empty()) std::cout << "  Nicht archiviert, weil verborgen: " << FoldersWithMails(hidden) << "\n";
  if (left.nonMail > 0)
    std::cout << "  Keine E-Mails, daher nicht archiviert: " << left.nonMail
              << (left.nonMail == 1 ? " Element" : " Elemente") << " (Termine, Kontakte, …)\n";
  return !left.excluded.empty() || !hidden.empty();
}

// Every mail's files go to a directory of its own below the temporary
// directory: one that cannot hold them would fail every mail, so it is
// refused before any mail is touched.
fs::path CheckTemporaryDirectory() {
  const char* set = std::getenv("TMPDIR");
  const std::string dir = set && *set ? set : "/tmp";
  const std::string name = set && *set ? "TMPDIR=" + dir : "the temporary directory /tmp (TMPDIR is not set)";
  const auto refuse = [&](const std::string& why) { throw Failure(Exit::Usage, name + " cannot be used: " + why); };
  if (!IsUtf8(dir)) refuse("its name is not UTF-8");
  if (dir.front() != '/') refuse("it is not an absolute path");
  std::error_code error;
  if (!fs::is_directory(dir, error)) refuse(error ? error.message() : "it is not a directory");
  std::string probe = dir + "/cvmail-probe-XXXXXX";
  if (!::mkdtemp(probe.data())) refuse(std::strerror(errno));
  ::rmdir(probe.c_str());
  return dir;
}

// The container must not land on what it is made of: a source would be
// replaced, and the next run would read the container back as a mail.
void RefuseOutputInStore(const fs::path& output, const std::string& store) {
  std::error_code error;
  const fs::path root = fs::weakly_canonical(fs::absolute(store), error);
  const fs::path target = fs::weakly_canonical(output, error);
  const auto [end, _] = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
  if (!error && end == root.end())
    throw Failure(Exit::Usage, output.string() + " lies inside the store " + store + ": choose another place");
}

// A mail file as the user knows it: relative to the store when it lies in it.
std::string StoreRelative(const fs::path& file, const std::string& store) {
  const fs::path relative = file.lexically_relative(fs::absolute(store).lexically_normal());
  return relative.empty() || relative.begin()->string() == ".." ? file.string() : relative.string();
}

// The output's directory must take a new file, told as the writer tells it.
// A directory whose owner may not write counts as read-only, even for root.
void CheckOutputDirectory(const fs::path& output) {
  const fs::path folder = output.parent_path();
  const auto refuse = [&](std::int32_t error) {
    throw Failure(Exit::Usage, ToUtf8(Components::WriteFailureText(error, Components::WriteStep::Folder,
                                                                   FromUtf8(folder.string()),
                                                                   FromUtf8(output.string()))));
  };
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) refuse(Win32Error::PathNotFound);
  if ((st.st_mode & S_IWUSR) == 0 || access(folder.c_str(), W_OK) != 0) refuse(Win32Error::AccessDenied);
}

// The calls the job made into Outlook's apartment, each one served by
// Outlook's UI thread: per archived mail, and by member, the most first.
void PrintCrossings(const std::map<std::string, std::uint64_t, std::less<>>& before,
                    const std::map<std::string, std::uint64_t, std::less<>>& after, std::uint64_t mails) {
  std::vector<std::pair<std::uint64_t, std::string>> members;
  std::uint64_t total = 0;
  for (const auto& [member, calls] : after) {
    const auto it = before.find(member);
    const std::uint64_t made = calls - (it == before.end() ? 0 : it->second);
    if (made == 0) continue;
    members.emplace_back(made, member);
    total += made;
  }
  std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  const double per = mails ? 1.0 / static_cast<double>(mails) : 0.0;
  std::cout << std::fixed << std::setprecision(2) << "  Aufrufe in Outlook:  " << total << ", "
            << static_cast<double>(total) * per << " je E-Mail\n";
  for (const auto& [made, member] : members)
    std::cout << "    " << std::left << std::setw(24) << member << std::right << std::setw(10) << made << std::setw(8)
              << static_cast<double>(made) * per << "\n";
  std::cout.unsetf(std::ios::fixed);
  std::cout << std::setprecision(6);
}

int Archive(CLI::App& command, const ArchiveOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  const fs::path output = fs::absolute(options.output).lexically_normal();
  CheckOutputDirectory(output);
  if (fs::exists(output) && !options.force)
    throw Failure(Exit::Usage, options.output + " exists; --force replaces it");
  if (fs::exists(output) && !fs::is_regular_file(output))
    throw Failure(Exit::Usage, options.output + " exists and is not a file");
  if (!options.cache.empty() && !fs::is_directory(options.cache))
    throw Failure(Exit::Usage, "no cache directory " + options.cache);
  RefuseOutputInStore(output, options.store);
  const fs::path temporary = CheckTemporaryDirectory();

  // What killed runs left: their temporary directories and half containers.
  for (const fs::path& left : RemoveAbandonedRunDirectories(temporary))
    std::cout << "Überreste eines abgebrochenen Laufs entfernt: " << left.string() << "\n";
  FS::IFileSystem& files = FS::DefaultFileSystem();
  for (const std::u16string& left : Components::RemoveAbandonedParts(files, FS::ToWindows(output.parent_path().string())))
    std::cout << "Unvollständiges Archiv eines abgebrochenen Laufs entfernt: " << ToUtf8(files.UserPath(left)) << "\n";
  const RunDirectory run(temporary);

  SessionOptions sessionOptions;
  sessionOptions.store = options.store;
  if (!options.cache.empty()) sessionOptions.cache = options.cache;
  sessionOptions.target = Components::ExportTarget{FS::ToWindows(output.string()), FromUtf8(options.comment), options.force};
  sessionOptions.writerInstalled = !options.withoutWriter;
  sessionOptions.tempOnDisk = options.tempOnDisk;
  CatchInterrupt();
  std::optional<Session> opened;
  try {
    opened.emplace(sessionOptions, std::cout);
  } catch (const MailStore::LoadCancelled&) {
    std::cout << "Abgebrochen: kein Archiv erstellt.\n";
    return InterruptedExitCode();
  }
  Session& session = *opened;
  std::cout << "Postfach " << options.store << ": " << session.Statistics().messages << " Nachrichten in "
            << session.Statistics().folders << " Ordnern\n";
  for (const auto& problem : session.Statistics().problems->All())
    std::cout << "  nicht gelesen: " << StoreRelative(problem.path, options.store) << ": " << problem.why << "\n";
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
    return InterruptedExitCode();
  }
  const auto before = session.Ui().Shown().size();
  std::cout << "Archiv erstellen\n";
  const auto crossingsBefore = session.Outlook().World()->Crossings();
  session.Press(u"StartARCCreation", session.Explorer());
  const auto shown = session.Ui().Shown();
  for (std::size_t i = before; i < shown.size(); ++i) {
    if (shown[i] == StringId::SelectAtLeastOneMail) {
      PrintLeftOut(session, actions);  // perhaps all there was
      return Exit::NothingToDo;
    }
    if (shown[i] == StringId::InstallationDamaged) return Exit::NoWriter;
  }
  // Whether a container was written decides what is said, whenever a
  // signal came: one that came after the container was complete is too late.
  const Session::ExportRecord& record = session.Export();
  if (!record.complete && Interrupted()) {
    std::cout << "Abgebrochen: kein Archiv erstellt.\n";
    return InterruptedExitCode();
  }
  if (Interrupted()) std::cout << "Der Abbruch kam zu spät: das Archiv war schon vollständig.\n";
  if (!record.complete)
    throw Failure(Exit::Usage, "no container was written: the export ended early: " +
                                   (record.failure.empty() ? std::string("the writer gave no reason") : record.failure));
  // Every mail the run passed over was named to the session with its cause.
  std::vector<std::string> skipped;
  for (const auto& [key, why] : record.skipped) {
    const std::size_t newline = key.find(u'\n');
    skipped.push_back(session.MailName(key.substr(0, newline), key.substr(newline + 1)) + ": " + why);
  }
  const auto unreadable = session.Statistics().problems->All();
  // A file of the target's name that came during the run was not replaced:
  // the container lies beside it.
  const bool elsewhere = record.container != output.string();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "\nZusammenfassung\n"
            << "  archivierte E-Mails: " << record.archived << "\n"
            << "  Gesamtgröße:         " << ToUtf8(FormatSize(record.size)) << "\n"
            << "  übersprungen:        " << skipped.size() << "\n";
  for (const auto& name : skipped) std::cout << "    " << name << "\n";
  if (!unreadable.empty()) {
    std::cout << "  nicht gelesen:       " << unreadable.size() << "\n";
    for (const auto& problem : unreadable)
      std::cout << "    " << StoreRelative(problem.path, options.store) << ": " << problem.why << "\n";
  }
  // Each archived message checked against its source as it was written.
  if (record.whole + record.incomplete.size() > 0) {
    std::cout << "  Inhalt geprüft:      " << record.whole << " vollständig, " << record.incomplete.size()
              << " unvollständig\n";
    for (const auto& mail : record.incomplete)
      for (const std::string& missing : mail.missing)
        std::cout << "    " << session.MailName(mail.folder, mail.entryId) << ": " << missing << "\n";
  }
  const bool leftOut = PrintLeftOut(session, actions);
  // Read whole, but otherwise than the mail says.
  for (const auto& note : session.Statistics().notes->All())
    std::cout << "  Hinweis: " << note.why << ": " << StoreRelative(note.path, options.store) << "\n";
  std::cout << "  Container:           " << record.container << " (" << fs::file_size(record.container) << " Bytes)\n"
            << "  Dauer:               " << static_cast<int>(seconds * 1000) / 1000.0 << " s\n";
  if (elsewhere)
    std::cout << "Das Archiv „" << output.string() << "“ existiert inzwischen; es wurde nicht ersetzt. Die neue Fassung liegt unter „"
              << record.container << "“.\n";
  if (options.stats) PrintCrossings(crossingsBefore, session.Outlook().World()->Crossings(), record.archived);
  const bool whole = skipped.empty() && unreadable.empty() && !leftOut && record.incomplete.empty();
  return whole && !elsewhere ? Exit::Success : Exit::Skipped;
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
  command->add_flag("--temp-on-disk", options->tempOnDisk,
                    "keep each mail's temporary files on disk, in the run's directory, instead of in memory");
  command->add_flag("--stats", options->stats,
                    "print the calls into Outlook's apartment the archive creation made, per mail and by member");
  AddActionOptions(*command);
  command->footer("Without any action the whole store is added as a tree from its root.");
  command->callback([command, options] {
    const int code = Archive(*command, *options);
    if (code != Exit::Success) throw ExitStatus{code};
  });
}

}  // namespace CV::Cli
