#include "components/folder_select_control.h"

#include "outlook/excluded_folders.h"
#include "foundation/registry_key.h"
#include "foundation/com_error.h"
#include "contracts/selection_controls.h"

namespace CV::Components {
namespace {

constexpr Guid kDispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");

void Walk(const Outlook::Folder& folder, std::vector<std::u16string>& out) {
  out.push_back(folder.FullFolderPath());
  const Outlook::Folders children = folder.Folders();
  for (std::int32_t i = 1; i <= children.Count(); ++i) Walk(children.Item(i), out);
}

CFolderSelectControl::Node NodeOf(Outlook::Folder folder) {
  CFolderSelectControl::Node node{folder.Name(), folder.FullFolderPath(), folder, folder.Folders().Count() > 0};
  return node;
}

}  // namespace

ObjectPtr CFolderSelectControl::QueryInterface(const Guid& iid) {
  if (iid == kDispatch || iid == Vendor::Iid::CVFolderSelect || iid == Vendor::PropertyPage::kIid)
    return shared_from_this();
  return nullptr;
}

Variant CFolderSelectControl::Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) {
  std::unique_lock lock(m_mutex);
  if (kind == InvokeKind::PropertyPut) {
    if (args.size() != 1) ThrowComError(DISP_E_BADPARAMCOUNT, Vendor::Iid::CVFolderSelect);
    if (name == u"Application") m_application = args[0].AsObject();
    else if (name == u"Mode") m_mode = args[0].ChangeType(VarType::I4).AsInt32();
    else if (name == u"SettingsKey") m_settingsKey = args[0].ChangeType(VarType::Bstr).AsText();
    else ThrowComError(DISP_E_UNKNOWNNAME, Vendor::Iid::CVFolderSelect);
    if (name != u"Mode") LoadMarks();
    return {};
  }
  if (name == u"Dirty") return Variant::FromBool(m_dirty);
  if (name == u"Apply") {
    const std::vector<std::u16string> marked(m_marked.begin(), m_marked.end());
    if (const std::int32_t error =
            StoreExcludedFolders(m_settings, std::u16string(kRegistryKeyRoot) + m_settingsKey, marked))
      ThrowComError(HResultFromWin32(error), Vendor::PropertyPage::kIid);
    m_dirty = false;
    return {};
  }
  ThrowComError(DISP_E_UNKNOWNNAME, Vendor::Iid::CVFolderSelect);
}

std::uint32_t CFolderSelectControl::Advise(const Guid&, std::shared_ptr<IEventSink>) {
  ThrowComError(CONNECT_E_NOCONNECTION, Vendor::Iid::CVFolderSelect);
}
void CFolderSelectControl::Unadvise(std::uint32_t) { ThrowComError(CONNECT_E_NOCONNECTION, Vendor::Iid::CVFolderSelect); }

// The folders excluded in effect: a recursive add skips the default set
// while nothing is stored, so the tree shows that set marked.
void CFolderSelectControl::LoadMarks() {
  m_marked.clear();
  if (m_settingsKey.empty()) return;
  std::optional<std::vector<std::u16string>> paths =
      StoredExcludedFolders(m_settings, std::u16string(kRegistryKeyRoot) + m_settingsKey);
  if (!paths && m_application) paths = DefaultExcludedFolders(Outlook::Application(m_application));
  if (paths) m_marked.insert(paths->begin(), paths->end());
}

std::vector<CFolderSelectControl::Node> CFolderSelectControl::Roots() const {
  ObjectPtr application;
  {
    std::lock_guard lock(m_mutex);
    application = m_application;
  }
  std::vector<Node> nodes;
  if (!application) return nodes;
  const Outlook::Stores stores = Outlook::Application(application).Session().Stores();
  for (std::int32_t i = 1; i <= stores.Count(); ++i) nodes.push_back(NodeOf(stores.Item(i).GetRootFolder()));
  return nodes;
}

std::vector<CFolderSelectControl::Node> CFolderSelectControl::Children(const Outlook::Folder& folder) {
  std::vector<Node> nodes;
  const Outlook::Folders children = folder.Folders();
  for (std::int32_t i = 1; i <= children.Count(); ++i) nodes.push_back(NodeOf(children.Item(i)));
  return nodes;
}

std::vector<std::u16string> CFolderSelectControl::FolderPaths() const {
  std::vector<std::u16string> paths;
  for (const Node& root : Roots()) Walk(root.folder, paths);
  return paths;
}

bool CFolderSelectControl::IsMarked(const std::u16string& folderPath) const {
  std::lock_guard lock(m_mutex);
  return m_marked.count(folderPath) > 0;
}

std::set<std::u16string> CFolderSelectControl::Marked() const {
  std::lock_guard lock(m_mutex);
  return m_marked;
}

bool CFolderSelectControl::Mark(const std::u16string& folderPath, bool marked) {
  std::lock_guard lock(m_mutex);
  const bool changed = marked ? m_marked.insert(folderPath).second : m_marked.erase(folderPath) > 0;
  m_dirty = m_dirty || changed;
  return changed;
}

std::int32_t CFolderSelectControl::Mode() const {
  std::lock_guard lock(m_mutex);
  return m_mode;
}

}  // namespace CV::Components
