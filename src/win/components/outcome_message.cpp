#include "win/components/outcome_message.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <memory>

#include "win/com/module.h"

namespace CV::Win::Components {
namespace {

struct Message {
  std::wstring text;
  std::wstring container;  // empty: nothing to open
};

DWORD WINAPI ShowMessage(void* parameter) {
  const std::unique_ptr<Message> message(static_cast<Message*>(parameter));
  const bool written = !message->container.empty();
  const UINT style = (written ? MB_YESNO | MB_ICONINFORMATION : MB_OK | MB_ICONWARNING) | MB_SETFOREGROUND | MB_TOPMOST;
  const int answer = ::MessageBoxW(nullptr, message->text.c_str(), kOutcomeTitle, style);
  if (written && answer == IDYES) {
    // The shell may hand the work to COM objects: this thread is an
    // apartment of its own first.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::wstring arguments = L"/select,\"" + message->container + L"\"";
    ::ShellExecuteW(nullptr, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
    if (SUCCEEDED(com)) ::CoUninitialize();
  }
  return 0;
}

std::wstring Wide(const std::u16string& text) { return {text.begin(), text.end()}; }

}  // namespace

// The container's path is the user's already: without the long-path
// prefix, which the shell would not take.
void ShowOutcomeSoon(const CV::Components::ExportOutcome& outcome) {
  auto message = std::make_unique<Message>();
  message->text = Wide(CV::Components::OutcomeMessage(outcome));
  if (outcome.container) {
    message->text += L"\n\nMöchten Sie den Ordner öffnen?";
    message->container = Wide(*outcome.container);
  }
  Module::Pin();  // the thread runs this DLL's code to its end
  if (HANDLE thread = ::CreateThread(nullptr, 0, &ShowMessage, message.get(), 0, nullptr)) {
    message.release();
    ::CloseHandle(thread);
  } else {
    ::OutputDebugStringW(message->text.c_str());  // no thread to show it: at least where a debugger sees it
  }
}

}  // namespace CV::Win::Components
