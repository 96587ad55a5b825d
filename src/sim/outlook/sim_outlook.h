// The simulated Outlook: stores with default folders, folder trees, mail and
// non-mail items, explorers with selections and events, and the ribbon
// objects of Office. Built with a readable API:
//
//   SimOutlook outlook;
//   auto store = outlook.AddStore(u"Persönliche Ordner");
//   auto inbox = store->DefaultFolder(olFolderInbox);
//   inbox->AddMails(5);
//   inbox->AddItems(ItemKind::MeetingRequest, 2);
//   auto explorer = outlook.OpenExplorer(inbox);
//
// Every object can fail any member on demand (SimObject::Fail) and counts
// its calls. Objects hold their parents weakly; a call that needs a parent
// that is gone fails with RPC_E_DISCONNECTED.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "outlook/outlook_ids.h"
#include "sim/outlook/sim_object.h"

namespace CV::Sim {

class SimApplication;
class SimCollection;
class SimFolder;
class SimNameSpace;
class SimStore;

enum class ItemKind { Mail, MeetingRequest, Contact, Appointment, Report, Task };

class SimItem;

// Items a folder makes only when they are asked for, such as the mails of a
// store on disk: the folder keeps their count and finds them by EntryID,
// and each request makes a new item object (as Outlook hands out a new
// object for every request).
class ISimItemSource {
 public:
  virtual ~ISimItemSource() = default;
  virtual std::size_t Count() const = 0;
  // Item i (0-based) as a new object in folder.
  virtual std::shared_ptr<SimItem> Make(std::size_t i, const std::shared_ptr<SimFolder>& folder) = 0;
  virtual std::optional<std::size_t> Find(std::u16string_view entryId) const = 0;
};

// A MAPI property store for the PropertyAccessor: properties by their
// proptag schema name; an unknown one answers MAPI_E_NOT_FOUND.
class SimPropertyAccessor : public SimObject {
 public:
  using Getter = std::function<Variant()>;
  using Setter = std::function<void(const Variant&)>;
  SimPropertyAccessor(std::shared_ptr<SimWorld> world);
  void Property(std::u16string schemaName, Getter get, Setter set = nullptr);
  // The item does not have it: GetProperty answers MAPI_E_NOT_FOUND, as for
  // a property a real store never set.
  void Remove(std::u16string_view schemaName);

 private:
  std::map<std::u16string, std::pair<Getter, Setter>, std::less<>> m_properties;
};

class SimAttachment : public SimObject {
 public:
  SimAttachment(std::shared_ptr<SimWorld> world, std::weak_ptr<SimItem> parent, std::u16string fileName,
                std::string bytes, std::int32_t type);
  void Build();

  std::u16string fileName;
  std::string bytes;
  std::int32_t type;
  std::u16string contentId;  // PR_ATTACH_CONTENT_ID
  std::int32_t flags = 0;    // PR_ATTACH_FLAGS
  const std::shared_ptr<SimPropertyAccessor>& Accessor() const noexcept { return m_accessor; }

 private:
  std::weak_ptr<SimItem> m_parent;
  std::shared_ptr<SimPropertyAccessor> m_accessor;
};

class SimItem : public SimObject {
 public:
  SimItem(std::shared_ptr<SimWorld> world, ItemKind kind, std::u16string entryId, std::u16string subject);
  void Build(std::weak_ptr<SimFolder> folder);
  ItemKind Kind() const noexcept { return m_kind; }
  const std::u16string& EntryId() const noexcept { return m_entryId; }
  std::shared_ptr<SimFolder> Folder() const { return m_folder.lock(); }

  // A real attachment; an inline picture is one with a content id that the
  // HTML body refers to as "cid:<id>".
  std::shared_ptr<SimAttachment> AddAttachment(std::u16string fileName, std::string bytes,
                                               std::int32_t type = Outlook::olByValue);
  std::shared_ptr<SimAttachment> AddInlinePicture(std::u16string fileName, std::string bytes, std::u16string contentId);
  // What Size reports: the set size, else the content's length.
  std::int32_t SizeNow() const;
  const std::shared_ptr<SimPropertyAccessor>& Accessor() const noexcept { return m_accessor; }
  // Reads the body and attachments the first time they are asked for.
  void SetContentLoader(std::function<void(SimItem&)> loader) { m_contentLoader = std::move(loader); }

  std::u16string subject;
  std::u16string senderEmailAddress = u"absender@example.org";
  std::u16string to = u"Empfänger", cc, bcc;
  std::u16string senderName = u"Absender", sentOnBehalfOfName = u"Absender", receivedByName = u"Empfänger";
  std::int32_t bodyFormat = Outlook::olFormatHTML;
  std::u16string htmlBody = u"<html><body><p>Guten Tag.</p></body></html>";
  std::u16string body = u"Guten Tag.";
  std::int32_t importance = Outlook::olImportanceNormal;
  std::int32_t securityFlags = 0;  // PR_SECURITY_FLAGS: 1 encrypted, 2 signed
  std::int32_t size = -1;          // -1: from the content
  double receivedTime = 46000.5, sentOn = 46000.4, creationTime = 46000.3;  // OLE dates
  bool sent = true, submitted = true;
  bool savesAsUnicode = false;  // SaveAs writes UTF-16 with a byte order mark, as for Unicode mails
  std::atomic<int> modalDisplays{0};  // Display(True): Outlook returns when the user closed the mail
  std::vector<std::shared_ptr<SimAttachment>> attachments;

