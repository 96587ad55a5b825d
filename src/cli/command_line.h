// What the cvmail subcommands share: paths between the POSIX command line
// and the Windows-shaped ports, and the error that ends a subcommand with an
// exit code and a message.
#pragma once

#include <stdexcept>
#include <string>

namespace CV::Cli {

// Ends a subcommand: main prints the message on standard error and exits
// with the code.
class Failure : public std::runtime_error {
 public:
  Failure(int exitCode, const std::string& message) : std::runtime_error(message), m_exitCode(exitCode) {}
  int ExitCode() const noexcept { return m_exitCode; }

 private:
  int m_exitCode;
};

// Ends a subcommand with an exit code, its messages already printed.
struct ExitStatus {
  int code;
};

// The Windows path (drive C: is the POSIX root) of a path given on the
// command line, made absolute against the current directory.
std::u16string WindowsPath(const std::string& path);

}  // namespace CV::Cli
