#include "win/module.h"

#include <atomic>

namespace CV::Win::Module {
namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_locks{0};

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

void Pin() noexcept {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&Pin), &self);
}

}  // namespace CV::Win::Module

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    CV::Win::Module::g_instance = instance;
  }
  return TRUE;
}
