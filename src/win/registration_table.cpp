#include "win/registration_table.h"

#include "addin/addin_ids.h"
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

}  // namespace

Table AddinTable() {
  Table table;
  table.dllName = u"CVMailArchiveOl.dll";
  table.libId = AddinIds::LibId;
  AddClass(table, AddinIds::ClsidConnect, AddinIds::kProgId, u"Connect Class", u"Apartment", true);
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
Table ComponentsTable() {
  Table table;
  table.dllName = u"CVMailComponents.dll";
  table.libId = ComponentIds::LibId;
  AddClass(table, ComponentIds::ClsidMailExport, Vendor::kMailExportProgId, u"CVMailExport Class", u"Both", false);
  AddClass(table, ComponentIds::ClsidEMail, Vendor::kEMailProgId, u"CVEMail Class", u"Both", false);
  return table;
}

}  // namespace CV::Win::Registry