 private:
  void EnsureContent();
  void SaveAsHtml(const std::u16string& path);
  std::shared_ptr<SimItem> CopyInto(const std::shared_ptr<SimFolder>& folder);
  void MoveTo(const std::shared_ptr<SimFolder>& folder);

  ItemKind m_kind;
  std::u16string m_entryId;
  std::weak_ptr<SimFolder> m_folder;
  std::shared_ptr<SimPropertyAccessor> m_accessor;
  std::shared_ptr<SimCollection> m_attachmentsObject;
  std::function<void(SimItem&)> m_contentLoader;
};

// The document SaveAs writes in HTML format for item, as an Outlook in
// language writes it: the header fields as long styled paragraphs, then the
// body, the inline pictures referenced as "<imageFolder>/image001.png" and so
// on. pictures receives the file names and contents to write into the image
// folder.
std::string SavedHtml(const SimItem& item, std::u16string_view imageFolder,
                      std::vector<std::pair<std::u16string, std::string>>& pictures,
                      SimWorld::Language language = SimWorld::Language::German);

// An Outlook collection (Items, Folders, Stores, ...) over a list that its
// owner keeps: Count and a 1-based Item, read afresh on every call.
class SimCollection : public SimObject {
 public:
  struct Access {
    std::function<std::size_t()> count;
    std::function<ObjectPtr(std::size_t)> at;  // 0-based
  };
  SimCollection(std::shared_ptr<SimWorld> world, Guid iid, Access access);
  void SourcesEvents(const Guid& eventsIid) { Sources(eventsIid); }
};

class SimFolder : public SimObject {
 public:
  SimFolder(std::shared_ptr<SimWorld> world, std::weak_ptr<SimStore> store, std::weak_ptr<SimFolder> parent,
            std::u16string name, std::int32_t itemType);
  void Build();  // called once the object is owned

  std::shared_ptr<SimItem> AddMail(std::u16string subject = {});
  std::vector<std::shared_ptr<SimItem>> AddMails(int count);
  std::vector<std::shared_ptr<SimItem>> AddItems(ItemKind kind, int count);
  std::shared_ptr<SimFolder> AddFolder(std::u16string name, std::int32_t itemType = Outlook::olMailItem);

  std::u16string FullFolderPath() const;
  const std::u16string& Name() const noexcept { return m_name; }
  const std::u16string& EntryId() const noexcept { return m_entryId; }
  std::u16string StoreId() const;
  std::int32_t ItemType() const noexcept { return m_itemType; }
  const std::vector<std::shared_ptr<SimItem>>& ItemList() const noexcept { return m_items; }
  const std::vector<std::shared_ptr<SimFolder>>& SubFolders() const noexcept { return m_folders; }
  // The Items and Folders collections (one object each, as tests fault them).
  const std::shared_ptr<SimCollection>& ItemsObject() const noexcept { return m_itemsObject; }
  const std::shared_ptr<SimCollection>& FoldersObject() const noexcept { return m_foldersObject; }
  std::shared_ptr<SimItem> FindItem(std::u16string_view entryId);
  std::shared_ptr<SimStore> Store() const { return m_store.lock(); }
  void Rename(std::u16string name);
  void SetItemType(std::int32_t itemType);
  // Items beyond ItemList() that are made when asked for.
  void SetItemSource(std::shared_ptr<ISimItemSource> source);
  const std::shared_ptr<ISimItemSource>& ItemSource() const noexcept { return m_source; }
  std::size_t ItemCount() const;
  // Items come and go (Copy, Move, Delete); under the world's lock.
  void Adopt(std::shared_ptr<SimItem> item);
  void Release(const SimItem* item);

 private:
  std::weak_ptr<SimStore> m_store;
  std::weak_ptr<SimFolder> m_parent;
  std::u16string m_name;
  std::u16string m_entryId;
  std::int32_t m_itemType;
  std::vector<std::shared_ptr<SimItem>> m_items;
  std::vector<std::shared_ptr<SimFolder>> m_folders;
  std::shared_ptr<SimCollection> m_itemsObject;
  std::shared_ptr<SimCollection> m_foldersObject;
  std::shared_ptr<ISimItemSource> m_source;
};

class SimStore : public SimObject {
 public:
  SimStore(std::shared_ptr<SimWorld> world, std::u16string displayName, bool exchange);
  void Build();

