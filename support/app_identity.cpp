#include "support/app_identity.hpp"
#include "framework/win_app.hpp"
#include "support/errors.hpp"
#include "support/handle.hpp"
#include "support/known_folders.hpp"
#include "support/process_locale.hpp"
#include "support/security.hpp"
#include "support/version_info.hpp"
#include <commctrl.h>
#include <atomic>
#include <mutex>
#include <shlwapi.h>
#include <vector>

namespace qv {

namespace {
std::wstring& identifier() {
  static std::wstring id;
  return id;
}

// Security attributes whose access list grants Everyone `all_access`.
struct everyone_security {
  explicit everyone_security(DWORD all_access) : everyone(well_known_sid::everyone), acl(everyone.get(), all_access) {
    sd.set_dacl(acl.get());
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = sd.get();
    attributes.bInheritHandle = FALSE;
  }
  sid everyone;
  single_ace_acl acl;
  security_descriptor sd;
  SECURITY_ATTRIBUTES attributes{};
};

std::atomic<long> g_security_failure{0};

// Creates the object with security attributes granting Everyone
// `all_access`, and keeps the last error of the creating call across the
// destruction of the security objects (the caller reads
// ERROR_ALREADY_EXISTS from it).
template <typename Create>
HANDLE create_with_everyone_access(DWORD all_access, Create create) {
  HANDLE h = nullptr;
  DWORD error = 0;
  {
    if (long injected = g_security_failure.load()) throw injected;
    everyone_security security(all_access);
    h = create(&security.attributes);
    error = ::GetLastError();
  }
  ::SetLastError(error);
  return h;
}
}  // namespace

void fail_object_security_for_test(long hresult) { g_security_failure.store(hresult); }

std::wstring executable_path() { return AfxGetExecutablePath(); }

std::wstring choose_application_id(const std::wstring& application_id_value, const std::wstring& product_name,
                                   const std::wstring& exe) {
  if (!application_id_value.empty()) return application_id_value;
  if (!product_name.empty()) return product_name;
  std::wstring::size_type slash = exe.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? exe : exe.substr(slash + 1);
  std::wstring::size_type dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

DWORD common_controls_dll_version() {
  HMODULE module = ::GetModuleHandleW(L"Comctl32.dll");
  // Loaded here only when nobody had it; unloaded again on the way out.
  unique_module loaded(module ? nullptr : [] {
    HMODULE m = ::LoadLibraryExW(L"Comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    return m ? m : ::LoadLibraryExW(L"Comctl32.dll", nullptr, 0);
  }());
  if (!module) module = loaded.get();
  if (!module) return 0;
  auto get_version = reinterpret_cast<DLLGETVERSIONPROC>(::GetProcAddress(module, "DllGetVersion"));
  if (!get_version) return 0;
  DLLVERSIONINFO info{};
  info.cbSize = 20;
  if (FAILED(get_version(&info))) return 0;
  return (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
}

bool activation_context_has_common_controls_6() {
  unique_activation_context held;
  if (!::GetCurrentActCtx(held.put())) return false;
  HANDLE context = held.get();

  // Which assemblies does the context hold?
  SIZE_T needed = 0;
  ::QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<std::uint8_t> buffer(needed);
  if (!::QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation, buffer.data(), needed, &needed))
    return false;
  const auto* detail = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer.data());
  DWORD assemblies = detail->ulAssemblyCount;

  for (DWORD index = 1; index <= assemblies; ++index) {
    needed = 0;
    ::QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, nullptr, 0, &needed);
    if (needed == 0) continue;
    std::vector<std::uint8_t> info_buffer(needed);
    if (!::QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, info_buffer.data(),
                        needed, &needed))
      continue;
    const auto* info = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(info_buffer.data());
    if (!info->lpAssemblyEncodedAssemblyIdentity) continue;
    std::wstring identity(info->lpAssemblyEncodedAssemblyIdentity,
                          info->ulEncodedAssemblyIdentityLength / sizeof(wchar_t));
    // The encoded identity reads: name,attribute="value",...,version="6.0.x.y"
    if (identity.find(L"Microsoft.Windows.Common-Controls") == std::wstring::npos) continue;
    std::wstring::size_type at = identity.find(L"version=\"");
    if (at == std::wstring::npos) continue;
    int major = _wtoi(identity.c_str() + at + 9);
    if (major >= 6) return true;
  }
  return false;
}

