#include "dialogs/excluded_folders_dialog.h"

#include "foundation/com_error.h"
#include "foundation/string_table.h"
#include "contracts/selection_controls.h"

namespace CV {

void CDlgProperties::OnInitDialog(const ObjectPtr& control) {
  try {
    const Vendor::FolderSelect select(QueryObject(control, Vendor::FolderSelect::kIid));
    select.Application(m_spApplication.Object());
    select.Mode(-1);
    select.SettingsKey(StringTableText(StringId::SettingsSubkey));
  } catch (const ComError&) {
    // A control that refuses its settings shows what it can; OK still works.
  }
}

void CDlgProperties::OnOK(const ObjectPtr& control) {
  try {
    const Vendor::PropertyPage page(QueryObject(control, Vendor::PropertyPage::kIid));
    if (page.Dirty()) page.Apply();
  } catch (const ComError&) {
    // The dialog closes with OK all the same.
  }
}

}  // namespace CV
