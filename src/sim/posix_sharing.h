// The POSIX file-system adapter's strict mode, for tests: among the handles
// it holds in this process, the sharing rules of Windows apply to files
// open for writing as well (a file open for writing refuses readers that
// do not share writing, a second writer, a move over it), and a file
// deleted while open stays, its name taken, until its last handle closes.
// Without it (cvmail) a file open for writing is the process's own
// business, and a deleted one is gone at once.
#pragma once

namespace CV::FS {

void KeepWindowsSharingRules(bool on);

}  // namespace CV::FS
