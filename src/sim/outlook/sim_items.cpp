// Items: mails with their header fields, bodies, attachments and MAPI
// properties, and the other kinds, which answer E_NOINTERFACE for _MailItem.
#include <algorithm>

#include "foundation/file_system.h"
#include "foundation/format.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/outlook/sim_support.h"

namespace CV::Sim {

using namespace CV::Outlook;
using namespace Support;

namespace {

constexpr Guid kMeetingItem = Guid::FromLiteral("00063062-0000-0000-C000-000000000046");
constexpr Guid kContactItem = Guid::FromLiteral("00063021-0000-0000-C000-000000000046");
constexpr Guid kAppointmentItem = Guid::FromLiteral("00063033-0000-0000-C000-000000000046");
constexpr Guid kReportItem = Guid::FromLiteral("00063026-0000-0000-C000-000000000046");
constexpr Guid kTaskItem = Guid::FromLiteral("00063035-0000-0000-C000-000000000046");

Guid IidOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Mail: return Iid::MailItem;
    case ItemKind::MeetingRequest: return kMeetingItem;
    case ItemKind::Contact: return kContactItem;
    case ItemKind::Appointment: return kAppointmentItem;
    case ItemKind::Report: return kReportItem;
    case ItemKind::Task: return kTaskItem;
  }
  return Iid::MailItem;
}

void WriteFile(FS::IFileSystem& fs, const std::u16string& path, const std::string& bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  // Outlook's error names the file it could not write.
  if (const std::int32_t error = fs.WriteWholeFile(path, std::span(data, bytes.size())))
    throw ComError(HResultFromWin32(error), {}, ErrorInfo{Guid{}, u"Microsoft Outlook", path});
}

Variant Long(std::int32_t value) { return Variant::FromI4(value); }

}  // namespace

// ---- the property accessor

SimPropertyAccessor::SimPropertyAccessor(std::shared_ptr<SimWorld> world)
    : SimObject(std::move(world), Iid::PropertyAccessor) {
  Method(u"GetProperty", [this](auto& a) {
    const auto it = m_properties.find(TextOf(a, 0));
    if (it == m_properties.end()) ThrowComError(MAPI_E_NOT_FOUND, Iid::PropertyAccessor);
    return it->second.first();
  });
  // Several at once: a property that cannot be read gives its error in its
  // place, and the call itself succeeds.
  Method(u"GetProperties", [this](auto& a) {
    if (a.size() != 1) ThrowComError(DISP_E_BADPARAMCOUNT, Iid::PropertyAccessor);
    if (a[0].Type() != VarType::ArrayOfVariant || !a[0].AsArray() || a[0].AsArray()->Dimensions() != 1)
      ThrowComError(DISP_E_TYPEMISMATCH, Iid::PropertyAccessor);
    const std::vector<Variant>& names = a[0].AsArray()->Elements();
    auto values = std::make_shared<SafeArray>(
        std::vector<SafeArray::Bound>{{0, static_cast<std::uint32_t>(names.size())}});
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto it = m_properties.find(names[i].ChangeType(VarType::Bstr).AsText());
      try {
        values->Elements()[i] = it == m_properties.end() ? Variant::FromError(MAPI_E_NOT_FOUND) : it->second.first();
      } catch (const ComError& e) {
        values->Elements()[i] = Variant::FromError(e.Error());
      }
    }
    return Variant::FromArray(std::move(values));
  });
  Method(u"SetProperty", [this](auto& a) {
    const auto it = m_properties.find(TextOf(a, 0));
    if (a.size() != 2) ThrowComError(DISP_E_BADPARAMCOUNT, Iid::PropertyAccessor);
    if (it == m_properties.end() || !it->second.second) ThrowComError(E_ACCESSDENIED, Iid::PropertyAccessor);
    it->second.second(a[1]);
    return Variant();
  });
}

void SimPropertyAccessor::Property(std::u16string schemaName, Getter get, Setter set) {
  m_properties[std::move(schemaName)] = {std::move(get), std::move(set)};
}

void SimPropertyAccessor::Remove(std::u16string_view schemaName) {
  if (const auto it = m_properties.find(schemaName); it != m_properties.end()) m_properties.erase(it);
}

// ---- attachments

SimAttachment::SimAttachment(std::shared_ptr<SimWorld> world, std::weak_ptr<SimItem> parent, std::u16string fileName_,
                             std::string bytes_, std::int32_t type_)
    : SimObject(std::move(world), Iid::Attachment), fileName(std::move(fileName_)), bytes(std::move(bytes_)),
      type(type_), m_parent(std::move(parent)) {
  Get(u"FileName", [this](auto&) { return Text(fileName); });
  Get(u"DisplayName", [this](auto&) { return Text(fileName); });
  Get(u"Type", [this](auto&) { return Long(type); });
  Get(u"Size", [this](auto&) { return Long(static_cast<std::int32_t>(bytes.size())); });
  Get(u"Parent", [this](auto&) { return Obj(Alive(m_parent)); });
  Get(u"PropertyAccessor", [this](auto&) { return Obj(m_accessor); });
  Method(u"SaveAsFile", [this](auto& a) {
    WriteFile(World().FileSystem(), TextOf(a, 0), bytes);
    return Variant();
  });
}

