// hold_file.exe MODE PATH MILLISECONDS EVENT: another program that holds a
// file for a while, as a virus scanner or the preview pane does, in a
// process of its own. MODE "read" opens PATH for reading without delete
// sharing; "part" creates it and takes the writer's owner lock on it (a
// live export's temporary container). The named event is set once the
// file is held; the file is let go after MILLISECONDS.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  const std::wstring mode = argv[1];
  const bool part = mode == L"part";
  HANDLE file = ::CreateFileW(argv[2], GENERIC_READ | (part ? GENERIC_WRITE : 0), FILE_SHARE_READ, nullptr,
                              part ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  if (part) {
    OVERLAPPED at{};
    at.OffsetHigh = 0x40000000;  // byte 2^62, where the writer locks
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return 4;
  }
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[4]);
  if (!ready) return 5;
  ::SetEvent(ready);
  ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  ::CloseHandle(file);
  return 0;
}
