// The container writer "CVMail.CVMailExport" (ICVMailExport, a dual
// interface). The call order the writer relies on: Option, SourceApplication,
// MailCount, BeginExport, then AddEMail per mail, SetProperty per property
// (Comment read before the last), EndExport. Where the container goes, where
// its comment comes from, and the progress and cancel the user sees are the
// writer's business.
#pragma once

#include <string>

#include "foundation/dispatch_wrapper.h"
#include "contracts/vendor_ids.h"

namespace CV::Vendor {

class MailExport : public DispatchWrapper {
 public:
  static constexpr const Guid& kIid = Iid::CVMailExport;
  using DispatchWrapper::DispatchWrapper;

  // True: do not export (the user declined).
  bool BeginExport() const { return Invoke(u"BeginExport").ChangeType(VarType::Bool).AsBool(); }
  // Hands one mail over; the writer uses its files before it returns. True: stop.
  bool AddEMail(const ObjectPtr& email) const {
    return Invoke(u"AddEMail", {Variant::FromObject(email)}).ChangeType(VarType::Bool).AsBool();
  }
  void EndExport() const { Invoke(u"EndExport"); }
  void Option(bool value) const { Set(u"Option", Variant::FromBool(value)); }
  void SourceApplication(std::u16string_view name) const { Set(u"SourceApplication", Variant::FromBstr(Bstr(name))); }
  void MailCount(std::int32_t count) const { Set(u"MailCount", Variant::FromI4(count)); }
  void SetProperty(std::u16string_view name, std::u16string_view value) const {
    Invoke(u"SetProperty", {Variant::FromBstr(Bstr(name)), Variant::FromBstr(Bstr(value))});
  }
  std::u16string Comment() const { return Text(u"Comment"); }
};

}  // namespace CV::Vendor
