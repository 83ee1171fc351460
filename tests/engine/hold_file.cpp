// Test helper: holds a file open the way a virus scanner may just after it
// was written, reading it without letting anyone else read it.
//   engine_hold_file <path> <milliseconds> <event name> [exclusive]
// With "exclusive" the file is held without any sharing, as an editor or a
// running program may hold an earlier file when an update replaces it.
// Opens the file (retrying while the writer still has it), signals the
// named event, holds the file for the given time and exits with 0.
#include <windows.h>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 && argc != 5) return 2;
  const bool exclusive = argc == 5 && std::wcscmp(argv[4], L"exclusive") == 0;
  DWORD hold = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (!ready) return 3;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 1000 && file == INVALID_HANDLE_VALUE; ++i) {
    // Writers are let in, readers are not.
    file = ::CreateFileW(argv[1], GENERIC_READ, exclusive ? 0 : FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) ::Sleep(10);
  }
  if (file == INVALID_HANDLE_VALUE) {
    ::CloseHandle(ready);
    return 4;
  }
  ::SetEvent(ready);
  ::CloseHandle(ready);
  ::Sleep(hold);
  ::CloseHandle(file);
  return 0;
}