void SimAttachment::Build() {
  m_accessor = std::make_shared<SimPropertyAccessor>(WorldPtr());
  std::weak_ptr<SimAttachment> self = Self<SimAttachment>();
  m_accessor->Property(std::u16string(Property::AttachFlags), [self] { return Long(Alive(self)->flags); });
  m_accessor->Property(std::u16string(Property::AttachContentId), [self] { return Text(Alive(self)->contentId); });
}

// ---- items

SimItem::SimItem(std::shared_ptr<SimWorld> world, ItemKind kind, std::u16string entryId, std::u16string subject_)
    : SimObject(std::move(world), IidOf(kind)), subject(std::move(subject_)), m_kind(kind),
      m_entryId(std::move(entryId)) {
  Get(u"EntryID", [this](auto&) { return Text(m_entryId); });
  Get(u"Subject", [this](auto&) { return Text(subject); });
  Put(u"Subject", [this](auto& a) {
    subject = TextOf(a, 0);
    return Variant();
  });
  Get(u"Application", [this](auto&) { return Obj(World().Application()); });
  if (kind != ItemKind::Mail) return;
  const auto text = [this](const char16_t* name, std::u16string SimItem::*field) {
    Get(name, [this, field](auto&) { return Text(this->*field); });
  };
  text(u"SenderEmailAddress", &SimItem::senderEmailAddress);
  text(u"To", &SimItem::to);
  text(u"CC", &SimItem::cc);
  text(u"BCC", &SimItem::bcc);
  text(u"SenderName", &SimItem::senderName);
  text(u"SentOnBehalfOfName", &SimItem::sentOnBehalfOfName);
  text(u"ReceivedByName", &SimItem::receivedByName);
  Get(u"HTMLBody", [this](auto&) { return EnsureContent(), Text(htmlBody); });
  Get(u"Body", [this](auto&) { return EnsureContent(), Text(body); });
  Get(u"ReceivedTime", [this](auto&) { return Variant::FromDate(receivedTime); });
  Get(u"SentOn", [this](auto&) { return Variant::FromDate(sentOn); });
  Get(u"CreationTime", [this](auto&) { return Variant::FromDate(creationTime); });
  Get(u"Sent", [this](auto&) { return Variant::FromBool(sent); });
  Get(u"Submitted", [this](auto&) { return Variant::FromBool(submitted); });
  Get(u"Size", [this](auto&) { return Long(SizeNow()); });
  Get(u"Importance", [this](auto&) { return Long(importance); });
  Get(u"BodyFormat", [this](auto&) { return Long(bodyFormat); });
  Get(u"PropertyAccessor", [this](auto&) { return Obj(m_accessor); });
  Get(u"Attachments", [this](auto&) { return EnsureContent(), Obj(m_attachmentsObject); });
  Method(u"SaveAs", [this](auto& a) {
    if (a.size() < 2 || a[1].ChangeType(VarType::I4).AsInt32() != olHTML) ThrowComError(E_INVALIDARG, Iid::MailItem);
    EnsureContent();
    SaveAsHtml(TextOf(a, 0));
    return Variant();
  });
  Method(u"Copy", [this](auto&) { return EnsureContent(), Obj(CopyInto(Alive(m_folder))); });
  Method(u"Move", [this](auto& a) {
    auto folder = a.size() == 1 ? std::dynamic_pointer_cast<SimFolder>(a[0].AsObject()) : nullptr;
    if (!folder) ThrowComError(E_INVALIDARG, Iid::MailItem);
    MoveTo(folder);
    return Obj(shared_from_this());
  });
  Method(u"Save", [](auto&) { return Variant(); });
  Method(u"Display", [this](auto& a) {  // a window the user closes again
    if (a.size() == 1 && a[0].Type() == VarType::Bool && a[0].AsBool()) ++modalDisplays;
    return Variant();
  });
  Method(u"Delete", [this](auto&) {
    auto folder = Alive(m_folder);
    auto store = folder->Store();
    auto deleted = store ? store->DefaultFolder(olFolderDeletedItems) : nullptr;
    if (!deleted || deleted == folder) folder->Release(this);  // from Deleted Items it is gone for good
    else MoveTo(deleted);
    return Variant();
  });
}

void SimItem::Build(std::weak_ptr<SimFolder> folder) {
  m_folder = std::move(folder);
  if (m_kind != ItemKind::Mail) return;
  std::weak_ptr<SimItem> self = Self<SimItem>();
  m_accessor = std::make_shared<SimPropertyAccessor>(WorldPtr());
  m_accessor->Property(
      std::u16string(Property::SecurityFlags), [self] { return Long(Alive(self)->securityFlags); },
      [self](const Variant& v) { Alive(self)->securityFlags = v.ChangeType(VarType::I4).AsInt32(); });
  m_attachmentsObject = std::make_shared<SimCollection>(WorldPtr(), Iid::Attachments, MemberList(self, &SimItem::attachments));
}

