#include "win/components/save_dialog.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "foundation/com_error.h"
#include "win/com/com_ptr.h"

namespace CV::Win::Components {
namespace {

enum : DWORD { kCommentLabel = 1, kComment = 2 };

// The shell parses no long-path prefix.
std::wstring WithoutLongPathPrefix(const std::wstring& path) {
  if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (path.starts_with(L"\\\\?\\")) return path.substr(4);
  return path;
}

// The folder as a shell item: the one given when it exists, else Documents.
ComPtr<IShellItem> StartFolder(const std::wstring& given) {
  const std::wstring folder = WithoutLongPathPrefix(given);
  ComPtr<IShellItem> item;
  const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      SUCCEEDED(::SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(item.Put()))))
    return item;
  item.Reset();
  if (FAILED(::SHGetKnownFolderItem(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, IID_IShellItem,
                                    reinterpret_cast<void**>(item.Put()))))
    item.Reset();  // the dialog's own choice then
  return item;
}

}  // namespace

std::optional<SaveChoice> AskWhereToSave(HWND owner, const std::wstring& folder, const std::wstring& fileName) {
  ComPtr<IFileSaveDialog> dialog;
  CheckCom(::CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSaveDialog,
                              reinterpret_cast<void**>(dialog.Put())));
  const COMDLG_FILTERSPEC types[] = {{L"Mail-Archiv (*.zip)", L"*.zip"}};
  CheckCom(dialog->SetFileTypes(1, types));
  CheckCom(dialog->SetDefaultExtension(L"zip"));
  CheckCom(dialog->SetTitle(kSaveDialogTitle));
  CheckCom(dialog->SetOkButtonLabel(L"Speichern"));
  CheckCom(dialog->SetFileNameLabel(L"Dateiname:"));
  if (const ComPtr<IFileDialog2> labelled = dialog.TryQuery<IFileDialog2>(IID_IFileDialog2))
    labelled->SetCancelButtonLabel(L"Abbrechen");  // where the system has no German of its own
  CheckCom(dialog->SetFileName(fileName.c_str()));
  FILEOPENDIALOGOPTIONS options = 0;
  CheckCom(dialog->GetOptions(&options));
  CheckCom(dialog->SetOptions(options | FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST |
                              FOS_NOREADONLYRETURN | FOS_STRICTFILETYPES));
  if (const ComPtr<IShellItem> start = StartFolder(folder)) CheckCom(dialog->SetFolder(start.Get()));
  const ComPtr<IFileDialogCustomize> customize = dialog.Query<IFileDialogCustomize>(IID_IFileDialogCustomize);
  CheckCom(customize->AddText(kCommentLabel, L"Kommentar:"));
  CheckCom(customize->AddEditBox(kComment, L""));

  const HRESULT shown = dialog->Show(owner);
  if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return std::nullopt;
  CheckCom(shown);
  ComPtr<IShellItem> result;
  CheckCom(dialog->GetResult(result.Put()));
  SaveChoice choice;
  wchar_t* text = nullptr;
  CheckCom(result->GetDisplayName(SIGDN_FILESYSPATH, &text));
  choice.file = text;
  ::CoTaskMemFree(text);
  text = nullptr;
  if (SUCCEEDED(customize->GetEditBoxText(kComment, &text)) && text) {
    choice.comment = text;
    ::CoTaskMemFree(text);
  }
  return choice;
}

}  // namespace CV::Win::Components
