#include "registration/registration_table.h"

#include <initializer_list>
#include <string>

#include "addin/addin_ids.h"
#include "foundation/utf.h"
#include "components/component_ids.h"
#include "contracts/vendor_ids.h"

namespace CV::Win::Registry {
namespace {

using Kind = Value::Kind;

OwnedKey& Own(Table& table, std::u16string key, std::vector<Guid> usedBy, std::vector<OwnedKey::Proof> proofs = {}) {
  table.keys.push_back({std::move(key), {}, std::move(proofs), std::move(usedBy)});
  return table.keys.back();
}

void Add(OwnedKey& owned, std::u16string_view subkey, std::u16string name, std::u16string text) {
  std::u16string key = owned.key;
  if (!subkey.empty()) key += u"\\" + std::u16string(subkey);
  owned.values.push_back({std::move(key), std::move(name), Kind::String, std::move(text)});
}

// The entries of one in-process class: its ProgIDs, CLSID key and server.
// A ProgID is ours when it names our class; the vendor's components have
// the same ProgIDs with their own classes.
void AddClass(Table& table, const Guid& clsid, std::u16string_view progId, std::u16string_view className,
              std::u16string_view threadingModel, bool programmable) {
  const std::u16string id = clsid.ToRegistryForm(), prog(progId), versioned = prog + u".1";
  const std::u16string classes = u"Classes\\";
  table.classes.push_back(clsid);
  for (const std::u16string& name : {versioned, prog}) {
    OwnedKey& key = Own(table, classes + name, {clsid}, {{u"CLSID", id}});
    Add(key, u"", u"", std::u16string(className));
    Add(key, u"CLSID", u"", id);
    if (name == prog) Add(key, u"CurVer", u"", versioned);
  }
  OwnedKey& key = Own(table, classes + u"CLSID\\" + id, {clsid});
  Add(key, u"", u"", std::u16string(className));
  Add(key, u"ProgID", u"", versioned);
  Add(key, u"VersionIndependentProgID", u"", prog);
  if (programmable) key.values.push_back({key.key + u"\\Programmable", u"", Kind::Key, u""});
  Add(key, u"InprocServer32", u"", kModulePath);
  Add(key, u"InprocServer32", u"ThreadingModel", std::u16string(threadingModel));
  Add(key, u"TypeLib", u"", table.libId.ToRegistryForm());
}

struct Interface {
  Guid iid;
  std::u16string_view name;
  bool dispatchOnly = false;  // a dispinterface (events): marshalled as IDispatch
};

// What a control container looks for besides the class: the "Control"
// mark, and the status bits it asks before creating the control (activate
// when visible, inside-out, site first, resized in place, no links).
void AddControl(Table& table, const Guid& clsid) {
  OwnedKey& key = table.keys.back();  // the class's own key
  const std::u16string clsidKey = u"Classes\\CLSID\\" + clsid.ToRegistryForm();
  key.values.push_back({clsidKey + u"\\Control", u"", Kind::Key, u""});
  Add(key, u"MiscStatus", u"", u"0");
  Add(key, u"MiscStatus\\1", u"", u"131473");
}

// The keys the system's type library registration writes for a library
// and its dual interfaces (marshalled by the automation marshaler). The
// library's FLAGS are 0: it is neither restricted, hidden nor a control.
// The interfaces are the vendor's: a key that names another type library
// or marshaler is the vendor's registration.
void AddTypeLibrary(Table& table, std::u16string_view description, Bitness bitness,
                    std::initializer_list<Interface> interfaces) {
  const std::u16string libId = table.libId.ToRegistryForm();
  const std::u16string version =
      FromUtf8(std::to_string(table.libMajor) + "." + std::to_string(table.libMinor));
  OwnedKey& library = Own(table, u"Classes\\TypeLib\\" + libId, table.classes);
  Add(library, version, u"", std::u16string(description));
  Add(library, version + u"\\FLAGS", u"", u"0");
  // Each bitness's path is its own; the rest of the library is shared.
  OwnedKey& path = Own(table, library.key + u"\\" + version + (bitness == Bitness::x64 ? u"\\0\\win64" : u"\\0\\win32"), {});
  Add(path, u"", u"", kModulePath);
  constexpr char16_t kAutomationMarshaler[] = u"{00020424-0000-0000-C000-000000000046}";
  constexpr char16_t kDispatchMarshaler[] = u"{00020420-0000-0000-C000-000000000046}";
  for (const Interface& each : interfaces) {
    const char16_t* marshaler = each.dispatchOnly ? kDispatchMarshaler : kAutomationMarshaler;
    OwnedKey& key = Own(table, u"Classes\\Interface\\" + each.iid.ToRegistryForm(), table.classes,
                        {{u"TypeLib", libId}, {u"ProxyStubClsid32", marshaler}});
    Add(key, u"", u"", std::u16string(each.name));
    Add(key, u"ProxyStubClsid", u"", marshaler);
    Add(key, u"ProxyStubClsid32", u"", marshaler);
    Add(key, u"TypeLib", u"", libId);
    Add(key, u"TypeLib", u"Version", version);
  }
}

}  // namespace

Table AddinTable(Bitness bitness) {
  Table table;
  table.dllName = u"CVMailArchiveOl.dll";
  table.libId = AddinIds::LibId;
  AddClass(table, AddinIds::ClsidConnect, AddinIds::kProgId, u"Connect Class", u"Apartment", true);
  AddTypeLibrary(table, u"CVMailArchiveOl 1.0 Type Library", bitness,
                 {{AddinIds::ICVMailArchiveOlCb, u"ICVMailArchiveOlCb"}});
  OwnedKey& addins =
      Own(table, u"Microsoft\\Office\\Outlook\\Addins\\" + std::u16string(AddinIds::kProgId), {AddinIds::ClsidConnect});
  Add(addins, u"", u"Description", u"Archiviert Ihre Mails in Arcsafen");
  Add(addins, u"", u"FriendlyName", u"Corvane Mailarchiv f\u00fcr Microsoft Outlook");
  addins.values.push_back({addins.key, u"LoadBehavior", Kind::Dword, u"", 3});
  return table;
}

// "Both": a writer made on Outlook's UI thread is called from the job's
// worker directly (with the free-threaded marshaler), never through the
// UI thread.
Table ComponentsTable(Bitness bitness) {
  Table table;
  table.dllName = u"CVMailComponents.dll";
  table.libId = ComponentIds::LibId;
  AddClass(table, ComponentIds::ClsidMailExport, Vendor::kMailExportProgId, u"CVMailExport Class", u"Both", false);
  AddClass(table, ComponentIds::ClsidEMail, Vendor::kEMailProgId, u"CVEMail Class", u"Both", false);
  // The controls live in the dialog's window on Outlook's UI thread.
  AddClass(table, ComponentIds::ClsidMailSelect, Vendor::kMailSelectProgId, u"CVMailSelect Control", u"Apartment",
           false);
  AddControl(table, ComponentIds::ClsidMailSelect);
  AddClass(table, ComponentIds::ClsidFolderSelect, Vendor::kFolderSelectProgId, u"CVFolderSelect Control",
           u"Apartment", false);
  AddControl(table, ComponentIds::ClsidFolderSelect);
  // Outlook's PropertyPage, which the folder tree implements, keeps
  // Outlook's own registration.
  AddTypeLibrary(table, u"Corvane Mail-Export-Komponenten", bitness,
                 {{Vendor::Iid::CVMailExport, u"ICVMailExport"},
                  {Vendor::Iid::CVEMail, u"ICVEMail"},
                  {Vendor::Iid::CVMailSelect, u"ICVMailSelect"},
                  {Vendor::Iid::CVMailSelectEvents, u"_ICVMailSelectEvents", true},
                  {Vendor::Iid::CVFolderSelect, u"ICVFolderSelect"}});
  return table;
}

}  // namespace CV::Win::Registry
