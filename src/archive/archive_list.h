// CArchiveList: the archive list ("Archivierungsliste"), the mails collected
// for the next archive, grouped by folder path, with their selected flags.
//
// Locks: the map lock guards the four maps and is held across the Outlook
// calls of one AddFolder or AddMails; the counter lock guards only the three
// counters, so the ribbon can read them while a job holds the map lock. When
// both are held the map lock comes first. Both are recursive.
#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "export/mail_export.h"
#include "foundation/interface_table.h"
#include "foundation/lifetime.h"
#include "foundation/progress.h"
#include "outlook/wrappers.h"

namespace CV {

class CArchiveList {
 public:
  using MailMap = std::map<std::u16string, bool>;

  // The table is owned jointly: a worker left to unwind may still use it.
  explicit CArchiveList(std::shared_ptr<IInterfaceTable> table = ProcessLifetime(DefaultInterfaceTable()));
  ~CArchiveList();
  CArchiveList(const CArchiveList&) = delete;
  CArchiveList& operator=(const CArchiveList&) = delete;

  // Parks the application in the interface table (replacing an earlier
  // registration); null revokes it.
  HRESULT SetApplication(const ObjectPtr& application);
  // The application usable on the calling thread, or an empty wrapper.
  Outlook::Application GetApplication();

  // Adds the mails of one folder (nothing for a non-mail or excluded
  // folder); false when the progress sink asked to stop. Items that cannot
  // be read count as inaccessible.
  bool AddFolder(const Outlook::Folder& folder, int& inaccessible, Progress::IAbsProgress* progress);
  // The folder, then its subfolders depth first; a cancel travels up.
  bool AddFoldersRecursive(const Outlook::Folder& folder, int& inaccessible, Progress::IAbsProgress* progress);
  // Files the mails under the folder and selects them.
  bool AddMails(const Outlook::Folder& folder, const std::vector<Outlook::MailItem>& mails, int& inaccessible,
                Progress::IAbsProgress* progress);

  void SetExcludedFolders(const std::vector<std::u16string>& paths);
  void Clear();
  void UpdateCounts();

  int GetSelectedMailCount() const;
  int GetTotalMailCount() const;
  int GetFolderCount() const;

  // Appends the folder paths in order, with "%<count>" when withCounts.
  void GetFolderPaths(std::vector<std::u16string>& out, bool withCounts);
  // The selected mails of a folder and its StoreID; nothing without application.
  void GetSelectedMailIds(const std::u16string& path, std::vector<std::u16string>& ids, std::u16string& storeId);
  // The folder's mail table for the refine dialog: one row per mail, in
  // EntryID order, of 8 columns (EntryID, selected, importance, has
  // attachments, sender, subject, date, size), the display fields read
  // through a header-only export. Empty for a path not in the list, without
  // application, and when any Outlook call fails.
  Variant GetFolderMailTable(const std::u16string& path, const Office::MailExportPorts& ports);
  // Writes a table's selected flags (columns 0 and 1) into the folder's mails.
  void ApplySelection(const std::u16string& path, const Variant& table);

  // For the UI thread, which must never wait for the map lock while a job
  // holds it across Outlook calls that only the UI thread can serve:
  // - the table is written now when the lock is free, else by the thread
  //   that holds it, as it takes or lets go of it (before anyone reads the
  //   selection again); the call never waits;
  void ApplySelectionSoon(const std::u16string& path, const Variant& table);
  // - null while another thread holds the map lock.
  std::optional<Variant> TryGetFolderMailTable(const std::u16string& path, const Office::MailExportPorts& ports);
  bool TryGetFolderPaths(std::vector<std::u16string>& out, bool withCounts);
  // Opens a listed mail in Outlook, modally. Failures are swallowed, and
  // while another thread holds the map lock nothing opens (the UI thread
  // never waits for it).
  void ShowMail(const std::u16string& path, const std::u16string& entryId);

  // Every leading backslash removed.
  static std::u16string NormalizeFolderPath(std::u16string_view path);

  // For tests and diagnostics: whether the map lock is free, tried from a
  // thread of its own (the lock is recursive, so the caller's own hold
  // counts as taken too).
  bool MapLockIsFree();
  std::vector<std::u16string> ExcludedFolders();

 private:
  class MapMutex;
  // Writes the folder's ids (under the map lock) and returns its mail map.
  MailMap& EnterFolder(const Outlook::Folder& folder, const std::u16string& path);
  // Rethrows the failure of abandoned work after releasing the lock.
  void EndOfFailedWork(std::unique_lock<MapMutex>& lock, std::exception_ptr failure);

  std::shared_ptr<IInterfaceTable> m_table;
  std::uint32_t m_applicationCookie = 0;
  std::map<std::u16string, std::unique_ptr<MailMap>> m_folderMails;
  std::map<std::u16string, std::u16string> m_folderEntryIds;
  std::map<std::u16string, std::u16string> m_folderStoreIds;
  std::map<std::u16string, bool> m_excludedFolders;
  // The map lock: recursive. Tables queued by ApplySelectionSoon are
  // written by whoever takes the lock next or lets go of it.
  class MapMutex {
   public:
    explicit MapMutex(CArchiveList& list) : m_list(list) {}
    void lock();
    bool try_lock();
    void unlock();

   private:
    CArchiveList& m_list;
    std::recursive_mutex m_mutex;
    int m_depth = 0;  // changed by the holder only
  };
  friend class MapMutex;
  // Under the map lock: writes the queued tables.
  void WriteDeferred();
  bool HasDeferred();

  MapMutex m_mapLock{*this};
  std::mutex m_deferredLock;  // guards m_deferred only
  std::vector<std::pair<std::u16string, Variant>> m_deferred;
  mutable std::recursive_mutex m_countLock;
  int m_selectedMailCount = 0;
  int m_totalMailCount = 0;
  int m_folderCount = 0;
};

}  // namespace CV
