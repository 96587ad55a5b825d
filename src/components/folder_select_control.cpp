#include "components/folder_select_control.h"

#include <algorithm>
#include <functional>

#include "foundation/com_error.h"
#include "outlook/wrappers.h"
#include "vendor/selection_controls.h"

namespace CV::Components {
namespace {

constexpr Guid kDispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");
constexpr std::u16string_view kRoot = u"Software\\Corvanworks\\Corvane\\";

void Walk(const Outlook::Folder& folder, std::vector<std::u16string>& out) {
  out.push_back(folder.FullFolderPath());
  const Outlook::Folders children = folder.Folders();
  for (std::int32_t i = 1; i <= children.Count(); ++i) Walk(children.Item(i), out);
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
    if (name != u"Mode") Load();
    return {};
  }
  if (name == u"Dirty") return Variant::FromBool(m_dirty);
  if (name == u"Apply") {
    std::u16string lines;
    for (const std::u16string& path : m_marked) lines += path + u"\r\n";
    std::unique_ptr<ISettingsKey> key;
    if (const std::int32_t error = m_settings.OpenUserKey(std::u16string(kRoot) + m_settingsKey, key))
      ThrowComError(HResultFromWin32(error), Vendor::PropertyPage::kIid);
    if (const std::int32_t error = key->WriteValue(u"ExcludeFolder", RegType::Sz, RegistryString(lines)))
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

// The tree of every store, and the marks of the stored value.
void CFolderSelectControl::Load() {
  m_folders.clear();
  m_marked.clear();
  if (m_application) {
    const Outlook::Stores stores = Outlook::Application(m_application).Session().Stores();
    for (std::int32_t i = 1; i <= stores.Count(); ++i) Walk(stores.Item(i).GetRootFolder(), m_folders);
  }
  if (m_settingsKey.empty()) return;
  std::unique_ptr<ISettingsKey> key;
  std::vector<std::uint8_t> data;
  if (m_settings.OpenUserKey(std::u16string(kRoot) + m_settingsKey, key) != 0 ||
      key->QueryValueData(u"ExcludeFolder", data) != 0)
    return;
  for (std::u16string& path : NonEmptyLines(RegistryText(data))) m_marked.insert(std::move(path));
}

std::vector<std::u16string> CFolderSelectControl::FolderPaths() const {
  std::lock_guard lock(m_mutex);
  return m_folders;
}

std::set<std::u16string> CFolderSelectControl::Marked() const {
  std::lock_guard lock(m_mutex);
  return m_marked;
}

bool CFolderSelectControl::Mark(const std::u16string& folderPath, bool marked) {
  std::lock_guard lock(m_mutex);
  if (std::find(m_folders.begin(), m_folders.end(), folderPath) == m_folders.end()) return false;
  const bool changed = marked ? m_marked.insert(folderPath).second : m_marked.erase(folderPath) > 0;
  m_dirty = m_dirty || changed;
  return true;
}

std::int32_t CFolderSelectControl::Mode() const {
  std::lock_guard lock(m_mutex);
  return m_mode;
}

}  // namespace CV::Components
