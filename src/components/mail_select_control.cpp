#include "components/mail_select_control.h"

#include "foundation/com_error.h"
#include "contracts/selection_controls.h"

namespace CV::Components {
namespace {
constexpr Guid kDispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");
}

ObjectPtr CMailSelectControl::QueryInterface(const Guid& iid) {
  if (iid == kDispatch || iid == Vendor::Iid::CVMailSelect) return shared_from_this();
  return nullptr;
}

Variant CMailSelectControl::Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) {
  std::lock_guard lock(m_mutex);
  if (kind == InvokeKind::PropertyPut) {
    if (args.size() != 1) ThrowComError(DISP_E_BADPARAMCOUNT, Vendor::Iid::CVMailSelect);
    if (name == u"Folders") {
      m_folders.clear();
      const std::u16string lines = args[0].ChangeType(VarType::Bstr).AsText();
      std::size_t start = 0;
      while (start < lines.size()) {
        std::size_t end = lines.find(u"\r\n", start);
        if (end == std::u16string::npos) end = lines.size();
        const std::u16string line = lines.substr(start, end - start);
        start = end + 2;
        if (line.empty()) continue;
        const std::size_t percent = line.rfind(u'%');
        Folder folder{line.substr(0, percent), 0};
        if (percent != std::u16string::npos)
          for (char16_t c : line.substr(percent + 1)) folder.count = folder.count * 10 + (c - u'0');
        m_folders.push_back(folder);
      }
    } else if (name == u"Mails") {
      m_table = std::move(args[0]);
    } else {
      ThrowComError(DISP_E_UNKNOWNNAME, Vendor::Iid::CVMailSelect);
    }
    return {};
  }
  if (name == u"CurrentFolder") return Variant::FromBstr(Bstr(m_current));
  if (name == u"Modified") return Variant::FromBool(m_modified);
  if (name == u"Mails") return m_table;
  ThrowComError(DISP_E_UNKNOWNNAME, Vendor::Iid::CVMailSelect);
}

std::uint32_t CMailSelectControl::Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) {
  if (eventsIid != Vendor::Iid::CVMailSelectEvents) ThrowComError(CONNECT_E_NOCONNECTION, Vendor::Iid::CVMailSelect);
  std::lock_guard lock(m_mutex);
  m_sinks[++m_nextCookie] = std::move(sink);
  return m_nextCookie;
}

void CMailSelectControl::Unadvise(std::uint32_t cookie) {
  std::lock_guard lock(m_mutex);
  if (!m_sinks.erase(cookie)) ThrowComError(CONNECT_E_NOCONNECTION, Vendor::Iid::CVMailSelect);
}

std::size_t CMailSelectControl::SinkCount() const {
  std::lock_guard lock(m_mutex);
  return m_sinks.size();
}

void CMailSelectControl::Fire(std::int32_t dispid, std::vector<Variant> args) {
  std::vector<std::shared_ptr<IEventSink>> sinks;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& [cookie, sink] : m_sinks) sinks.push_back(sink);
  }
  for (const auto& sink : sinks) sink->OnEvent(dispid, args);  // outside the lock: the handler calls back
}

std::vector<CMailSelectControl::Folder> CMailSelectControl::Folders() const {
  std::lock_guard lock(m_mutex);
  return m_folders;
}

void CMailSelectControl::SelectFolder(const std::u16string& path) {
  Fire(Vendor::MailSelectEvent::FolderSelected, {Variant::FromBstr(Bstr(path))});
  std::lock_guard lock(m_mutex);
  m_current = path;
  m_modified = false;
}

// The table given, when it is one of rows (two dimensions); null otherwise.
// The caller holds the lock.
SafeArray* CMailSelectControl::ShownTable() const {
  const auto& array = m_table.Type() == VarType::ArrayOfVariant ? m_table.AsArray() : nullptr;
  return array && array->Dimensions() == 2 ? array.get() : nullptr;
}

std::vector<CMailSelectControl::Row> CMailSelectControl::Rows() const {
  std::lock_guard lock(m_mutex);
  std::vector<Row> rows;
  const SafeArray* array = ShownTable();
  if (!array) return rows;
  for (std::int32_t r = array->LowerBound(2); r <= array->UpperBound(2); ++r) {
    const auto text = [&](std::int32_t column) {
      const Variant& v = array->At({column, r});
      return v.Type() == VarType::Bstr ? v.AsText() : std::u16string();
    };
    const auto number = [&](std::int32_t column, VarType type) {
      try {
        return array->At({column, r}).ChangeType(type);
      } catch (const ComError&) {
        return Variant();
      }
    };
    const Variant& flag = array->At({1, r});
    Row row{text(0), text(4), text(5), flag.Type() == VarType::Bool && flag.AsBool()};
    if (const Variant v = number(2, VarType::I4); v.Type() == VarType::I4) row.importance = v.AsInt32();
    if (const Variant v = number(3, VarType::Bool); v.Type() == VarType::Bool) row.attachments = v.AsBool();
    if (const Variant& v = array->At({6, r}); v.Type() == VarType::Date) row.date = v.AsDouble();
    if (const Variant v = number(7, VarType::I4); v.Type() == VarType::I4) row.size = v.AsInt32();
    rows.push_back(std::move(row));
  }
  return rows;
}

void CMailSelectControl::SetSelectedRows(const std::vector<std::size_t>& rows, bool selected) {
  std::lock_guard lock(m_mutex);
  SafeArray* array = ShownTable();
  if (!array) return;
  const std::int32_t first = array->LowerBound(2), count = array->UpperBound(2) - first + 1;
  for (const std::size_t row : rows) {
    if (row >= static_cast<std::size_t>(count)) continue;
    array->At({1, first + static_cast<std::int32_t>(row)}) = Variant::FromBool(selected);
    m_modified = true;
  }
}

std::u16string CMailSelectControl::CurrentFolder() const {
  std::lock_guard lock(m_mutex);
  return m_current;
}

bool CMailSelectControl::SetSelected(std::u16string_view entryId, bool selected) {
  std::lock_guard lock(m_mutex);
  SafeArray* array = ShownTable();
  if (!array) return false;
  for (std::int32_t r = array->LowerBound(2); r <= array->UpperBound(2); ++r) {
    const Variant& id = array->At({0, r});
    if (id.Type() == VarType::Bstr && id.AsText() == entryId) {
      array->At({1, r}) = Variant::FromBool(selected);
      m_modified = true;
      return true;
    }
  }
  return false;
}

void CMailSelectControl::OpenMail(std::u16string_view entryId) {
  std::u16string folder;
  {
    std::lock_guard lock(m_mutex);
    folder = m_current;
  }
  Fire(Vendor::MailSelectEvent::MailOpen, {Variant::FromBstr(Bstr(folder)), Variant::FromBstr(Bstr(entryId))});
}

}  // namespace CV::Components
