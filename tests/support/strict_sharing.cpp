// Every native test runs with the POSIX adapter keeping Windows' sharing
// rules, so that what only a real Windows would refuse fails here first.
#include "sim/posix_sharing.h"

namespace {

const bool kStrict = [] {
  CV::FS::KeepWindowsSharingRules(true);
  return true;
}();

}  // namespace
