// CV::Office::CMailExport: converts one Outlook mail into a new e-mail
// object "CVMail.CVEMail": its header fields, its body saved as HTML and
// rewritten for archiving with the pictures it refers to, and its real
// attachments. A header-only export fills the header fields alone.
//
// Every file the e-mail object receives lives in the converter's temporary
// directory: created by the first complete export, emptied at the start of
// every later one, deleted with the converter. An object must have been
// handed on before the next complete export. One converter is used by one
// thread.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "export/saved_header.h"
#include "foundation/component_factory.h"
#include "foundation/file_system.h"
#include "foundation/guid_source.h"
#include "foundation/internet_cache.h"
#include "foundation/system_messages.h"
#include "outlook/wrappers.h"
#include "contracts/email.h"

namespace CV::Office {

// What the converter works with, owned jointly: a worker left to unwind
// after its job was abandoned may still use them.
struct MailExportPorts {
  std::shared_ptr<IComponentFactory> factory;
  std::shared_ptr<FS::IFileSystem> fs;
  std::shared_ptr<IGuidSource> guids;
  std::shared_ptr<IInternetCache> cache;  // may be null: nothing is cached
  // The system's texts for errors; null: errors are told without them.
  std::shared_ptr<const ISystemMessages> messages;
};

class CMailExport {
 public:
  explicit CMailExport(MailExportPorts ports);
  virtual ~CMailExport();
  CMailExport(const CMailExport&) = delete;
  CMailExport& operator=(const CMailExport&) = delete;

  // A new e-mail object for mail. Throws ComError (E_INVALIDARG for a null
  // mail, E_POINTER when the e-mail object could not be created, any
  // failure of Outlook or of the object) or CV::CException (the temporary
  // directory cannot be made); an attachment that cannot be saved or added
  // is skipped.
  // entryId: the mail's EntryID when the caller has just read it, so that
  // it is not read again.
  Vendor::EMail Export(const Outlook::MailItem& mail, bool headersOnly,
                       std::optional<std::u16string> entryId = std::nullopt);

  // Copies the header fields of the current mail onto email.
  virtual void FillProperties(const Vendor::EMail& email);
  // Saves the current mail as HTML in the temporary directory (a signed or
  // encrypted one through a throw-away copy), rewrites it and hands body,
  // file name and the pictures it refers to to email.
  void ExportBody(const Vendor::EMail& email);
  // Whether the attachment belongs to the body and is not exported as an
  // attachment: a picture the body shows. Of attachments that share a
  // content id only the first is; claimed collects the ids taken so far in
  // one pass over the mail's attachments.
  bool IsInlineAttachment(const Outlook::Attachment& attachment, std::set<std::u16string>& claimed);

  // The temporary directory in long-path form; empty before the first
  // complete export.
  const std::u16string& TempDirectory() const noexcept { return m_tempDir; }

 private:
  void SaveThroughCopy(const std::u16string& bodyPath);
  void ExportAttachments(const Vendor::EMail& email);
  // The fields SaveAs writes above the body, as the mail has them.
  SavedHeader HeaderOf();
  // The content ids the HTML body's pictures show, read once per mail.
  const std::set<std::u16string>& PictureIds(const Outlook::MailItem& mail);
  std::int32_t BodyFormat(const Outlook::MailItem& mail);

  // Attachment index (1-based) of the current mail with whether it is one of
  // the body's pictures: "Anlagen:" and the attachments' export judge the
  // same attachments in the same order, each one once. Indexes come in
  // order, each at most one past the last judged.
  struct Judged {
    Outlook::Attachment attachment;
    bool isInline;
  };
  const Judged& Judge(std::int32_t index);
  const Outlook::Attachments& MailAttachments();

  MailExportPorts m_ports;
  std::u16string m_tempDir;
  Outlook::MailItem m_mail;
  // What the current mail's reads gave: Outlook serves every read on its UI
  // thread, so none is made twice.
  std::optional<std::u16string> m_entryId;
  std::optional<SavedHeader> m_header;
  std::optional<std::int32_t> m_bodyFormat;
  std::optional<Outlook::Attachments> m_attachments;
  std::optional<std::int32_t> m_attachmentCount;  // read for the header, not yet used by the export
  std::vector<Judged> m_judged;
  std::set<std::u16string> m_claimed;
  std::optional<std::set<std::u16string>> m_pictureIds;  // of m_mail
};

// The sender as the archive shows it: "Schulz (Meier)" for a mail Meier
// sent on behalf of Schulz, else the sender.
std::u16string SenderText(std::u16string_view sender, std::u16string_view represented);

// A picture reference of the HTML as a relative path: escape sequences
// decoded up to a "?" or "#", "/" made "\". Empty when the path would leave
// the directory it is relative to (".." segments, a drive, a root or a
// network path): a stranger's HTML must not make the archive read other
// files.
std::u16string ResourcePath(std::u16string_view reference);

}  // namespace CV::Office