std::shared_ptr<SimAttachment> SimItem::AddAttachment(std::u16string fileName, std::string bytes, std::int32_t type) {
  std::lock_guard lock(World().Lock());
  auto attachment = std::make_shared<SimAttachment>(WorldPtr(), Self<SimItem>(), std::move(fileName), std::move(bytes), type);
  attachment->Build();
  attachments.push_back(attachment);
  return attachment;
}

std::shared_ptr<SimAttachment> SimItem::AddInlinePicture(std::u16string fileName, std::string bytes,
                                                         std::u16string contentId) {
  auto attachment = AddAttachment(std::move(fileName), std::move(bytes));
  std::lock_guard lock(World().Lock());
  attachment->contentId = std::move(contentId);
  return attachment;
}

void SimItem::EnsureContent() {
  if (!m_contentLoader) return;
  auto loader = std::move(m_contentLoader);
  m_contentLoader = nullptr;
  loader(*this);
}

std::int32_t SimItem::SizeNow() const {
  if (size >= 0) return size;
  std::size_t total = 1024 + 2 * (subject.size() + htmlBody.size() + body.size());
  for (const auto& a : attachments) total += a->bytes.size();
  return static_cast<std::int32_t>(std::min<std::size_t>(total, 0x7FFFFFFF));
}

void SimItem::SaveAsHtml(const std::u16string& path) {
  // Outlook takes no long-path form.
  if (path.starts_with(u"\\\\?\\")) ThrowComError(E_INVALIDARG, Iid::MailItem);
  // Outlook cannot write what it cannot read: a signed or encrypted item is
  // saved through a copy whose security flags were cleared.
  if (securityFlags != 0) ThrowComError(E_ACCESSDENIED, Iid::MailItem);
  const std::size_t slash = path.rfind(u'\\');
  const std::u16string directory = slash == std::u16string::npos ? u"" : path.substr(0, slash + 1);
  std::u16string base = path.substr(directory.size());
  if (const std::size_t dot = base.rfind(u'.'); dot != std::u16string::npos) base.resize(dot);
  const SimWorld::Language language = World().UiLanguage();
  const std::u16string imageFolder = base + (language == SimWorld::Language::German ? u"-Dateien" : u"_files");
  std::vector<std::pair<std::u16string, std::string>> pictures;
  std::string html = SavedHtml(*this, imageFolder, pictures, language);
  if (savesAsUnicode) {
    std::string wide("\xFF\xFE", 2);
    for (char16_t c : FromUtf8(html)) wide += static_cast<char>(c & 0xFF), wide += static_cast<char>(c >> 8);
    html = std::move(wide);
  }
  FS::IFileSystem& fs = World().FileSystem();
  WriteFile(fs, path, html);
  const std::u16string folder = directory + imageFolder;
  if (const std::int32_t error = fs.MakeDirectory(folder); error != 0 && error != 183)  // ERROR_ALREADY_EXISTS
    ThrowComError(HResultFromWin32(error));
  std::string list = "<xml xmlns:o=\"urn:schemas-microsoft-com:office:office\">\r\n <o:MainFile HRef=\"../Content.html\"/>\r\n";
  for (const auto& [name, bytes] : pictures) {
    WriteFile(fs, folder + u"\\" + name, bytes);
    list += " <o:File HRef=\"" + ToUtf8(name) + "\"/>\r\n";
  }
  WriteFile(fs, folder + u"\\filelist.xml", list + "</xml>\r\n");
}

std::shared_ptr<SimItem> SimItem::CopyInto(const std::shared_ptr<SimFolder>& folder) {
  auto copy = std::make_shared<SimItem>(WorldPtr(), m_kind, World().NextId(u"M"), subject);
  copy->senderEmailAddress = senderEmailAddress;
  copy->to = to, copy->cc = cc, copy->bcc = bcc;
  copy->senderName = senderName, copy->sentOnBehalfOfName = sentOnBehalfOfName, copy->receivedByName = receivedByName;
  copy->bodyFormat = bodyFormat, copy->htmlBody = htmlBody, copy->body = body;
  copy->importance = importance, copy->securityFlags = securityFlags, copy->size = size;
  copy->receivedTime = receivedTime, copy->sentOn = sentOn, copy->creationTime = creationTime;
  copy->sent = sent, copy->submitted = submitted, copy->savesAsUnicode = savesAsUnicode;
  copy->Build(folder);
  for (const auto& a : attachments) {
    auto clone = copy->AddAttachment(a->fileName, a->bytes, a->type);
    clone->contentId = a->contentId;
    clone->flags = a->flags;
  }
  folder->Adopt(copy);
  return copy;
}

void SimItem::MoveTo(const std::shared_ptr<SimFolder>& folder) {
  auto self = Self<SimItem>();
  if (auto from = m_folder.lock()) from->Release(this);
  m_folder = folder;
  folder->Adopt(self);
}

}  // namespace CV::Sim