bool common_controls_6_available() {
  return common_controls_dll_version() >= 0x60000 || activation_context_has_common_controls_6();
}

void startup() {
  static std::once_flag once;
  std::call_once(once, [] {
    init_process_locale();
    common_data_folder();
    roaming_data_folder();
    documents_folder();
    if (!common_controls_6_available()) throw_logic_error();
    INITCOMMONCONTROLSEX icc{8, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
    version_info own;
    identifier() = choose_application_id(own.query(L"ApplicationId"), own.product_name(), executable_path());
    running_instances();
  });
}

const std::wstring& application_id() { return identifier(); }

HANDLE create_global_mutex(bool initial_owner, const std::wstring& name) {
  std::wstring full = L"Global\\" + name;
  return create_with_everyone_access(MUTEX_ALL_ACCESS, [&](SECURITY_ATTRIBUTES* attributes) {
    return ::CreateMutexW(attributes, initial_owner ? TRUE : FALSE, full.c_str());
  });
}

HANDLE create_global_semaphore(LONG initial_count, LONG maximum_count, const std::wstring& name) {
  std::wstring full = L"Global\\" + name;
  return create_with_everyone_access(SEMAPHORE_ALL_ACCESS, [&](SECURITY_ATTRIBUTES* attributes) {
    return ::CreateSemaphoreW(attributes, initial_count, maximum_count, full.c_str());
  });
}

named_mutex::named_mutex(const std::wstring& name, bool initial_owner, bool global)
    : handle_(global ? create_global_mutex(initial_owner, name)
                     : ::CreateMutexW(nullptr, initial_owner ? TRUE : FALSE, name.c_str())) {
  if (handle_ && initial_owner && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    // Somebody else's mutex: the initial ownership was not granted.
    DWORD wait = ::WaitForSingleObject(handle_.get(), INFINITE);
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  } else {
    owned_ = handle_.valid() && initial_owner;
  }
}

named_mutex::~named_mutex() {
  if (handle_ && owned_) ::ReleaseMutex(handle_.get());
}

bool named_mutex::try_lock() {
  if (!handle_) return owned_ = false;
  DWORD wait = ::WaitForSingleObject(handle_.get(), 0);
  owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  return owned_;
}

void named_mutex::unlock() {
  if (handle_) ::ReleaseMutex(handle_.get());
  owned_ = false;
}

instance_counter::instance_counter(const std::wstring& name)
    : handle_(create_global_semaphore(0, 0x7FFFFFFF, name)) {
  if (handle_ && ::ReleaseSemaphore(handle_.get(), 1, nullptr)) held_ = 1;
}

instance_counter::~instance_counter() {
  const HANDLE h = handle_.get();
  if (held_ > 0) {
    long taken = 0;
    while (taken < held_ && ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0) ++taken;
    if (taken == held_) {
      held_ = 0;
    } else if (taken > 0) {
      ::ReleaseSemaphore(h, taken, nullptr);
    }
  } else if (held_ < 0) {
    if (::ReleaseSemaphore(h, -held_, nullptr)) held_ = 0;
  }
}

unsigned instance_counter::count() {
  LONG previous = 0;
  if (!handle_ || !::ReleaseSemaphore(handle_.get(), 1, &previous)) return 0;
  ::WaitForSingleObject(handle_.get(), 0);
  return static_cast<unsigned>(previous);
}

instance_counter& running_instances() {
  // Destroyed at process exit like every function-local static, which
  // gives this process's unit back.
  static instance_counter counter(identifier() + kInstanceCountSuffix);
  return counter;
}

}  // namespace qv
