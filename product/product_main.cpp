// Stand-in for the product's main program "Tavimora.exe", shipped in the
// payload. It does what the installer relies on of the real program:
//
// - "/Register" registers the program's document type ".tvm" under
//   HKEY_CLASSES_ROOT (an open command that names this program, and its
//   icon) and ends with exit code -10; "/Background" and "/update=<16 hex
//   digits>" are accepted beside it.
// - While it runs it holds one unit of the running-instances semaphore of
//   its application identifier, as every program of the application does.
// - Without "/Register" it shows a small window until it is closed.
// - It keeps the command line it was started with, its working folder, show
//   command and priority class under
//   HKEY_CURRENT_USER\Software\Quorvane Systems\Tavimora 2.
//
// Tests choose a misbehaviour with the environment variable
// QV_TAVIMORA_TEST_SEAM: "refuse-register" ends with exit code 1 without
// registering; "exit:<n>" registers and ends with exit code n.
#include "support/app_identity.hpp"
#include "support/handle.hpp"
#include "support/registry.hpp"
#include "support/version_info.hpp"
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <cstdlib>
#include <string>

namespace {

constexpr wchar_t kDocumentExtension[] = L".tvm";
constexpr wchar_t kDocumentType[] = L"Tavimora2.Document";
constexpr wchar_t kDocumentTypeName[] = L"Tavimora 2 Document";
constexpr wchar_t kProgramKey[] = L"Software\\Quorvane Systems\\Tavimora 2";
constexpr wchar_t kWindowClass[] = L"Tavimora2.MainWindow";
constexpr int kExitRegistered = -10;

std::wstring own_path() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

std::wstring seam() {
  wchar_t value[64] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"QV_TAVIMORA_TEST_SEAM", value, 64);
  return n > 0 && n < 64 ? std::wstring(value, n) : std::wstring();
}

void remember_start() noexcept {
  try {
    qv::reg_key key = qv::create_key(HKEY_CURRENT_USER, kProgramKey);
    qv::write_string(key, L"Last Command Line", ::GetCommandLineW());
    wchar_t folder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    qv::write_string(key, L"Last Working Folder", folder);
    // How it was started: the show command and the priority class.
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const DWORD show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : 0xFFFFFFFFu;
    const DWORD priority = ::GetPriorityClass(::GetCurrentProcess());
    ::RegSetValueExW(key, L"Last Show Command", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&show), sizeof show);
    ::RegSetValueExW(key, L"Last Priority Class", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&priority),
                     sizeof priority);
  } catch (...) {
  }
}

bool register_document_type() noexcept {
  try {
    const std::wstring program = own_path();
    qv::write_string(qv::create_key(HKEY_CLASSES_ROOT, kDocumentExtension), L"", kDocumentType);
    qv::reg_key type = qv::create_key(HKEY_CLASSES_ROOT, kDocumentType);
    qv::write_string(type, L"", kDocumentTypeName);
    qv::write_string(qv::create_key(type, L"DefaultIcon"), L"", program + L",0");
    qv::write_string(qv::create_key(type, L"shell\\open\\command"), L"", L"\"" + program + L"\" \"%1\"");
    return true;
  } catch (...) {
    return false;
  }
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

int show_window(HINSTANCE instance, int show) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = window_proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kWindowClass;
  if (!::RegisterClassW(&wc)) return 1;
  HWND hwnd = ::CreateWindowExW(0, kWindowClass, L"Tavimora 2", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                360, 200, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ::ShowWindow(hwnd, show);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  std::wstring id = qv::version_info().query(L"ApplicationId");
  if (id.empty()) id = L"Tavimora2";
  qv::instance_counter running(id + qv::kInstanceCountSuffix);
  remember_start();

  bool do_register = false;
  int argc = 0;
  const qv::local_memory<LPWSTR> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  for (int i = 1; argv && i < argc; ++i)
    if (::StrCmpIW(argv.get()[i], L"/Register") == 0) do_register = true;
  // "/Background" and "/update=" change nothing a stand-in could show.
  if (!do_register) return show_window(instance, show);

  const std::wstring test_seam = seam();
  if (test_seam == L"refuse-register") return 1;
  if (!register_document_type()) return 1;
  if (test_seam.rfind(L"exit:", 0) == 0) return static_cast<int>(std::wcstol(test_seam.c_str() + 5, nullptr, 10));
  return kExitRegistered;
}
