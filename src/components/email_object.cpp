#include "components/email_object.h"

#include <algorithm>
#include <iterator>

#include "foundation/com_error.h"
#include "contracts/mail_fields.h"
#include "contracts/vendor_ids.h"

namespace CV::Components {
namespace {

constexpr Guid kDispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");

// The properties of ICVEMail, each with its getter and setter.
bool IsProperty(std::u16string_view name) {
  return std::any_of(std::begin(Vendor::kMailFields), std::end(Vendor::kMailFields),
                     [name](const Vendor::MailField& field) { return field.name == name; });
}

std::u16string TextArgument(const std::vector<Variant>& args, std::size_t i) {
  if (args.size() <= i) ThrowComError(DISP_E_BADPARAMCOUNT, Vendor::Iid::CVEMail);
  return args[i].ChangeType(VarType::Bstr).AsText();
}

std::size_t IndexArgument(const std::vector<Variant>& args, std::size_t size) {
  if (args.size() != 1) ThrowComError(DISP_E_BADPARAMCOUNT, Vendor::Iid::CVEMail);
  const std::int32_t i = args[0].ChangeType(VarType::I4).AsInt32();
  if (i < 0 || static_cast<std::size_t>(i) >= size) ThrowComError(DISP_E_BADINDEX, Vendor::Iid::CVEMail);
  return static_cast<std::size_t>(i);
}

}  // namespace

ObjectPtr CEMail::QueryInterface(const Guid& iid) {
  if (iid == kDispatch || iid == Vendor::Iid::CVEMail) return shared_from_this();
  return nullptr;
}

Variant CEMail::Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) {
  std::lock_guard lock(m_mutex);
  if (IsProperty(name)) {
    if (kind == InvokeKind::PropertyPut) {
      if (args.size() != 1) ThrowComError(DISP_E_BADPARAMCOUNT, Vendor::Iid::CVEMail);
      m_values[std::u16string(name)] = std::move(args[0]);
      return {};
    }
    const auto it = m_values.find(name);
    return it == m_values.end() ? Variant() : it->second;
  }
  if (name == u"AddAttachment") {
    m_attachments.push_back({TextArgument(args, 0), u""});
  } else if (name == u"AddNamedAttachment") {
    m_attachments.push_back({TextArgument(args, 0), TextArgument(args, 1)});
  } else if (name == u"AddHtmlResource") {
    m_resources.push_back({TextArgument(args, 0), TextArgument(args, 1)});
  } else if (name == u"AttachmentCount") {
    return Variant::FromI4(static_cast<std::int32_t>(m_attachments.size()));
  } else if (name == u"Attachment") {
    return Variant::FromBstr(Bstr(m_attachments[IndexArgument(args, m_attachments.size())].path));
  } else if (name == u"AttachmentName") {
    return Variant::FromBstr(Bstr(m_attachments[IndexArgument(args, m_attachments.size())].name));
  } else if (name == u"ResourceCount") {
    return Variant::FromI4(static_cast<std::int32_t>(m_resources.size()));
  } else if (name == u"Resource") {
    return Variant::FromBstr(Bstr(m_resources[IndexArgument(args, m_resources.size())].fullPath));
  } else if (name == u"ResourcePath") {
    return Variant::FromBstr(Bstr(m_resources[IndexArgument(args, m_resources.size())].relativePath));
  } else {
    ThrowComError(DISP_E_UNKNOWNNAME, Vendor::Iid::CVEMail);
  }
  return {};
}

std::uint32_t CEMail::Advise(const Guid&, std::shared_ptr<IEventSink>) {
  ThrowComError(CONNECT_E_NOCONNECTION, Vendor::Iid::CVEMail);
}

void CEMail::Unadvise(std::uint32_t) { ThrowComError(CONNECT_E_NOCONNECTION, Vendor::Iid::CVEMail); }

Variant CEMail::Property(std::u16string_view name) const {
  std::lock_guard lock(m_mutex);
  const auto it = m_values.find(name);
  return it == m_values.end() ? Variant() : it->second;
}

std::vector<std::u16string> CEMail::Attachments() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::u16string> paths;
  for (const auto& a : m_attachments) paths.push_back(a.path);
  return paths;
}

std::vector<CEMail::Attachment> CEMail::NamedAttachments() const {
  std::lock_guard lock(m_mutex);
  return m_attachments;
}

std::vector<CEMail::Resource> CEMail::Resources() const {
  std::lock_guard lock(m_mutex);
  return m_resources;
}

}  // namespace CV::Components
