#include "win/com/module.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace CV::Win::Module {
namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_locks{0};

std::mutex g_classesLock;
std::vector<std::wstring> g_classes;

// The module goes: its classes go with it.
void UnregisterWindowClasses() {
  const std::lock_guard lock(g_classesLock);
  for (const std::wstring& name : g_classes) ::UnregisterClassW(name.c_str(), g_instance);
  g_classes.clear();
}

}  // namespace

HINSTANCE Instance() noexcept { return g_instance; }

std::wstring Path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void Lock() noexcept { ++g_locks; }
void Unlock() noexcept { --g_locks; }
long LockCount() noexcept { return g_locks; }

ATOM RegisterWindowClass(const WNDCLASSW& windowClass) {
  ATOM atom = ::RegisterClassW(&windowClass);
  if (!atom && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
    // Left by an earlier load of this module: its procedure points into the
    // old image.
    ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
    atom = ::RegisterClassW(&windowClass);
  }
  if (atom) {
    const std::lock_guard lock(g_classesLock);
    g_classes.emplace_back(windowClass.lpszClassName);
  }
  return atom;
}

void Pin() noexcept {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&Pin), &self);
}

}  // namespace CV::Win::Module

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    CV::Win::Module::g_instance = instance;
  }
  // Unloaded while the process lives on (reserved is null): at the process's
  // end its classes go anyway.
  if (reason == DLL_PROCESS_DETACH && !reserved) CV::Win::Module::UnregisterWindowClasses();
  return TRUE;
}
