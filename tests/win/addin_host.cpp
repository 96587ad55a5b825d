#include "win/addin_host.h"

#include <cstdlib>

#include "foundation/com_error.h"
#include "win/com_support.h"

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
  const HRESULT hr = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, nullptr, nullptr);
  for (auto& v : raw) ::VariantClear(&v);
  CheckCom(hr);
  Variant out = Win::ToVariant(result);
  ::VariantClear(&result);
  return out;
}

}  // namespace CV::Host
