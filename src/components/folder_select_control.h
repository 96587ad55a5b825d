// Our own implementation of the vendor's folder-tree control: it lists Outlook's
// folders from the application it is given, shows the folders of the
// stored "ExcludeFolder" value as marked, lets a caller mark and unmark
// folders, and through Outlook's PropertyPage interface reports a change
// (Dirty) and writes the value on Apply, under the add-in's settings key
// ("Software\Corvanworks\Corvane\...") it was given.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/object.h"
#include "foundation/settings.h"

namespace CV::Components {

class CFolderSelectControl final : public IObject, public std::enable_shared_from_this<CFolderSelectControl> {
 public:
  explicit CFolderSelectControl(ISettings& settings) : m_settings(settings) {}

  ObjectPtr QueryInterface(const Guid& iid) override;
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override;
  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override;
  void Unadvise(std::uint32_t cookie) override;

  // What a user does: Outlook's folders as FullFolderPath gives them, and
  // the marks.
  std::vector<std::u16string> FolderPaths() const;
  std::set<std::u16string> Marked() const;
  // False for a folder the tree does not show.
  bool Mark(const std::u16string& folderPath, bool marked);
  std::int32_t Mode() const;

 private:
  void Load();

  ISettings& m_settings;
  mutable std::mutex m_mutex;
  ObjectPtr m_application;
  std::int32_t m_mode = 0;
  std::u16string m_settingsKey;
  std::vector<std::u16string> m_folders;
  std::set<std::u16string> m_marked;
  bool m_dirty = false;
};

}  // namespace CV::Components
