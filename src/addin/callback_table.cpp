#include "addin/callback_table.h"

#include "addin/addin_ids.h"
#include "addin/connect.h"
#include "foundation/com_error.h"

namespace CV {
namespace {

void ExpectArguments(const std::vector<Variant>& args, std::size_t count) {
  if (args.size() != count) ThrowComError(DISP_E_BADPARAMCOUNT, AddinIds::ICVMailArchiveOlCb);
}

ObjectPtr ObjectArgument(const Variant& v) {
  if (v.IsEmpty() || v.Type() == VarType::Null) return nullptr;
  if (v.Type() != VarType::Dispatch) ThrowComError(DISP_E_TYPEMISMATCH, AddinIds::ICVMailArchiveOlCb);
  return v.AsObject();
}

void Check(HRESULT hr) {
  if (Failed(hr)) ThrowComError(hr, AddinIds::ICVMailArchiveOlCb);
}

template <HRESULT (CConnect::*Member)(const ObjectPtr&)>
Variant Command(CConnect& self, std::vector<Variant>& args) {
  ExpectArguments(args, 1);
  Check((self.*Member)(ObjectArgument(args[0])));
  return {};
}

template <HRESULT (CConnect::*Member)(const ObjectPtr&, VariantBool*)>
Variant Enabled(CConnect& self, std::vector<Variant>& args) {
  ExpectArguments(args, 1);
  VariantBool enabled = kVariantFalse;
  Check((self.*Member)(ObjectArgument(args[0]), &enabled));
  return Variant::FromBool(enabled != kVariantFalse);
}

template <HRESULT (CConnect::*Member)(const ObjectPtr&, Bstr*)>
Variant Label(CConnect& self, std::vector<Variant>& args) {
  ExpectArguments(args, 1);
  Bstr label;
  Check((self.*Member)(ObjectArgument(args[0]), &label));
  return Variant::FromBstr(std::move(label));
}

Variant InvokeGetCustomImage(CConnect& self, std::vector<Variant>& args) {
  ExpectArguments(args, 1);
  ObjectPtr image;
  Check(self.GetCustomImage(ObjectArgument(args[0]), &image));
  return Variant::FromObject(image);
}

Variant InvokeLoadPicture(CConnect& self, std::vector<Variant>& args) {
  ExpectArguments(args, 1);
  ObjectPtr picture;
  Check(self.LoadPicture(args[0].ChangeType(VarType::Bstr).AsBstr(), &picture));
  return Variant::FromObject(picture);
}

Variant InvokeOnLoad(CConnect& self, std::vector<Variant>& args) {
  ExpectArguments(args, 1);
  Check(self.OnLoad(ObjectArgument(args[0])));
  return {};
}

constexpr CallbackParameter kControl{u"in", u"IDispatch*", u"pControl"};
constexpr CallbackParameter kControlOnly[] = {kControl};
constexpr CallbackParameter kImage[] = {kControl, {u"out, retval", u"IDispatch**", u"ppdispImage"}};
constexpr CallbackParameter kPicture[] = {{u"in", u"BSTR*", u"PictureName"},
                                          {u"out, retval", u"IDispatch**", u"ppdispPicture"}};
constexpr CallbackParameter kLabel[] = {kControl, {u"out, retval", u"BSTR*", u"pbstrLabel"}};
constexpr CallbackParameter kRibbon[] = {{u"in", u"IDispatch*", u"pRibbonUI"}};
constexpr CallbackParameter kEnabled[] = {kControl, {u"out, retval", u"VARIANT_BOOL*", u"pvarfEnabled"}};
constexpr CallbackParameter kVersion[] = {kControl, {u"out, retval", u"BSTR*", u"pVersion"}};
constexpr CallbackParameter kCopyright[] = {kControl, {u"out, retval", u"BSTR*", u"pCopyright"}};

constexpr CallbackEntry kTable[] = {
    {u"GetCustomImage", 0x2B, kImage, u"Bilder laden zur Laufzeit", &InvokeGetCustomImage},
    {u"LoadPicture", 0x2C, kPicture, u"Bilder laden bei Erstellung des Ribbon", &InvokeLoadPicture},
    {u"GetMailCount", 0x2D, kLabel, u"Anzahl ausgewählter Mails ermitteln ", &Label<&CConnect::GetMailCount>},
    {u"GetFolderCount", 0x2E, kLabel, u"Anzahl ausgewählter Folders ermitteln ", &Label<&CConnect::GetFolderCount>},
    {u"OnLoad", 0x2F, kRibbon, u"Erzeugen des Ribbon abgeschlossen ", &InvokeOnLoad},
    {u"GetAddMailsEnabled", 0x30, kEnabled, u"Ist das AddMails Kommando erlaubt ? ",
     &Enabled<&CConnect::GetAddMailsEnabled>},
    {u"AddMails", 0x31, kControlOnly, u"Fügt die durch das Kontextobjekt bezeichneten Mails hinzu",
     &Command<&CConnect::AddMails>},
    {u"GetAddFolderEnabled", 0x32, kEnabled, u"Ist das AddFolder Kommando erlaubt ? ",
     &Enabled<&CConnect::GetAddFolderEnabled>},
    {u"AddFolder", 0x33, kControlOnly, u"Fügt den durch das Kontextobjekt bezeichneten Folder hinzu",
     &Command<&CConnect::AddFolder>},
    {u"GetAddFoldersEnabled", 0x34, kEnabled, u"Ist das AddFolders Kommando erlaubt ? ",
     &Enabled<&CConnect::GetAddFoldersEnabled>},
    {u"AddFolders", 0x35, kControlOnly, u"Fügt die durch das Kontextobjekt bezeichneten Folder hinzu",
     &Command<&CConnect::AddFolders>},
    {u"GetResetSelectionEnabled", 0x36, kEnabled, u"Ist das GetResetSelectionEnabled Kommando erlaubt ? ",
     &Enabled<&CConnect::GetResetSelectionEnabled>},
    {u"ResetSelection", 0x37, kControlOnly, u"Setzt die ausgewählten Mails zurück",
     &Command<&CConnect::ResetSelection>},
    {u"GetStartARCCreationEnabled", 0x38, kEnabled, u"Ist das GetStartARCCreationEnabled Kommando erlaubt ? ",
     &Enabled<&CConnect::GetStartARCCreationEnabled>},
    {u"StartARCCreation", 0x39, kControlOnly, u"Beginnt Arcsafe Erstellung", &Command<&CConnect::StartARCCreation>},
    {u"GetRefineSelectionEnabled", 0x3A, kEnabled, u"Ist das RefineSelection Kommando erlaubt ? ",
     &Enabled<&CConnect::GetRefineSelectionEnabled>},
    {u"RefineSelection", 0x3B, kControlOnly, u"Dialogbox zur Feinauswahl der Mails",
     &Command<&CConnect::RefineSelection>},
    {u"SelectIgnoredFolder", 0x3C, kControlOnly, u"Dialog zum einstellen der ignorefolder",
     &Command<&CConnect::SelectIgnoredFolder>},
    {u"GetVersionString", 0x3D, kVersion, u"Liefert Version des Add-Ins", &Label<&CConnect::GetVersionString>},
    {u"OnHelp", 0x3E, kControlOnly, u"Zeigt Hilfe an", &Command<&CConnect::OnHelp>},
    {u"GetCopyrightString", 0x41, kCopyright, u"Liefert Copyright des Add-Ins",
     &Label<&CConnect::GetCopyrightString>},
};

}  // namespace

std::span<const CallbackEntry> CallbackTable() { return kTable; }

const CallbackEntry* FindCallback(std::u16string_view name) {
  for (const CallbackEntry& e : kTable)
    if (e.name == name) return &e;
  return nullptr;
}

const CallbackEntry* FindCallback(std::int32_t dispid) {
  for (const CallbackEntry& e : kTable)
    if (e.dispid == dispid) return &e;
  return nullptr;
}

}  // namespace CV
