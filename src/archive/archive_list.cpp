#include "archive/archive_list.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "archive/progress_throttle.h"
#include "foundation/abandon.h"
#include "foundation/com_error.h"
#include "foundation/debug_trace.h"
#include "foundation/format.h"

namespace CV {

CArchiveList::CArchiveList(std::shared_ptr<IInterfaceTable> table) : m_table(std::move(table)) {}

CArchiveList::~CArchiveList() {
  Clear();
  if (m_applicationCookie != 0) m_table->Revoke(m_applicationCookie);  // nothing to do about a failure here
}

std::u16string CArchiveList::NormalizeFolderPath(std::u16string_view path) {
  while (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
  return std::u16string(path);
}

HRESULT CArchiveList::SetApplication(const ObjectPtr& application) {
  if (application) {
    if (m_applicationCookie != 0) {
      if (const HRESULT hr = m_table->Revoke(m_applicationCookie); Failed(hr)) return hr;
      m_applicationCookie = 0;
    }
    return m_table->Register(application, Outlook::Iid::Application, m_applicationCookie);
  }
  if (m_applicationCookie != 0 && Succeeded(m_table->Revoke(m_applicationCookie))) m_applicationCookie = 0;
  return S_OK;
}

Outlook::Application CArchiveList::GetApplication() {
  if (m_applicationCookie == 0) return {};
  ObjectPtr application;
  if (Failed(m_table->Fetch(m_applicationCookie, Outlook::Iid::Application, application))) return {};
  return Outlook::Application(application);
}

CArchiveList::MailMap& CArchiveList::EnterFolder(const Outlook::Folder& folder, const std::u16string& path) {
  // Both ids are read before any map is written, so the three maps keep the
  // same folders even when Outlook fails in between.
  std::u16string entryId = folder.EntryID();
  std::u16string storeId = folder.StoreID();
  m_folderEntryIds[path] = std::move(entryId);
  m_folderStoreIds[path] = std::move(storeId);
  auto& mails = m_folderMails[path];
  if (!mails) mails = std::make_unique<MailMap>();
  return *mails;
}

namespace {

// Handles item k of n under the per-item guard: a failure counts the item as
// inaccessible and the walk goes on without a progress step for it. Returns
// false when the progress sink asked to stop. Abandoned work unwinds.
template <class Handle>
bool ForEachItem(std::size_t n, bool oneBased, CProgressThrottle& throttle, int& inaccessible, Handle handle) {
  for (std::size_t k = 0; k < n; ++k) {
    try {
      handle(k);
      if (!throttle.Step(oneBased ? k + 1 : k, n)) return false;
    } catch (...) {
      if (IsAbandoned()) throw;
      ++inaccessible;
    }
  }
  return true;
}

}  // namespace

void CArchiveList::EndOfFailedWork(std::unique_lock<MapMutex>& lock, std::exception_ptr failure) {
  // Work that failed is left as far as it got; abandoned work unwinds.
  if (IsAbandoned()) {
    lock.unlock();
    UpdateCounts();
    std::rethrow_exception(failure);
  }
}

bool CArchiveList::AddFolder(const Outlook::Folder& folder, int& inaccessible, Progress::IAbsProgress* progress) {
  std::unique_lock lock(m_mapLock);
  bool goOn = true;
  try {
    const std::u16string path = NormalizeFolderPath(folder.FullFolderPath());
    DebugTrace(Format(u"AddFolder: %s\r\n", path));
    // Neither a non-mail folder nor an excluded one is touched, and the
    // counters stay as they are.
    if (folder.DefaultItemType() != Outlook::olMailItem) return true;
    if (m_excludedFolders.count(path)) return true;
    DebugTrace(Format(u"AddFolder: %s added\r\n", path));
    MailMap& mails = EnterFolder(folder, path);
    const Outlook::Items items = folder.Items();
    CProgressThrottle throttle(progress);
    throttle.SetText(path);
    const std::int32_t n = items.Count();  // once per folder; every item by index
    goOn = ForEachItem(static_cast<std::size_t>(std::max(n, 0)), true, throttle, inaccessible, [&](std::size_t k) {
      const auto mail = Outlook::Query<Outlook::MailItem>(items.Item(static_cast<std::int32_t>(k + 1)));
      if (mail) mails[mail.EntryID()] = true;  // other items pass silently
    });
  } catch (...) {
    EndOfFailedWork(lock, std::current_exception());
  }
  UpdateCounts();
  return goOn;
}

bool CArchiveList::AddFoldersRecursive(const Outlook::Folder& folder, int& inaccessible,
                                       Progress::IAbsProgress* progress) {
  if (!AddFolder(folder, inaccessible, progress)) return false;
  try {
    const Outlook::Folders folders = folder.Folders();
    for (std::int32_t i = 1; i <= folders.Count(); ++i)
      if (!AddFoldersRecursive(folders.Item(i), inaccessible, progress)) return false;
  } catch (...) {
    // The subtree is not walked further; the parent goes on.
    if (IsAbandoned()) throw;
  }
  return true;
}

bool CArchiveList::AddMails(const Outlook::Folder& folder, const std::vector<Outlook::MailItem>& mails,
                            int& inaccessible, Progress::IAbsProgress* progress) {
  std::unique_lock lock(m_mapLock);
  bool goOn = true;
  try {
    const std::u16string path = NormalizeFolderPath(folder.FullFolderPath());
    MailMap& map = EnterFolder(folder, path);
    CProgressThrottle throttle(progress);
    throttle.SetText(path);
    goOn = ForEachItem(mails.size(), false, throttle, inaccessible, [&](std::size_t k) {
      const Outlook::MailItem& mail = mails[k];
      if (!mail) ThrowComError(E_POINTER);
      mail.SenderEmailAddress();  // the accessibility test
      map[mail.EntryID()] = true;
    });
  } catch (...) {
    EndOfFailedWork(lock, std::current_exception());
  }
  UpdateCounts();
  return goOn;
}

void CArchiveList::SetExcludedFolders(const std::vector<std::u16string>& paths) {
  std::lock_guard lock(m_mapLock);
  m_excludedFolders.clear();
  for (const auto& path : paths) m_excludedFolders[NormalizeFolderPath(path)] = true;
}

void CArchiveList::Clear() {
  {
    std::lock_guard lock(m_mapLock);
    m_folderMails.clear();
    m_folderEntryIds.clear();
    m_folderStoreIds.clear();
  }
  UpdateCounts();
}

void CArchiveList::UpdateCounts() {
  int folders = 0, total = 0, selected = 0;
  {
    std::lock_guard lock(m_mapLock);
    folders = static_cast<int>(m_folderMails.size());
    for (const auto& [path, mails] : m_folderMails) {
      total += static_cast<int>(mails->size());
      for (const auto& [id, isSelected] : *mails) selected += isSelected;
    }
  }
  std::lock_guard lock(m_countLock);
  m_selectedMailCount = selected;
  m_totalMailCount = total;
  m_folderCount = folders;
}

int CArchiveList::GetSelectedMailCount() const {
  std::lock_guard lock(m_countLock);
  return m_selectedMailCount;
}

int CArchiveList::GetTotalMailCount() const {
  std::lock_guard lock(m_countLock);
  return m_totalMailCount;
}

int CArchiveList::GetFolderCount() const {
  std::lock_guard lock(m_countLock);
  return m_folderCount;
}

void CArchiveList::GetFolderPaths(std::vector<std::u16string>& out, bool withCounts) {
  std::lock_guard lock(m_mapLock);
  for (const auto& [path, entryId] : m_folderEntryIds) {
    std::u16string entry = path;
    if (withCounts) {
      const auto it = m_folderMails.find(path);
      if (it != m_folderMails.end()) entry += Format(u"%%%d", static_cast<int>(it->second->size()));
    }
    out.push_back(std::move(entry));
  }
}

void CArchiveList::GetSelectedMailIds(const std::u16string& rawPath, std::vector<std::u16string>& ids,
                                      std::u16string& storeId) {
  std::lock_guard lock(m_mapLock);
  if (!GetApplication()) return;
  ids.clear();
  const std::u16string path = NormalizeFolderPath(rawPath);
  const auto store = m_folderStoreIds.find(path);
  if (store == m_folderStoreIds.end()) return;
  storeId = store->second;
  const auto mails = m_folderMails.find(path);
  if (mails == m_folderMails.end()) return;
  for (const auto& [id, selected] : *mails->second)
    if (selected) ids.push_back(id);
}

Variant CArchiveList::GetFolderMailTable(const std::u16string& rawPath, const Office::MailExportPorts& ports) {
  std::lock_guard lock(m_mapLock);
  const Outlook::Application application = GetApplication();
  if (!application) return {};
  const std::u16string path = NormalizeFolderPath(rawPath);
  const auto store = m_folderStoreIds.find(path);
  const auto entry = m_folderEntryIds.find(path);
  const auto mails = m_folderMails.find(path);
  if (store == m_folderStoreIds.end() || entry == m_folderEntryIds.end() || mails == m_folderMails.end()) return {};
  try {
    auto table = SafeArray::Create2D(8, static_cast<std::uint32_t>(mails->second->size()));
    const Outlook::NameSpace session = application.GetNamespace(u"MAPI");
    Office::CMailExport converter(ports);
    std::int32_t row = 0;
    for (const auto& [id, selected] : *mails->second) {
      const Outlook::MailItem mail = Outlook::Query<Outlook::MailItem>(session.GetItemFromID(id, store->second));
      if (!mail) continue;
      const Vendor::EMail email = converter.Export(mail, true);
      if (!email) continue;
      table->At({0, row}) = Variant::FromBstr(Bstr(id));
      table->At({1, row}) = Variant::FromBool(selected);
      table->At({2, row}) = email.Importance();
      table->At({3, row}) = Variant::FromI4(mail.Attachments().Count()).ChangeType(VarType::Bool);
      table->At({4, row}) = Variant::FromBstr(Bstr(email.From()));
      table->At({5, row}) = Variant::FromBstr(Bstr(email.Subject()));
      table->At({6, row}) = email.Date();
      table->At({7, row}) = email.Size();
      ++row;
    }
    if (row < static_cast<std::int32_t>(mails->second->size())) table->Redim(static_cast<std::uint32_t>(row));
    return Variant::FromArray(table);
  } catch (...) {
    // A mail that cannot be read spoils the whole table.
    if (IsAbandoned()) throw;
    return {};
  }
}

void CArchiveList::ShowMail(const std::u16string& rawPath, const std::u16string& entryId) {
  try {
    const Outlook::Application application = GetApplication();
    if (!application) return;
    std::u16string storeId;
    {
      // For the lookup only, and never waited for: Outlook is called without it.
      std::unique_lock lock(m_mapLock, std::try_to_lock);
      if (!lock) return;
      const auto store = m_folderStoreIds.find(NormalizeFolderPath(rawPath));
      if (store == m_folderStoreIds.end()) return;
      storeId = store->second;
    }
    const auto mail = Outlook::Query<Outlook::MailItem>(application.GetNamespace(u"MAPI").GetItemFromID(entryId, storeId));
    if (mail) mail.Display(true);
  } catch (...) {
    // Outlook's failures to open the mail are not shown.
  }
}

void CArchiveList::ApplySelection(const std::u16string& rawPath, const Variant& table) {
  std::lock_guard lock(m_mapLock);
  if (table.Type() != VarType::ArrayOfVariant || !table.AsArray()) return;
  const SafeArray& array = *table.AsArray();
  const auto mails = m_folderMails.find(NormalizeFolderPath(rawPath));
  if (array.Dimensions() < 2 || mails == m_folderMails.end()) return;
  const std::int32_t column = array.LowerBound(1);
  if (array.UpperBound(1) - column < 2) return;
  try {
    for (std::int32_t r = array.LowerBound(2); r <= array.UpperBound(2); ++r) {
      const Variant& idCell = array.At({column, r});
      const std::u16string id = idCell.ChangeType(VarType::Bstr).AsText();
      const auto mail = mails->second->find(id);
      if (mail == mails->second->end()) continue;
      const Variant& flag = array.At({column + 1, r});
      mail->second = flag.Type() == VarType::Bool ? flag.AsBool() : flag.ChangeType(VarType::Bool).AsBool();
    }
  } catch (...) {
    // The loop ends early; the counts still follow what was written.
  }
  UpdateCounts();
}

void CArchiveList::MapMutex::lock() {
  m_mutex.lock();
  if (++m_depth == 1) m_list.WriteDeferred();
}

bool CArchiveList::MapMutex::try_lock() {
  if (!m_mutex.try_lock()) return false;
  if (++m_depth == 1) m_list.WriteDeferred();
  return true;
}

void CArchiveList::MapMutex::unlock() {
  if (m_depth == 1) m_list.WriteDeferred();
  const bool released = --m_depth == 0;  // read before letting go: another holder changes it
  m_mutex.unlock();
  // A table queued while this thread let go: written now if the lock is free.
  if (released && m_list.HasDeferred() && try_lock()) unlock();
}

bool CArchiveList::HasDeferred() {
  std::lock_guard lock(m_deferredLock);
  return !m_deferred.empty();
}

void CArchiveList::WriteDeferred() {
  std::vector<std::pair<std::u16string, Variant>> tables;
  {
    std::lock_guard lock(m_deferredLock);
    tables.swap(m_deferred);
  }
  for (const auto& [path, table] : tables) ApplySelection(path, table);
}

void CArchiveList::ApplySelectionSoon(const std::u16string& path, const Variant& table) {
  {
    std::lock_guard lock(m_deferredLock);
    m_deferred.emplace_back(path, table);
  }
  if (m_mapLock.try_lock()) {
    WriteDeferred();  // also where this thread holds the lock already
    m_mapLock.unlock();
  }
}

std::optional<Variant> CArchiveList::TryGetFolderMailTable(const std::u16string& path,
                                                            const Office::MailExportPorts& ports) {
  std::unique_lock lock(m_mapLock, std::try_to_lock);
  if (!lock) return std::nullopt;
  return GetFolderMailTable(path, ports);
}

bool CArchiveList::TryGetFolderPaths(std::vector<std::u16string>& out, bool withCounts) {
  std::unique_lock lock(m_mapLock, std::try_to_lock);
  if (!lock) return false;
  GetFolderPaths(out, withCounts);
  return true;
}

bool CArchiveList::MapLockIsFree() {
  bool free = false;
  std::thread([&] {
    free = m_mapLock.try_lock();
    if (free) m_mapLock.unlock();
  }).join();
  return free;
}

std::vector<std::u16string> CArchiveList::ExcludedFolders() {
  std::lock_guard lock(m_mapLock);
  std::vector<std::u16string> paths;
  for (const auto& [path, excluded] : m_excludedFolders) paths.push_back(path);
  return paths;
}

}  // namespace CV
