// The application identifier and the two global kernel objects named after
// it: the single-instance mutex and the running-instances semaphore, which
// this installer, other copies of it and the installed product share.
#pragma once
#include "support/handle.hpp"
#include <windows.h>
#include <string>

namespace qv {

constexpr wchar_t kInstanceLockSuffix[] = L".{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
constexpr wchar_t kInstanceCountSuffix[] = L".{a3526b56-ca7c-4e16-8a26-da7758a378fd}";

// The support library's one-time start-up (locale, known folders, common
// controls, application identifier, instance counter). Runs during static
// initialisation; later calls wait for or return after that one run.
void startup();

// The identifier ("ApplicationId" of the own version resource, else its
// ProductName, else the executable's base name); empty before startup().
const std::wstring& application_id();

// The full path of the running program's file; empty when it cannot be had.
std::wstring executable_path();

// For tests: makes building the security data of every later global object
// fail with `hresult` (0 ends it), as a failed allocation would.
void fail_object_security_for_test(long hresult);

// The identifier a program would get from these three sources (pure).
std::wstring choose_application_id(const std::wstring& application_id_value, const std::wstring& product_name,
                                   const std::wstring& executable_path);

// True when comctl32's DllGetVersion reports at least 6.0, or, where it
// reports less (Wine's side-by-side 6.0 reports 5.81), when the process's
// default activation context holds Microsoft.Windows.Common-Controls 6.0 or later.
bool common_controls_6_available();
// The two halves of that test: (major << 16) | minor from DllGetVersion
// (0 when unavailable), and the activation-context answer.
DWORD common_controls_dll_version();
bool activation_context_has_common_controls_6();

// "Global\" + name, with an access list granting Everyone all access to the
// object. The last error after the call is CreateMutexW's (or
// CreateSemaphoreW's). Throws `long` when the security data cannot be built.
HANDLE create_global_mutex(bool initial_owner, const std::wstring& name);
HANDLE create_global_semaphore(LONG initial_count, LONG maximum_count, const std::wstring& name);

class named_mutex {
public:
  named_mutex(const std::wstring& name, bool initial_owner, bool global);
  ~named_mutex();
  named_mutex(const named_mutex&) = delete;
  named_mutex& operator=(const named_mutex&) = delete;

  // Waits with time-out 0; signalled or abandoned counts as acquired.
  bool try_lock();
  void unlock();
  bool owned() const { return owned_; }
  HANDLE handle() const { return handle_.get(); }

private:
  unique_handle handle_;
  bool owned_ = false;
};

class instance_counter {
public:
  explicit instance_counter(const std::wstring& name);
  ~instance_counter();
  instance_counter(const instance_counter&) = delete;
  instance_counter& operator=(const instance_counter&) = delete;

  // Running programs with this identifier, this one included; 0 on failure.
  unsigned count();
  long held() const { return held_; }
  HANDLE handle() const { return handle_.get(); }

private:
  unique_handle handle_;
  long held_ = 0;
};

// The process's counter, created on first use with this process's unit
// added; the unit is given back at process exit.
instance_counter& running_instances();

}  // namespace qv
