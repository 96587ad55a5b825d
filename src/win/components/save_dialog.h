// The save dialog of the container writer: the system's common item dialog
// in German, for a "Mail-Archiv (*.zip)", with a "Kommentar" field of its
// own and an overwrite question.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace CV::Win::Components {

struct SaveChoice {
  std::wstring file;
  std::wstring comment;
};

// Shows the dialog owned by owner (may be null), starting in folder with
// fileName. Null when the user cancelled; throws ComError when the dialog
// cannot be shown.
std::optional<SaveChoice> AskWhereToSave(HWND owner, const std::wstring& folder, const std::wstring& fileName);

// The dialog's window title, for the user and for tests that look for it.
inline constexpr wchar_t kSaveDialogTitle[] = L"Mail-Archiv speichern";

}  // namespace CV::Win::Components
