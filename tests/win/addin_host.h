// What the Wine tests of the add-in DLL do as Office and Outlook would:
// register the DLL with regsvr32, create the add-in by its ProgID, call it
// through its interfaces and its IDispatch, and expose the simulated Outlook
// to it as real COM objects.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cvmailarchiveol.h"
#include "foundation/variant.h"
#include "win/com/com_ptr.h"
#include "win/sta.h"

namespace CV::Host {

// The DLL under test, as a Windows path.
std::wstring AddinDll();

// Runs a command line and returns its exit code (or ~0u when it could not start).
DWORD Run(const std::wstring& commandLine);
DWORD Regsvr32(const std::wstring& options);

// Registers the test copy of Outlook's interfaces (once per process).
HRESULT RegisterOutlookInterfaces();

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const wchar_t* name = nullptr);
std::optional<DWORD> ReadDword(HKEY root, const std::wstring& path, const wchar_t* name);
bool KeyExists(HKEY root, const std::wstring& path);

// Serves the apartment (messages and COM calls) until done() or the bound.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound);

// Creates the add-in by its ProgID, as Outlook does.
HRESULT CreateAddin(Win::ComPtr<_IDTExtensibility2>& addin);

// Calls a member of a real IDispatch by name with the given [in] arguments
// (in order) and returns the result; failures throw ComError.
Variant InvokeByName(IDispatch* dispatch, const wchar_t* name, std::vector<Variant> args, WORD flags = DISPATCH_METHOD);

}  // namespace CV::Host

namespace CV::Host {

// The top-level windows of this process.
std::vector<HWND> ProcessWindows();
// A visible top-level dialog window ("#32770") of this process for which
// accept() holds, or null.
HWND FindDialog(const std::function<bool(HWND)>& accept);
std::wstring WindowText(HWND window);
// A message box (or question) of this process with the given caption: a
// dialog without the progress bar that the writer's progress window, of the
// same caption, has.
HWND FindMessageBox(const std::wstring& title);
// The texts of a window's "Static" children, joined by newlines.
std::wstring StaticTexts(HWND window);
// Saves what the screen shows of the window as a PNG file in the build
// tree's screenshots folder (through GDI+); false when it could not.
bool SaveScreenshot(HWND window, const std::wstring& name);

}  // namespace CV::Host
