#include "win/components/outcome_message.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "win/module.h"

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
    const std::wstring arguments = L"/select,\"" + message->container + L"\"";
    ::ShellExecuteW(nullptr, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL);
  }
  return 0;
}

std::wstring Wide(const std::u16string& text) { return {text.begin(), text.end()}; }

// The user reads, and the shell opens, paths without the long-path prefix.
std::filesystem::path Readable(const std::filesystem::path& path) {
  const std::wstring text = path.wstring();
  if (text.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + text.substr(8);
  if (text.starts_with(L"\\\\?\\")) return text.substr(4);
  return path;
}

}  // namespace

void ShowOutcomeSoon(const CV::Components::ExportOutcome& written) {
  CV::Components::ExportOutcome outcome = written;
  if (outcome.container) outcome.container = Readable(*outcome.container);
  auto message = std::make_unique<Message>();
  message->text = Wide(CV::Components::OutcomeMessage(outcome));
  if (outcome.container) {
    message->text += L"\n\nMöchten Sie den Ordner öffnen?";
    message->container = outcome.container->wstring();
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
