#include "export/mail_export.h"

#include <algorithm>
#include <set>
#include <utility>

#include "export/attachment_names.h"
#include "export/html_rewriter.h"
#include "export/html_text.h"
#include "foundation/abandon.h"
#include "foundation/com_error.h"
#include "foundation/debug_trace.h"
#include "foundation/directory.h"
#include "foundation/messages.h"
#include "foundation/path.h"
#include "contracts/vendor_ids.h"

namespace CV::Office {
namespace {

constexpr std::u16string_view kBodyFile = u"Content.html";

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A MAPI property the item does not have reads as empty (0 as a number, ""
// as text): real stores often lack the security and attachment flags and
// the content id, and failing the mail for that would lose it. Any other
// failure still fails the mail.
Variant PropertyOrDefault(const Outlook::PropertyAccessor& properties, std::u16string_view tag) {
  try {
    return properties.GetProperty(tag);
  } catch (const ComError& e) {
    if (e.Error() != Outlook::MAPI_E_NOT_FOUND) throw;
    return {};
  }
}

// The same for a value GetProperties gave: the error in its place.
Variant ValueOrDefault(const Variant& value) {
  if (value.Type() != VarType::Error) return value;
  if (value.AsError() != Outlook::MAPI_E_NOT_FOUND) ThrowComError(value.AsError(), Outlook::Iid::PropertyAccessor);
  return {};
}

// The text of an attachment's failure: its name, then what the error said.
std::u16string AttachmentFailure(std::u16string_view name, const ComError& e) {
  std::u16string text = u"Anhang \u201E" + std::u16string(name) + u"\u201C";
  if (const ErrorInfo* info = e.Info(); info && !info->description.empty()) text += u": " + info->description;
  return text;
}

// A file saved under a shorter name than the attachment's keeps its name in
// the archive; an e-mail object that cannot be told it takes the file's.
void AddShortenedAttachment(const Vendor::EMail& email, std::u16string_view path, std::u16string_view name) {
  try {
    email.AddNamedAttachment(path, name);
  } catch (const ComError& e) {
    if (e.Error() != DISP_E_UNKNOWNNAME) throw;
    email.AddAttachment(path);
  }
}

}  // namespace

std::u16string SenderText(std::u16string_view sender, std::u16string_view represented) {
  // A mail without a represented name shows its sender plainly.
  if (!sender.empty() && !represented.empty() && sender != represented)
    return std::u16string(represented) + u" (" + std::u16string(sender) + u")";
  return std::u16string(sender);
}

std::u16string ResourcePath(std::u16string_view reference) {
  std::u16string path;
  bool escaping = true;
  for (std::size_t i = 0; i < reference.size(); ++i) {
    const char16_t c = reference[i];
    if (c == u'?' || c == u'#') escaping = false;
    if (escaping && c == u'%' && i + 2 < reference.size() && HexValue(reference[i + 1]) >= 0 &&
        HexValue(reference[i + 2]) >= 0) {
      path += static_cast<char16_t>(HexValue(reference[i + 1]) * 16 + HexValue(reference[i + 2]));
      i += 2;
    } else {
      path += c;
    }
  }
  std::replace(path.begin(), path.end(), u'/', u'\\');
  if (path.empty() || path.front() == u'\\' || path.find(u':') != std::u16string::npos) return {};
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    if (path.compare(start, end - start, u"..") == 0) return {};
    start = end + 1;
  }
  return path;
}

CMailExport::CMailExport(MailExportPorts ports) : m_ports(std::move(ports)) {}

CMailExport::~CMailExport() {
  if (!m_tempDir.empty()) FS::DeleteDirectory(m_tempDir, true, *m_ports.fs);  // what cannot go stays
}

Vendor::EMail CMailExport::Export(const Outlook::MailItem& mail, bool headersOnly,
                                  std::optional<std::u16string> entryId) {
  if (!mail) ThrowComError(E_INVALIDARG, Outlook::Iid::MailItem);
  m_mail = mail;
  m_entryId = std::move(entryId);
  m_header.reset();
  m_bodyFormat.reset();
  m_attachments.reset();
  m_attachmentCount.reset();
  m_judged.clear();
  m_claimed.clear();
  m_pictureIds.reset();
  // A component that cannot be created leaves the reference empty: the first
  // call on it fails with E_POINTER.
  Vendor::EMail email;
  try {
    if (ObjectPtr created = m_ports.factory->Create(Vendor::kEMailProgId))
      email = Vendor::EMail(QueryObject(created, Vendor::EMail::kIid));
  } catch (const ComError&) {
    // a failed query leaves the reference empty too
    if (IsAbandoned()) throw;
  }
  FillProperties(email);
  if (headersOnly) return email;
  if (m_tempDir.empty()) m_tempDir = FS::CreateTempDirectory(u"", *m_ports.fs, *m_ports.guids);
  else FS::DeleteDirectory(m_tempDir, false, *m_ports.fs);  // what cannot be emptied stays; the export goes on
  ExportBody(email);
  ExportAttachments(email);
  return email;
}

void CMailExport::FillProperties(const Vendor::EMail& email) {
  if (!m_mail || !email) ThrowComError(E_POINTER, Vendor::EMail::kIid);
  email.EntryID(m_entryId ? *m_entryId : m_mail.EntryID());
  email.Type(0);
  SavedHeader header;
  header.subject = m_mail.Subject();
  email.Subject(header.subject);
  header.to = m_mail.To();
  email.To(header.to);
  header.from = m_mail.SenderName();
  email.From(SenderText(header.from, m_mail.SentOnBehalfOfName()));
  header.cc = m_mail.CC();
  email.CC(header.cc);
  header.bcc = m_mail.BCC();
  email.BCC(header.bcc);
  email.Size(m_mail.Size());
  const std::int32_t importance = m_mail.Importance();
  header.importance = importance != Outlook::olImportanceNormal;
  email.Importance(importance == Outlook::olImportanceHigh ? 1 : 0);
  m_header = std::move(header);
  std::u16string receivedBy;
  try {
    receivedBy = m_mail.ReceivedByName();
  } catch (...) {
    // A name that cannot be read counts as none: the mail is taken as sent.
  }
  if (!receivedBy.empty()) {
    email.MailState(Vendor::kMailReceived);
    email.Date(m_mail.ReceivedTime());
  } else {
    email.MailState(Vendor::kMailSent);
    email.Date(m_mail.SentOn());
  }
  if (!m_mail.Submitted() && !m_mail.Sent()) {
    email.MailState(Vendor::kMailDraft);
    email.Date(m_mail.CreationTime());
  }
}

void CMailExport::ExportBody(const Vendor::EMail& email) {
  try {
    FS::CPath bodyPath(m_tempDir, *m_ports.fs);
    bodyPath.Append(kBodyFile);
    const std::int32_t flags = PropertyOrDefault(m_mail.PropertyAccessor(), Outlook::Property::SecurityFlags)
                                   .ChangeType(VarType::I4)
                                   .AsInt32();
    if (flags == 0) m_mail.SaveAs(bodyPath.StringWithoutPrefix(), Outlook::olHTML);
    else SaveThroughCopy(bodyPath.StringWithoutPrefix());

    std::vector<std::u16string> files;
    Bstr html;
    {
      std::unique_ptr<FS::IReadableFile> stream;
      // nobody changes the body while it is read
      if (m_ports.fs->OpenForReadingExclusive(bodyPath.String(), stream) != 0) stream.reset();
      const HtmlPictures pictures{m_ports.cache.get(), *m_ports.fs, *m_ports.guids, m_tempDir};
      const SavedHeader header = HeaderOf();
      html = ProcessHtml(stream.get(), pictures, files, &header);
    }
    email.HtmlBody(std::move(html));
    email.HtmlFileName(kBodyFile);
    for (const std::u16string& entry : files) {
      const std::u16string relative = ResourcePath(entry);
      if (relative.empty()) continue;  // it would lead out of the temporary directory
      email.AddHtmlResource(m_tempDir + u"\\" + relative, relative);
    }
  } catch (const ComError& e) {
    // Nothing shows this text; traced builds write it.
    DebugTrace(ComErrorText(u"Kann Mail nicht exportieren.", e,
                            m_ports.messages ? *m_ports.messages : NoSystemMessages()) +
               u"\r\n");
    throw;
  }
}

void CMailExport::SaveThroughCopy(const std::u16string& bodyPath) {
  const ObjectPtr made = m_mail.Copy();
  Outlook::MailItem copy;
  bool gone = false;
  try {
    copy = Outlook::Query<Outlook::MailItem>(made);
    copy.PropertyAccessor().SetProperty(Outlook::Property::SecurityFlags, Variant::FromI4(0));
    copy.SaveAs(bodyPath, Outlook::olHTML);
    const Outlook::Folder deleted = m_mail.Application().GetNamespace(u"MAPI").GetDefaultFolder(Outlook::olFolderDeletedItems);
    copy = Outlook::Query<Outlook::MailItem>(copy.Move(deleted.Object()));
    copy.Subject(copy.Subject() + u" ");
    copy.Save();
    gone = true;
    copy.Delete();
  } catch (...) {
    // The copy must not stay in the user's folder, whatever failed.
    if (!gone) {
      try {
        CallMethod(copy ? copy.Object() : made, u"Delete");
      } catch (...) {
        // Deleting is all that can be tried; the mail's own failure counts.
      }
    }
    throw;
  }
}

SavedHeader CMailExport::HeaderOf() {
  SavedHeader header = m_header ? *m_header
                                : SavedHeader{m_mail.SenderName(), m_mail.To(), m_mail.CC(), m_mail.BCC(),
                                              m_mail.Subject(), m_mail.Importance() != Outlook::olImportanceNormal};
  header.attachments = false;
  // "Anlagen:" is written when an attachment is not one of the body's pictures.
  m_attachmentCount = MailAttachments().Count();
  for (std::int32_t i = 1; i <= *m_attachmentCount && !header.attachments; ++i)
    header.attachments = !Judge(i).isInline;
  return header;
}

const Outlook::Attachments& CMailExport::MailAttachments() {
  if (!m_attachments) m_attachments = m_mail.Attachments();
  return *m_attachments;
}

const CMailExport::Judged& CMailExport::Judge(std::int32_t index) {
  const auto judged = static_cast<std::size_t>(index);
  if (judged <= m_judged.size()) return m_judged[judged - 1];
  Outlook::Attachment attachment = MailAttachments().Item(index);
  const bool isInline = IsInlineAttachment(attachment, m_claimed);
  m_judged.push_back(Judged{std::move(attachment), isInline});
  return m_judged.back();
}

void CMailExport::ExportAttachments(const Vendor::EMail& email) {
  std::set<std::u16string> taken;
  // The count the header's check read serves the first pass (only the body
  // was saved since); every later pass reads it again.
  std::optional<std::int32_t> count = std::exchange(m_attachmentCount, std::nullopt);
  for (std::int32_t i = 1; i <= (count ? *count : MailAttachments().Count()); ++i, count.reset()) {
    const Judged& judged = Judge(i);
    if (judged.isInline) continue;
    const Outlook::Attachment& attachment = judged.attachment;
    const AttachmentFile file =
        NextAttachmentFile(m_tempDir, SafeAttachmentName(attachment.FileName()), taken, *m_ports.fs);
    // An attachment that cannot be saved or handed on fails its mail: a mail
    // archived without it would be lost unnoticed.
    try {
      attachment.SaveAsFile(file.path);
      if (file.path.ends_with(u"\\" + file.name)) email.AddAttachment(file.path);
      else AddShortenedAttachment(email, file.path, file.name);
    } catch (const ComError& e) {
      throw ComError(e.Error(), e.InterfaceId(), ErrorInfo{Guid{}, u"", AttachmentFailure(file.name, e)});
    }
  }
}

// An attachment is the body's picture only when a picture of the body shows
// it by its whole content id ("cid:image1" never inside "cid:image10"; a
// reference in a link or in CSS shows nothing) and no earlier attachment
// took that id: anything else is exported as the attachment it is.
bool CMailExport::IsInlineAttachment(const Outlook::Attachment& attachment, std::set<std::u16string>& claimed) {
  const Outlook::MailItem mail = Outlook::Query<Outlook::MailItem>(attachment.Parent());
  if (!mail) ThrowComError(E_POINTER, Outlook::Iid::MailItem);
  switch (BodyFormat(mail)) {
    case Outlook::olFormatHTML: {
      // Both properties in one call; the content id counts only without the flag.
      const std::vector<Variant> values = attachment.PropertyAccessor().GetProperties(
          {Outlook::Property::AttachFlags, Outlook::Property::AttachContentId});
      const std::int32_t flags = ValueOrDefault(values[0]).ChangeType(VarType::I4).AsInt32();
      if (flags & Outlook::ATT_MHTML_REF) return true;
      const std::u16string contentId = ValueOrDefault(values[1]).ChangeType(VarType::Bstr).AsText();
      return !contentId.empty() && PictureIds(mail).count(contentId) && claimed.insert(contentId).second;
    }
    case Outlook::olFormatRichText:
      return attachment.Type() == Outlook::olOLE;
    default:
      return false;
  }
}

// Every attachment's parent is the current mail: its body format is read once.
std::int32_t CMailExport::BodyFormat(const Outlook::MailItem& mail) {
  if (!m_bodyFormat) m_bodyFormat = mail.BodyFormat();
  return *m_bodyFormat;
}

const std::set<std::u16string>& CMailExport::PictureIds(const Outlook::MailItem& mail) {
  if (!m_pictureIds) m_pictureIds = PictureContentIds(mail.HTMLBody());
  return *m_pictureIds;
}

}  // namespace CV::Office
