// The exit codes of every cvmail subcommand, one table for the command.
#pragma once

namespace CV::Cli {

namespace Exit {
inline constexpr int Success = 0;
inline constexpr int Skipped = 1;        // the container was written, but mails were skipped or it lies elsewhere
inline constexpr int Usage = 2;          // usage error, or unusable input or output
inline constexpr int Rejected = 3;       // the input was rejected (rewrite-html: no text)
inline constexpr int NothingToDo = 4;    // nothing to archive
inline constexpr int NoWriter = 5;       // the container writer could not be created
inline constexpr int Different = 6;      // verify found a difference
inline constexpr int Cancelled = 130;    // Ctrl-C (SIGTERM 143, SIGHUP 129)
}  // namespace Exit

// The table as cvmail --help shows it.
inline constexpr const char* kExitCodeTable =
    "Exit codes:\n"
    "  0    success\n"
    "  1    the container was written, but mails were skipped, not read, incomplete or left out by rule\n"
    "       (excluded or hidden folders; all named in the summary), or beside a file of its\n"
    "       name that came meanwhile (that file was not replaced); snapshot: written, but\n"
    "       mails could not be read or lie in hidden folders (named)\n"
    "  2    usage error, unusable input or output, or the export ended early (its cause named)\n"
    "  3    the input was rejected (rewrite-html: no text, an 8-bit file holding NUL bytes)\n"
    "  4    nothing to archive (message 108)\n"
    "  5    the container writer could not be created (message 107)\n"
    "  6    verify found a difference\n"
    "  129  cancelled by SIGHUP\n"
    "  130  cancelled (Ctrl-C)\n"
    "  143  cancelled by SIGTERM\n";

}  // namespace CV::Cli
