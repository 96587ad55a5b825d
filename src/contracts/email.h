// The e-mail object "CVMail.CVEMail" (ICVEMail, a dual interface): one mail
// with its header fields, its HTML body, the files the body refers to and
// its attachments, handed to the container writer. Every getter returns
// what its setter stored. The object keeps paths, not files: the files must
// stay until the writer has taken the object.
#pragma once

#include <string>

#include "foundation/dispatch_wrapper.h"
#include "contracts/mail_fields.h"
#include "contracts/vendor_ids.h"

namespace CV::Vendor {

class EMail : public DispatchWrapper {
 public:
  static constexpr const Guid& kIid = Iid::CVEMail;
  using DispatchWrapper::DispatchWrapper;

  // Each field's getter and setter, as the field list has them.
#define CV_EMAIL_ACCESSORS(name, kind, key) CV_EMAIL_##kind(name)
#define CV_EMAIL_Text(name)                                                                        \
  std::u16string name() const { return Text(NameOf(Field::name)); }                               \
  void name(std::u16string_view text) const { Set(NameOf(Field::name), Variant::FromBstr(Bstr(text))); }
  // The HTML file's bytes, in its own encoding (a byte-length BSTR).
#define CV_EMAIL_Bytes(name)                                                                       \
  Variant name() const { return Value(NameOf(Field::name)); }                                     \
  void name(Bstr bytes) const { Set(NameOf(Field::name), Variant::FromBstr(std::move(bytes))); }
#define CV_EMAIL_Int32(name)                                                                       \
  Variant name() const { return Value(NameOf(Field::name)); }                                     \
  void name(std::int32_t value) const { Set(NameOf(Field::name), Variant::FromI4(value)); }
#define CV_EMAIL_Date(name)                                                                        \
  Variant name() const { return Value(NameOf(Field::name)); }                                     \
  void name(Variant date) const { Set(NameOf(Field::name), std::move(date)); }
  CV_MAIL_FIELDS(CV_EMAIL_ACCESSORS)
#undef CV_EMAIL_ACCESSORS
#undef CV_EMAIL_Text
#undef CV_EMAIL_Bytes
#undef CV_EMAIL_Int32
#undef CV_EMAIL_Date

  void AddAttachment(std::u16string_view path) const { Invoke(u"AddAttachment", {Variant::FromBstr(Bstr(path))}); }
  // An attachment whose file was saved under a shortened name, with the name
  // it keeps in the archive. Our own e-mail object has it; another answers
  // DISP_E_UNKNOWNNAME.
  void AddNamedAttachment(std::u16string_view path, std::u16string_view name) const {
    Invoke(u"AddNamedAttachment", {Variant::FromBstr(Bstr(path)), Variant::FromBstr(Bstr(name))});
  }
  void AddHtmlResource(std::u16string_view fullPath, std::u16string_view relativePath) const {
    Invoke(u"AddHtmlResource", {Variant::FromBstr(Bstr(fullPath)), Variant::FromBstr(Bstr(relativePath))});
  }
};

// Mail states of MailState.
inline constexpr std::int32_t kMailReceived = 0;
inline constexpr std::int32_t kMailSent = 1;
inline constexpr std::int32_t kMailDraft = 2;

}  // namespace CV::Vendor
