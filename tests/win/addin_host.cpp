#include "win/addin_host.h"

#include <gdiplus.h>

#include <cstdlib>

#include "foundation/com_error.h"
#include "win/com/com_support.h"

namespace CV::Host {

std::wstring AddinDll() {
  // The build's DLL, or another one (a release build) named by the
  // environment; both POSIX paths: Wine's drive Z: is the root.
  std::string path = CV_ADDIN_DLL;
  if (const char* other = std::getenv("CV_ADDIN_DLL"); other && *other) path = other;
  std::wstring out = L"Z:";
  for (char c : path) out += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return out;
}

DWORD Run(const std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return ~0u;
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = ~0u;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

DWORD Regsvr32(const std::wstring& options) { return Run(L"regsvr32.exe /s " + options + L" \"" + AddinDll() + L"\""); }

HRESULT RegisterOutlookInterfaces() {
  static const HRESULT result = [] {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    Win::ComPtr<ITypeLib> library;
    return ::LoadTypeLibEx(exe, REGKIND_REGISTER, library.Put());
  }();
  return result;
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD bytes = sizeof value - sizeof(wchar_t);
  if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(value);
}

std::optional<DWORD> ReadDword(HKEY root, const std::wstring& path, const wchar_t* name) {
  DWORD value = 0, bytes = sizeof value;
  if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return true;
}

HRESULT CreateAddin(Win::ComPtr<_IDTExtensibility2>& addin) {
  CLSID clsid{};
  HRESULT hr = ::CLSIDFromProgID(L"CVMailArchiveOl.Connect", &clsid);
  if (FAILED(hr)) return hr;
  return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(_IDTExtensibility2),
                            reinterpret_cast<void**>(addin.Put()));
}

Variant InvokeByName(IDispatch* dispatch, const wchar_t* name, std::vector<Variant> args, WORD flags) {
  DISPID dispid = DISPID_UNKNOWN;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  CheckCom(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid));
  std::vector<VARIANT> raw(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) Win::FromVariant(args[i], &raw[args.size() - 1 - i]);
  DISPPARAMS params{raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
  VARIANT result;
  ::VariantInit(&result);
  EXCEPINFO exception{};
  HRESULT hr = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &exception, nullptr);
  for (auto& v : raw) ::VariantClear(&v);
  // A method's own failure comes back as an exception: its HRESULT is the scode.
  if (hr == DISP_E_EXCEPTION && FAILED(exception.scode)) hr = exception.scode;
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  CheckCom(hr);
  Variant out = Win::ToVariant(result);
  ::VariantClear(&result);
  return out;
}

}  // namespace CV::Host

namespace CV::Host {

namespace {

// A named callback: 32-bit Windows calls it stdcall, which a lambda is not.
BOOL CALLBACK CollectOwnWindow(HWND window, LPARAM param) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == ::GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> ProcessWindows() {
  std::vector<HWND> windows;
  ::EnumWindows(CollectOwnWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND FindDialog(const std::function<bool(HWND)>& accept) {
  for (HWND window : ProcessWindows()) {
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (std::wstring(className) == L"#32770" && ::IsWindowVisible(window) && accept(window)) return window;
  }
  return nullptr;
}

HWND FindMessageBox(const std::wstring& title) {
  return FindDialog([&](HWND w) { return WindowText(w) == title && !::GetDlgItem(w, 204); });
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring StaticTexts(HWND window) {
  std::wstring joined;
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[64] = {};
    ::GetClassNameW(child, className, 64);
    if (::lstrcmpiW(className, L"Static") != 0) continue;
    if (!joined.empty()) joined += L'\n';
    joined += WindowText(child);
  }
  return joined;
}

bool SaveScreenshot(HWND window, const std::wstring& name) {
  RECT rect{};
  if (!::GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  const bool copied = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  bool saved = false;
  if (copied) {
    namespace Gp = Gdiplus::DllExports;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
      Gdiplus::GpBitmap* image = nullptr;
      if (Gp::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
        static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        std::wstring path = L"Z:";
        for (char c : std::string(CV_SCREENSHOT_DIR)) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
        ::CreateDirectoryW(path.c_str(), nullptr);
        path += L"\\" + name + L".png";
        saved = Gp::GdipSaveImageToFile(image, path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
        Gp::GdipDisposeImage(image);
      }
      Gdiplus::GdiplusShutdown(token);
    }
  }
  ::DeleteObject(bitmap);
  return saved;
}

}  // namespace CV::Host
