// ZipError: what every failure of the container's ZIP code throws.
#pragma once

#include <stdexcept>
#include <string>

namespace CV::Components {

// A failure to read or write a ZIP file; for a failure of the system its
// errno, and the text says what and where.
class ZipError : public std::runtime_error {
 public:
  explicit ZipError(const std::string& what, int systemError = 0);
  int SystemError() const noexcept { return m_systemError; }

 private:
  int m_systemError;
};

}  // namespace CV::Components
