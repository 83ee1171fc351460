// The tests' side of qv_object_holder: starts it in one of its modes and
// waits until it holds what it was asked to hold.
#pragma once
#include "tests/common/test_support.hpp"
#include <windows.h>
#include <memory>
#include <string>

namespace qvtest {

// The exact kernel-object names of this installer, written out in full.
constexpr wchar_t kInstallerMutexName[] = L"Global\\Tavimora2.{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
constexpr wchar_t kInstallerSemaphoreName[] = L"Global\\Tavimora2.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";

inline std::wstring object_holder_path() { return binary_dir() + L"\\tests\\support\\qv_object_holder.exe"; }

class object_holder {
public:
  // mode: "mutex", "abandon" or "semaphore".
  object_holder(const std::wstring& mode, const std::wstring& name) {
    static unsigned serial = 0;
    std::wstring base = L"Local\\qvtest-holder-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(++serial);
    ready_name_ = base + L"-ready";
    quit_name_ = base + L"-quit";
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, ready_name_.c_str());
    quit_ = ::CreateEventW(nullptr, TRUE, FALSE, quit_name_.c_str());
    std::wstring command = quote(object_holder_path()) + L" " + mode + L" " + quote(name) + L" " + ready_name_;
    if (mode != L"abandon") command += L" " + quit_name_;
    process_ = std::make_unique<child_process>(command);
    if (process_->started()) {
      HANDLE both[2] = {ready_, process_->handle()};
      holding_ = ::WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0;
    }
  }
  ~object_holder() {
    stop();
    ::CloseHandle(ready_);
    ::CloseHandle(quit_);
  }
  object_holder(const object_holder&) = delete;
  object_holder& operator=(const object_holder&) = delete;

  // True once the helper holds the mutex or its semaphore unit.
  bool holding() const { return holding_; }
  // Lets it give back what it holds and end; its exit code.
  long stop() {
    ::SetEvent(quit_);
    long code = process_->wait(30000);
    holding_ = false;
    return code;
  }

private:
  std::wstring ready_name_, quit_name_;
  HANDLE ready_ = nullptr, quit_ = nullptr;
  std::unique_ptr<child_process> process_;
  bool holding_ = false;
};

// Asks another process whether the named mutex can be taken at once:
// 0 yes, 1 held elsewhere, 3 abandoned, 2 cannot be opened.
inline long probe_mutex(const std::wstring& name) {
  return run_process(quote(object_holder_path()) + L" probe " + quote(name), 30000);
}

}  // namespace qvtest
