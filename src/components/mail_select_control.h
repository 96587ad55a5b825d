// Our own implementation of the vendor's mail-selection control: it keeps the folder
// list and the table it was given, lets a caller (a test, the command line)
// pick a folder, switch mails on and off and open a mail, reports whether
// the shown table changed, and raises FolderSelected (DISPID 1) and
// MailOpen (DISPID 2) on its event interface.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/object.h"

namespace CV::Components {

class CMailSelectControl final : public IObject, public std::enable_shared_from_this<CMailSelectControl> {
 public:
  struct Folder {
    std::u16string path;
    std::int32_t count = 0;
  };
  // A row of the shown table as the user sees it.
  struct Row {
    std::u16string entryId, sender, subject;
    bool selected = false;
    std::int32_t importance = 0;  // as the e-mail object has it: 1 high, 0 any other
    bool attachments = false;
    double date = 0;  // OLE date, 0 when the table holds none
    std::int64_t size = 0;
  };

  ObjectPtr QueryInterface(const Guid& iid) override;
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override;
  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override;
  void Unadvise(std::uint32_t cookie) override;

  // What a user does.
  std::vector<Folder> Folders() const;
  // Picks a folder: FolderSelected goes out, then the folder is the shown one
  // and the table counts as unchanged.
  void SelectFolder(const std::u16string& path);
  std::vector<Row> Rows() const;
  // Switches a shown mail on or off; false when it is not in the table.
  bool SetSelected(std::u16string_view entryId, bool selected);
  // The same by row, as Rows() numbers them; rows out of range are skipped.
  void SetSelectedRows(const std::vector<std::size_t>& rows, bool selected);
  std::u16string CurrentFolder() const;
  void OpenMail(std::u16string_view entryId);
  std::size_t SinkCount() const;

 private:
  void Fire(std::int32_t dispid, std::vector<Variant> args);
  SafeArray* ShownTable() const;

  mutable std::mutex m_mutex;
  std::vector<Folder> m_folders;
  std::u16string m_current;
  Variant m_table;
  bool m_modified = false;
  std::map<std::uint32_t, std::shared_ptr<IEventSink>> m_sinks;
  std::uint32_t m_nextCookie = 0;
};

}  // namespace CV::Components
