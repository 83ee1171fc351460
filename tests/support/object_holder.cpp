// Helper of the tests: another process that holds, abandons or probes the
// global named objects, as a second installer or the running product would.
//
//   qv_object_holder mutex <name> <ready-event> <quit-event>
//       takes the mutex, signals ready, waits for quit, releases it
//   qv_object_holder abandon <name> <ready-event>
//       takes the mutex and ends without releasing it
//   qv_object_holder semaphore <name> <ready-event> <quit-event>
//       adds one unit, signals ready, waits for quit, takes the unit back
//   qv_object_holder probe <name>
//       exit 0: the mutex could be taken at once (and is released again),
//       1: it is held elsewhere, 3: it was abandoned, 2: it cannot be opened
#include <windows.h>
#include <string>

namespace {
struct handle {
  HANDLE h = nullptr;
  ~handle() {
    if (h) ::CloseHandle(h);
  }
};

bool signal(const wchar_t* name) {
  handle e{::OpenEventW(EVENT_MODIFY_STATE, FALSE, name)};
  return e.h && ::SetEvent(e.h);
}

bool wait_event(const wchar_t* name) {
  handle e{::OpenEventW(SYNCHRONIZE, FALSE, name)};
  return e.h && ::WaitForSingleObject(e.h, 120000) == WAIT_OBJECT_0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 10;
  std::wstring mode = argv[1];
  const wchar_t* name = argv[2];
  if (mode == L"mutex" && argc == 5) {
    handle m{::CreateMutexW(nullptr, FALSE, name)};
    if (!m.h) return 11;
    DWORD w = ::WaitForSingleObject(m.h, 60000);
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) return 12;
    if (!signal(argv[3])) return 13;
    bool ok = wait_event(argv[4]);
    ::ReleaseMutex(m.h);
    return ok ? 0 : 14;
  }
  if (mode == L"abandon" && argc == 4) {
    HANDLE m = ::CreateMutexW(nullptr, FALSE, name);
    if (!m) return 11;
    DWORD w = ::WaitForSingleObject(m, 60000);
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) return 12;
    if (!signal(argv[3])) return 13;
    ::ExitProcess(0);  // still owning it: the mutex is abandoned
  }
  if (mode == L"semaphore" && argc == 5) {
    handle s{::CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, name)};
    if (!s.h || !::ReleaseSemaphore(s.h, 1, nullptr)) return 11;
    if (!signal(argv[3])) return 13;
    bool ok = wait_event(argv[4]);
    ::WaitForSingleObject(s.h, 0);
    return ok ? 0 : 14;
  }
  if (mode == L"probe" && argc == 3) {
    handle m{::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name)};
    if (!m.h) return 2;
    DWORD w = ::WaitForSingleObject(m.h, 0);
    if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) ::ReleaseMutex(m.h);
    return w == WAIT_OBJECT_0 ? 0 : w == WAIT_ABANDONED ? 3 : 1;
  }
  return 10;
}
