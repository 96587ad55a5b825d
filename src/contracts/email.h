// The e-mail object "CVMail.CVEMail" (ICVEMail, a dual interface): one mail
// with its header fields, its HTML body, the files the body refers to and
// its attachments, handed to the container writer. Every getter returns
// what its setter stored. The object keeps paths, not files: the files must
// stay until the writer has taken the object.
#pragma once

#include <string>

#include "foundation/dispatch_wrapper.h"
#include "contracts/vendor_ids.h"

namespace CV::Vendor {

class EMail : public DispatchWrapper {
 public:
  static constexpr const Guid& kIid = Iid::CVEMail;
  using DispatchWrapper::DispatchWrapper;

  void FolderPath(std::u16string_view path) const { Set(u"FolderPath", Variant::FromBstr(Bstr(path))); }
  void EntryID(std::u16string_view id) const { Set(u"EntryID", Variant::FromBstr(Bstr(id))); }
  void Type(std::int32_t type) const { Set(u"Type", Variant::FromI4(type)); }
  std::u16string Subject() const { return Text(u"Subject"); }
  void Subject(std::u16string_view subject) const { Set(u"Subject", Variant::FromBstr(Bstr(subject))); }
  std::u16string From() const { return Text(u"From"); }
  void From(std::u16string_view from) const { Set(u"From", Variant::FromBstr(Bstr(from))); }
  void To(std::u16string_view to) const { Set(u"To", Variant::FromBstr(Bstr(to))); }
  void CC(std::u16string_view cc) const { Set(u"CC", Variant::FromBstr(Bstr(cc))); }
  void BCC(std::u16string_view bcc) const { Set(u"BCC", Variant::FromBstr(Bstr(bcc))); }
  Variant Size() const { return Value(u"Size"); }
  void Size(std::int32_t bytes) const { Set(u"Size", Variant::FromI4(bytes)); }
  Variant Date() const { return Value(u"Date"); }
  void Date(Variant date) const { Set(u"Date", std::move(date)); }
  void MailState(std::int32_t state) const { Set(u"MailState", Variant::FromI4(state)); }
  Variant Importance() const { return Value(u"Importance"); }
  void Importance(std::int32_t importance) const { Set(u"Importance", Variant::FromI4(importance)); }
  // The HTML file's bytes, in its own encoding (a byte-length BSTR).
  void HtmlBody(Bstr bytes) const { Set(u"HtmlBody", Variant::FromBstr(std::move(bytes))); }
  void AddAttachment(std::u16string_view path) const { Invoke(u"AddAttachment", {Variant::FromBstr(Bstr(path))}); }
  // An attachment whose file was saved under a shortened name, with the name
  // it keeps in the archive. Our own e-mail object has it; another answers
  // DISP_E_UNKNOWNNAME.
  void AddNamedAttachment(std::u16string_view path, std::u16string_view name) const {
    Invoke(u"AddNamedAttachment", {Variant::FromBstr(Bstr(path)), Variant::FromBstr(Bstr(name))});
  }
  void HtmlFileName(std::u16string_view name) const { Set(u"HtmlFileName", Variant::FromBstr(Bstr(name))); }
  void AddHtmlResource(std::u16string_view fullPath, std::u16string_view relativePath) const {
    Invoke(u"AddHtmlResource", {Variant::FromBstr(Bstr(fullPath)), Variant::FromBstr(Bstr(relativePath))});
  }
};

// Mail states of MailState.
inline constexpr std::int32_t kMailReceived = 0;
inline constexpr std::int32_t kMailSent = 1;
inline constexpr std::int32_t kMailDraft = 2;

}  // namespace CV::Vendor