  const std::u16string& DisplayName() const noexcept { return m_displayName; }
  const std::u16string& StoreId() const noexcept { return m_storeId; }
  const std::shared_ptr<SimFolder>& Root() const noexcept { return m_root; }
  // The default folder of an OlDefaultFolders type, or null.
  std::shared_ptr<SimFolder> DefaultFolder(std::int32_t type) const;
  void RemoveDefaultFolder(std::int32_t type);
  std::shared_ptr<SimItem> FindItem(std::u16string_view entryId) const;

 private:
  std::u16string m_displayName;
  std::u16string m_storeId;
  bool m_exchange;
  std::shared_ptr<SimFolder> m_root;
  std::map<std::int32_t, std::shared_ptr<SimFolder>> m_defaults;
};

class SimSelection : public SimObject {
 public:
  // items: what the explorer shows as selected; headers: the conversation
  // headers of a conversation view (each with its items).
  SimSelection(std::shared_ptr<SimWorld> world, std::weak_ptr<SimApplication> application,
               std::vector<ObjectPtr> items, std::vector<ObjectPtr> headers);
};

class SimConversationHeader : public SimObject {
 public:
  SimConversationHeader(std::shared_ptr<SimWorld> world, std::vector<ObjectPtr> items);
  const std::shared_ptr<SimCollection>& ItemsObject() const noexcept { return m_items; }

 private:
  std::shared_ptr<SimCollection> m_items;
};

class SimExplorer : public SimObject {
 public:
  SimExplorer(std::shared_ptr<SimWorld> world, std::weak_ptr<SimApplication> application,
              std::shared_ptr<SimFolder> current);

  // Selects items in a plain view and fires SelectionChange.
  void Select(std::vector<std::shared_ptr<SimItem>> items);
  // Selects conversations: each header with its items; fires SelectionChange.
  // An expanded conversation also shows its first item as a selected item; a
  // collapsed one shows the header alone.
  void SelectConversations(std::vector<std::vector<std::shared_ptr<SimItem>>> conversations, bool expanded = true);
  void SetCurrentFolder(std::shared_ptr<SimFolder> folder);
  // Fires Close and leaves the application's explorer list.
  void Close();

  const std::shared_ptr<SimSelection>& SelectionObject() const noexcept { return m_selection; }

 private:
  std::weak_ptr<SimApplication> m_application;
  std::shared_ptr<SimFolder> m_current;
  std::shared_ptr<SimSelection> m_selection;
};

class SimNameSpace : public SimObject {
 public:
  SimNameSpace(std::shared_ptr<SimWorld> world, std::weak_ptr<SimApplication> application);
  void Build();
  std::vector<std::shared_ptr<SimStore>> stores;
  const std::shared_ptr<SimCollection>& StoresObject() const noexcept { return m_stores; }

 private:
  std::shared_ptr<SimCollection> m_stores;
};

class SimApplication : public SimObject {
 public:
  SimApplication(std::shared_ptr<SimWorld> world, std::u16string version);
  void Build();

  std::u16string version;
  std::vector<std::shared_ptr<SimExplorer>> explorers;
  std::weak_ptr<SimExplorer> activeExplorer;
  const std::shared_ptr<SimNameSpace>& Session() const noexcept { return m_session; }
  const std::shared_ptr<SimCollection>& ExplorersObject() const noexcept { return m_explorers; }

 private:
  std::shared_ptr<SimNameSpace> m_session;
  std::shared_ptr<SimCollection> m_explorers;
};

class SimRibbonUI : public SimObject {
 public:
  explicit SimRibbonUI(std::shared_ptr<SimWorld> world);
  std::uint64_t Invalidations() const { return Calls("Invalidate"); }
};

class SimRibbonControl : public SimObject {
 public:
  SimRibbonControl(std::shared_ptr<SimWorld> world, std::u16string id, ObjectPtr context, std::u16string tag = {});
};

// The whole simulated Outlook and its builder.
class SimOutlook {
 public:
  explicit SimOutlook(std::u16string version = u"16.0.0.0");
  ~SimOutlook();

  std::shared_ptr<SimStore> AddStore(std::u16string displayName, bool exchange = false);
  // Opens an explorer window on folder, makes it active and fires NewExplorer.
  std::shared_ptr<SimExplorer> OpenExplorer(std::shared_ptr<SimFolder> folder);
  std::shared_ptr<SimRibbonUI> NewRibbonUI();
  std::shared_ptr<SimRibbonControl> NewRibbonControl(std::u16string id, ObjectPtr context, std::u16string tag = {});

  const std::shared_ptr<SimApplication>& Application() const noexcept { return m_application; }
  const std::shared_ptr<SimWorld>& World() const noexcept { return m_world; }
  // Objects of this Outlook still alive (the Outlook's own included).
  int LiveObjects() const { return m_world->LiveObjects().load(); }

 private:
  std::shared_ptr<SimWorld> m_world;
  std::shared_ptr<SimApplication> m_application;
};

}  // namespace CV::Sim
