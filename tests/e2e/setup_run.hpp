// setup.exe started under a debugger thread of the test program, which
// collects its start-up trace ("qv-startup: <stage>") from
// OutputDebugString, and the wizard it shows, found among its windows.
#pragma once
#include "tests/common/test_support.hpp"
#include "tests/common/box_driver.hpp"
#include <windows.h>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qvtest {

inline std::wstring setup_path() { return qvtest::binary_dir() + L"\\setup.exe"; }

// setup.exe (or a copy of it) started under a debugger thread that collects
// its debug output.
class setup_run {
public:
  explicit setup_run(std::wstring program = setup_path()) : program_(std::move(program)) {
    started_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { debug_loop(); });
    ::WaitForSingleObject(started_, 30000);
  }
  ~setup_run() {
    if (process_) ::TerminateProcess(process_, 259);
    if (thread_.joinable()) thread_.join();
    ::CloseHandle(started_);
  }
  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_; }
  // Waits for the end; the exit code, or -1 on time-out.
  long wait(DWORD timeout_ms = 60000) {
    if (!process_ || ::WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return -1;
    if (thread_.joinable()) thread_.join();
    return exit_code_;
  }
  std::vector<std::string> stages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stages_;
  }
  bool reached(const std::string& stage) {
    for (const std::string& s : stages())
      if (s == stage) return true;
    return false;
  }

private:
  void debug_loop() {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring command = qvtest::quote(program_);
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                          &si, &pi)) {
      ::SetEvent(started_);
      return;
    }
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    ::SetEvent(started_);
    bool first_breakpoint = true;
    for (;;) {
      DEBUG_EVENT event{};
      if (!::WaitForDebugEvent(&event, 120000)) break;
      DWORD status = DBG_CONTINUE;
      switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
          if (event.u.CreateProcessInfo.hFile) ::CloseHandle(event.u.CreateProcessInfo.hFile);
          break;
        case LOAD_DLL_DEBUG_EVENT:
          if (event.u.LoadDll.hFile) ::CloseHandle(event.u.LoadDll.hFile);
          break;
        case EXCEPTION_DEBUG_EVENT:
          if (first_breakpoint && event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT)
            first_breakpoint = false;
          else
            status = DBG_EXCEPTION_NOT_HANDLED;
          break;
        case OUTPUT_DEBUG_STRING_EVENT: {
          const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
          std::string text;
          if (!info.fUnicode) {
            std::vector<char> buffer(info.nDebugStringLength + 1);
            SIZE_T got = 0;
            if (::ReadProcessMemory(process_, info.lpDebugStringData, buffer.data(), info.nDebugStringLength, &got))
              text.assign(buffer.data(), strnlen(buffer.data(), got));
          }
          const std::string prefix = "qv-startup: ";
          if (text.compare(0, prefix.size(), prefix) == 0) {
            std::string stage = text.substr(prefix.size());
            while (!stage.empty() && (stage.back() == '\n' || stage.back() == '\r')) stage.pop_back();
            std::lock_guard<std::mutex> lock(mutex_);
            stages_.push_back(stage);
          }
          break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
          exit_code_ = static_cast<long>(event.u.ExitProcess.dwExitCode);
          ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
          return;
      }
      ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
  }

  std::wstring program_;
  HANDLE started_ = nullptr;
  std::thread thread_;
  std::atomic<HANDLE> process_{nullptr};
  std::atomic<DWORD> pid_{0};
  long exit_code_ = -1;
  std::mutex mutex_;
  std::vector<std::string> stages_;
};

// The wizard frame of process `pid`: its visible dialog with the logo's
// background control 1005; null when none appears within `timeout_ms`.
inline HWND find_wizard(DWORD pid, DWORD timeout_ms = 30000, HANDLE stop = nullptr) {
  DWORD start = ::GetTickCount();
  for (;;) {
    for (HWND h : dialog_boxes(pid))
      if (::GetDlgItem(h, 1005)) return h;
    if (::GetTickCount() - start > timeout_ms) return nullptr;
    if (stop && ::WaitForSingleObject(stop, 50) == WAIT_OBJECT_0) return nullptr;
    if (!stop) ::Sleep(50);
  }
}

struct page_search {
  int id;
  HWND found = nullptr;
};

inline BOOL CALLBACK find_page(HWND child, LPARAM lp) {
  auto* s = reinterpret_cast<page_search*>(lp);
  if (class_name(child) == L"#32770" && ::GetDlgItem(child, s->id)) {
    s->found = child;
    return FALSE;
  }
  return TRUE;
}

// Page `n` of the wizard `frame`, by a control only it has: 1023 start,
// 1018 method, 1008 folder, 1012 shortcuts, 1015 installation, and the end
// page's 1016 without 1023.
inline HWND wizard_page(HWND frame, int n) {
  static const int marker[] = {1023, 1018, 1008, 1012, 1015, 1016};
  if (n < 0 || n > 5) return nullptr;
  if (n == 5) {
    for (HWND h = ::GetWindow(frame, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT))
      if (class_name(h) == L"#32770" && ::GetDlgItem(h, 1016) && !::GetDlgItem(h, 1023)) return h;
    return nullptr;
  }
  page_search s{marker[n]};
  ::EnumChildWindows(frame, find_page, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The page of `frame` that is shown; -1 when none is.
inline int current_page(HWND frame) {
  for (int n = 0; n < 6; ++n)
    if (::IsWindowVisible(wizard_page(frame, n))) return n;
  return -1;
}

// A box or dialog of `pid` owned by `owner`.
inline HWND wait_for_owned(DWORD pid, HWND owner, DWORD timeout_ms = 10000) {
  DWORD start = ::GetTickCount();
  do {
    for (HWND h : dialog_boxes(pid))
      if (::GetWindow(h, GW_OWNER) == owner) return h;
    ::Sleep(50);
  } while (::GetTickCount() - start < timeout_ms);
  return nullptr;
}

// Ends the wizard as a user would: Exit, and Yes when it asks.
inline bool close_wizard(DWORD pid, HANDLE process) {
  HWND wizard = find_wizard(pid, 30000, process);
  if (!wizard) return false;
  ::PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  for (int i = 0; i < 100; ++i) {
    if (::WaitForSingleObject(process, 100) == WAIT_OBJECT_0) return true;
    for (HWND h : dialog_boxes(pid))
      if (::GetWindow(h, GW_OWNER) == wizard) answer_box(h, IDYES);
  }
  return false;
}

}  // namespace qvtest
