// Our own implementation of the vendor's folder-tree control: it lists Outlook's
// folders from the application it is given, a level at a time as a tree
// opens, shows the folders excluded in effect as marked (those of the
// stored "ExcludeFolder" value, or the default set while none is stored),
// lets a caller mark and unmark folders, and through Outlook's PropertyPage
// interface reports a change (Dirty) and writes the value on Apply, under
// the add-in's settings key ("Software\Corvanworks\Corvane\...") it was
// given.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/object.h"
#include "foundation/settings.h"
#include "outlook/wrappers.h"

namespace CV::Components {

class CFolderSelectControl final : public IObject, public std::enable_shared_from_this<CFolderSelectControl> {
 public:
  struct Node {
    std::u16string name, path;  // path as FullFolderPath gives it
    Outlook::Folder folder;
    bool hasChildren = false;
  };

  explicit CFolderSelectControl(ISettings& settings) : m_settings(settings) {}

  ObjectPtr QueryInterface(const Guid& iid) override;
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override;
  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override;
  void Unadvise(std::uint32_t cookie) override;

  // The tree: each store's root folder, and a folder's subfolders when it
  // opens. Outlook's failures come through as ComError.
  std::vector<Node> Roots() const;
  static std::vector<Node> Children(const Outlook::Folder& folder);
  // Every folder of every store, depth first.
  std::vector<std::u16string> FolderPaths() const;

  // What a user does: the marks.
  std::set<std::u16string> Marked() const;
  bool IsMarked(const std::u16string& folderPath) const;
  // True when the mark changed.
  bool Mark(const std::u16string& folderPath, bool marked);
  std::int32_t Mode() const;

 private:
  void LoadMarks();

  ISettings& m_settings;
  mutable std::mutex m_mutex;
  ObjectPtr m_application;
  std::int32_t m_mode = 0;
  std::u16string m_settingsKey;
  std::set<std::u16string> m_marked;
  bool m_dirty = false;
};

}  // namespace CV::Components
