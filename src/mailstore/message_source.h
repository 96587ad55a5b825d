// The messages of one folder on disk, made into simulated Outlook items when
// they are asked for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "mailstore/mail_store.h"
#include "sim/outlook/sim_outlook.h"

namespace CV::MailStore {

// Where a message lies: a whole file, or a stretch of an mbox file.
struct MessagePlace {
  std::uint32_t file = 0;
  std::uint64_t offset = 0, length = 0;
  bool wholeFile = true;
};

// The store's files, each as its directory (kept once) and its name: a
// hundred thousand paths cost little more than their names.
class FileTable {
 public:
  // path: a file's full path.
  std::uint32_t Add(const std::string& path);
  std::string Path(std::uint32_t i) const;
  const std::string& Name(std::uint32_t i) const { return m_files.at(i).name; }
  // An mbox file's size and modification time when it was scanned: its
  // messages' places hold while these do.
  struct Stamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
    bool operator==(const Stamp&) const = default;
  };
  void SetStamp(std::uint32_t i, Stamp stamp) { m_stamps[i] = stamp; }
  std::optional<Stamp> StampOf(std::uint32_t i) const {
    const auto it = m_stamps.find(i);
    return it == m_stamps.end() ? std::nullopt : std::optional<Stamp>(it->second);
  }

 private:
  struct File {
    std::uint32_t directory;
    std::string name;
  };
  std::vector<std::string> m_directories;
  std::vector<File> m_files;
  std::unordered_map<std::uint32_t, Stamp> m_stamps;
};

// What Outlook answers for an item it cannot open.
inline constexpr HRESULT kCorruptData = MakeHResult(0x8004011Bu);

// How a folder's messages become items.
enum class FolderRole { Mail, Drafts, Sent, Calendar, Contacts, Tasks };

class MessageSource final : public Sim::ISimItemSource {
 public:
  MessageSource(std::shared_ptr<const FileTable> files, std::vector<MessagePlace> places,
                std::u16string idPrefix, FolderRole role, std::shared_ptr<ReadProblems> problems,
                std::shared_ptr<ReadProblems> notes = nullptr);

  std::size_t Count() const override { return m_places.size(); }
  std::shared_ptr<Sim::SimItem> Make(std::size_t i, const std::shared_ptr<Sim::SimFolder>& folder) override;
  std::optional<std::size_t> Find(std::u16string_view entryId) const override;

  std::u16string EntryIdOf(std::size_t i) const;
  // The message's file name; for an mbox message the file's name, "#" and
  // its number from 1.
  std::string NameOf(std::size_t i) const;
  // Its file's path; for an mbox message with "#" and its number.
  std::filesystem::path PathOf(std::size_t i) const;
  // The message's bytes as the loader reads them; empty when they cannot
  // be read or its mbox file changed. The last few messages made are
  // answered as they were read for the item.
  std::string BytesOf(std::size_t i) const;

 private:
  // The German cause when an mbox message's file changed since the scan, else empty.
  std::string Changed(const MessagePlace& place) const;
  // The message's bytes; empty with why set when the file cannot be read.
  std::string Read(const MessagePlace& place, std::string& why) const;
  void Remember(std::size_t i, const std::string& bytes) const;

  std::shared_ptr<const FileTable> m_files;
  std::vector<MessagePlace> m_places;
  std::u16string m_prefix;
  FolderRole m_role;
  std::shared_ptr<ReadProblems> m_problems;
  std::shared_ptr<ReadProblems> m_notes;
  mutable std::mutex m_recentLock;
  mutable std::vector<std::pair<std::size_t, std::shared_ptr<const std::string>>> m_recent;
};

// A postmark line of an mbox file: "From ", an address, a date ("From
// anna@example.org Mon Dec  1 09:00:00 2025"). Other lines that begin
// "From " are text.
bool IsPostmark(std::string_view line);

// What an mbox file holds: each message after its postmark line, up to the
// line break before the next one, whether a blank line comes before it or
// not, as Python's mailbox reads it.
struct MboxScan {
  std::vector<MessagePlace> places;
  std::vector<std::size_t> withoutBlankLine;  // messages (from 1) whose postmark had no blank line before it
  std::string problem;                        // why the file could not be read; then no places
  FileTable::Stamp stamp;                     // the file as it was scanned
};
// A file's stamp as it is now; nullopt when it cannot be looked at.
std::optional<FileTable::Stamp> StampOfFile(const std::filesystem::path& file);
// map false reads the file as a stream, as where it cannot be mapped.
MboxScan ScanMbox(const std::filesystem::path& file, std::uint32_t fileIndex, bool map = true);
// An mbox message's bytes: ">From " lines (mboxrd) lose one ">".
std::string UnescapeMbox(std::string bytes);

// Makes an item of a message's bytes (GMime); a corrupt item when they are
// no mail (corrupt, when given, tells which).
// note hears what was read in a way worth telling (a charset nobody knows),
// when the content is read.
std::shared_ptr<Sim::SimItem> MakeItem(const std::shared_ptr<Sim::SimWorld>& world, std::string bytes,
                                       std::u16string entryId, FolderRole role,
                                       const std::shared_ptr<Sim::SimFolder>& folder, bool* corrupt = nullptr,
                                       std::function<void(std::string)> note = {});

}  // namespace CV::MailStore
