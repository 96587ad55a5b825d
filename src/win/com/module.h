// A DLL's module: its instance handle and path, and the lock count that
// DllCanUnloadNow reports (every live add-in object and class factory lock
// holds one).
#pragma once

#include <windows.h>

#include <string>

namespace CV::Win::Module {

HINSTANCE Instance() noexcept;
// The full path of the DLL file.
std::wstring Path();

void Lock() noexcept;
void Unlock() noexcept;
long LockCount() noexcept;

// Registers a window class of this module. Windows keeps a DLL's classes
// past FreeLibrary: one left by an earlier load of this module is replaced,
// and every class registered here is unregistered when the module is
// unloaded, so that a reload (COM unloads idle servers) can register again.
ATOM RegisterWindowClass(const WNDCLASSW& windowClass);

// Keeps the DLL loaded for the rest of the process; a worker thread pins it
// so that its code is never unloaded under it.
void Pin() noexcept;

// Holds one module lock for its lifetime.
class ScopedLock {
 public:
  ScopedLock() noexcept { Lock(); }
  ~ScopedLock() { Unlock(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;
};

}  // namespace CV::Win::Module
