// The mail-store loader: a directory of mail on disk presented by the
// simulated Outlook as a user's store, the way Outlook shows a mailbox.
//
// Layouts, decided by what a directory holds (they may be mixed in one
// tree):
// - a directory is a folder; its *.eml files (any case) are its items, its
//   subdirectories its subfolders;
// - a directory with cur/ or new/ is a Maildir folder (cur/ and new/ hold
//   its items, tmp/ is ignored); its Maildir++ subfolders ".A.B" inside it
//   become the folders A and A\B below it, its plain subdirectories and
//   loose .eml and mbox files are read as in any folder;
// - any other file that begins with a postmark line is an mbox file: one
//   folder, named after the file without ".mbox", holding its messages;
// - every other file is named as no mail; a hidden directory is not read,
//   but counted with its mails.
// Folder kinds and the store's default folders come from the usual German
// and English names (Posteingang/Inbox, Gesendete Elemente/Sent Items,
// Kalender/Calendar, ...) or from a sidecar file ".cvfolder" in the
// directory with lines "default=inbox|sent|deleted|outbox|junk|drafts|rss|
// calendar|contacts|tasks" and "kind=mail|calendar|contacts|tasks". A
// default folder the directory lacks still exists, empty.
//
// The store is ready once the directories are listed and each mbox file is
// scanned for its message boundaries; a mail is read and parsed (GMime)
// only when Outlook's object model asks for it, and its body and
// attachments only when those are asked for. A file that is no mail becomes
// an item whose every member fails, as a corrupt item in Outlook.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <stdexcept>

#include "sim/outlook/sim_outlook.h"

namespace CV::MailStore {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class LoadCancelled : public StoreError {
 public:
  using StoreError::StoreError;
};

// What could not be read, with why: folders and links while the store is
// loaded, mails when Outlook asks for them (a file that cannot be opened,
// bytes that are no mail). Shared by a store's folders; safe to use from
// any thread.
class ReadProblems {
 public:
  struct Problem {
    std::filesystem::path path;
    std::string why;
  };
  // Once per path.
  void Add(const std::filesystem::path& path, std::string why);
  std::vector<Problem> All() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<Problem> m_problems;
};

struct LoadStatistics {
  std::size_t folders = 0, files = 0, messages = 0;
  std::shared_ptr<ReadProblems> problems = std::make_shared<ReadProblems>();
  // What was read, but differently than it says (a charset nobody knows).
  std::shared_ptr<ReadProblems> notes = std::make_shared<ReadProblems>();
  // Hidden directories, which are not read: their folder paths below the
  // store and the mails they hold.
  struct LeftOut {
    std::u16string folder;
    std::size_t mails = 0;
  };
  std::vector<LeftOut> hidden;
};

// Adds the store at directory to outlook, named after the directory.
// Throws StoreError when the directory cannot be read, LoadCancelled when
// cancelled answers true (it is asked between entries).
//
// Every directory is a folder of its own. A top-level directory named like a
// default folder is that folder the first time; a second one of the same
// kind (Inbox/ beside Posteingang/) is an ordinary folder of its own name. A
// name its parent already has gets " (2)", " (3)", ...; bytes of a name that
// are no UTF-8 show as "%XX". Symbolic links are followed while their target
// lies inside the store, and no directory is read twice. What is not read
// is a problem in statistics: a directory that cannot be read, a name with a
// backslash (a folder path cannot hold it), a link out of the store or one
// that cannot be followed.
std::shared_ptr<Sim::SimStore> LoadStore(Sim::SimOutlook& outlook, const std::filesystem::path& directory,
                                         LoadStatistics* statistics = nullptr,
                                         std::function<bool()> cancelled = nullptr);

// The mails of a loaded folder: EntryID and file name, in folder order.
std::vector<std::pair<std::u16string, std::string>> MessagesOf(const Sim::SimFolder& folder);
// The file name of one mail of a loaded folder; empty when it has none.
std::string MessageName(const Sim::SimFolder& folder, std::u16string_view entryId);
// Its file's path (an mbox message's with "#n"); empty when it has none.
std::filesystem::path MessagePath(const Sim::SimFolder& folder, std::u16string_view entryId);
// Its bytes as they were read; empty when it has none or they cannot be read.
std::string MessageBytes(const Sim::SimFolder& folder, std::u16string_view entryId);

}  // namespace CV::MailStore
