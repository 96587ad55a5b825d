#include "win/registration_table.h"

#include <initializer_list>
#include <string>

#include "addin/addin_ids.h"
#include "foundation/utf.h"
#include "components/component_ids.h"
#include "vendor/vendor_ids.h"

namespace CV::Win::Registry {
namespace {

using Kind = Value::Kind;

// The entries of one in-process class: its ProgIDs, CLSID key and server.
void AddClass(Table& table, const Guid& clsid, std::u16string_view progId, std::u16string_view className,
              std::u16string_view threadingModel, bool programmable) {
  const std::u16string id = clsid.ToRegistryForm(), prog(progId), versioned = prog + u".1";
  const std::u16string classes = u"Classes\\", clsidKey = classes + u"CLSID\\" + id;
  table.ownedKeys.insert(table.ownedKeys.end(), {classes + versioned, classes + prog, clsidKey});
  const auto add = [&](std::u16string key, std::u16string name, std::u16string text) {
    table.values.push_back({std::move(key), std::move(name), Kind::String, std::move(text)});
  };
  add(classes + versioned, u"", std::u16string(className));
  add(classes + versioned + u"\\CLSID", u"", id);
  add(classes + prog, u"", std::u16string(className));
  add(classes + prog + u"\\CLSID", u"", id);
  add(classes + prog + u"\\CurVer", u"", versioned);
  add(clsidKey, u"", std::u16string(className));
  add(clsidKey + u"\\ProgID", u"", versioned);
  add(clsidKey + u"\\VersionIndependentProgID", u"", prog);
  if (programmable) table.values.push_back({clsidKey + u"\\Programmable", u"", Kind::Key, u""});
  add(clsidKey + u"\\InprocServer32", u"", kModulePath);
  add(clsidKey + u"\\InprocServer32", u"ThreadingModel", std::u16string(threadingModel));
  add(clsidKey + u"\\TypeLib", u"", table.libId.ToRegistryForm());
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
  const std::u16string clsidKey = u"Classes\\CLSID\\" + clsid.ToRegistryForm();
  table.values.push_back({clsidKey + u"\\Control", u"", Kind::Key, u""});
  table.values.push_back({clsidKey + u"\\MiscStatus", u"", Kind::String, u"0"});
  table.values.push_back({clsidKey + u"\\MiscStatus\\1", u"", Kind::String, u"131473"});
}

// The keys the system's type library registration writes for a library
// and its dual interfaces (marshalled by the automation marshaler). The
// library's FLAGS are 0: it is neither restricted, hidden nor a control.
void AddTypeLibrary(Table& table, std::u16string_view description, Bitness bitness,
                    std::initializer_list<Interface> interfaces) {
  const std::u16string libId = table.libId.ToRegistryForm();
  const std::u16string version =
      FromUtf8(std::to_string(table.libMajor) + "." + std::to_string(table.libMinor));
  const std::u16string libKey = u"Classes\\TypeLib\\" + libId, versionKey = libKey + u"\\" + version;
  table.ownedKeys.push_back(libKey);
  const auto add = [&](std::u16string key, std::u16string name, std::u16string text) {
    table.values.push_back({std::move(key), std::move(name), Kind::String, std::move(text)});
  };
  add(versionKey, u"", std::u16string(description));
  add(versionKey + (bitness == Bitness::x64 ? u"\\0\\win64" : u"\\0\\win32"), u"", kModulePath);
  add(versionKey + u"\\FLAGS", u"", u"0");
  constexpr char16_t kAutomationMarshaler[] = u"{00020424-0000-0000-C000-000000000046}";
  constexpr char16_t kDispatchMarshaler[] = u"{00020420-0000-0000-C000-000000000046}";
  for (const Interface& each : interfaces) {
    const char16_t* marshaler = each.dispatchOnly ? kDispatchMarshaler : kAutomationMarshaler;
    const std::u16string key = u"Classes\\Interface\\" + each.iid.ToRegistryForm();
    table.ownedKeys.push_back(key);
    add(key, u"", std::u16string(each.name));
    add(key + u"\\ProxyStubClsid", u"", marshaler);
    add(key + u"\\ProxyStubClsid32", u"", marshaler);
    add(key + u"\\TypeLib", u"", libId);
    add(key + u"\\TypeLib", u"Version", version);
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
  const std::u16string addins = u"Microsoft\\Office\\Outlook\\Addins\\" + std::u16string(AddinIds::kProgId);
  table.ownedKeys.push_back(addins);
  table.values.push_back({addins, u"Description", Kind::String, u"Archiviert Ihre Mails in Arcsafen"});
  table.values.push_back({addins, u"FriendlyName", Kind::String, u"Corvane Mailarchiv f\u00fcr Microsoft Outlook"});
  table.values.push_back({addins, u"LoadBehavior", Kind::Dword, u"", 3});
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
