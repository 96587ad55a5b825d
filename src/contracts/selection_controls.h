// The vendor's two selection controls, hosted in the dialogs.
//
// The mail-selection control (ICVMailSelect, control 202 of dialog 206)
// shows the archive list's folders and one folder's mail table, lets the
// user switch mails on and off, and raises FolderSelected (DISPID 1, the
// folder path) and MailOpen (DISPID 2, folder path and EntryID). While
// FolderSelected is handled, CurrentFolder, Modified and Mails still
// describe the table shown until then.
//
// The folder-tree control (ICVFolderSelect, control 203 of dialog 110)
// lists Outlook's folders and lets the user mark those that recursive adds
// skip; through Outlook's PropertyPage interface it tells whether the marks
// changed (Dirty) and stores them as the "ExcludeFolder" value (Apply).
#pragma once

#include <string>

#include "foundation/dispatch_wrapper.h"
#include "outlook/outlook_ids.h"
#include "contracts/vendor_ids.h"

namespace CV::Vendor {

namespace MailSelectEvent {
inline constexpr std::int32_t FolderSelected = 1;
inline constexpr std::int32_t MailOpen = 2;
}  // namespace MailSelectEvent

class MailSelect : public DispatchWrapper {
 public:
  static constexpr const Guid& kIid = Iid::CVMailSelect;
  using DispatchWrapper::DispatchWrapper;

  std::u16string CurrentFolder() const { return Text(u"CurrentFolder"); }
  Variant Modified() const { return Value(u"Modified"); }
  // Per folder its path, "%", its mail count and CR LF.
  void Folders(std::u16string_view lines) const { Set(u"Folders", Variant::FromBstr(Bstr(lines))); }
  Variant Mails() const { return Value(u"Mails"); }
  void Mails(Variant table) const { Set(u"Mails", std::move(table)); }
};

class FolderSelect : public DispatchWrapper {
 public:
  static constexpr const Guid& kIid = Iid::CVFolderSelect;
  using DispatchWrapper::DispatchWrapper;

  void Application(const ObjectPtr& application) const { Set(u"Application", Variant::FromObject(application)); }
  void Mode(std::int32_t mode) const { Set(u"Mode", Variant::FromI4(mode)); }
  void SettingsKey(std::u16string_view key) const { Set(u"SettingsKey", Variant::FromBstr(Bstr(key))); }
};

// Outlook's PropertyPage, as the folder-tree control implements it.
class PropertyPage : public DispatchWrapper {
 public:
  static constexpr const Guid& kIid = Outlook::Iid::PropertyPage;
  using DispatchWrapper::DispatchWrapper;

  bool Dirty() const { return Boolean(u"Dirty"); }
  void Apply() const { Invoke(u"Apply"); }
};

}  // namespace CV::Vendor
