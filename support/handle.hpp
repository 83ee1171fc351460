// One owning holder for every kind of handle the program uses, and the
// aliases by kind. A kind is a small traits type:
//
//   struct kind {
//     using type = ...;                       // the handle type
//     static type empty() noexcept;           // what an empty holder stores
//     static bool is_empty(type) noexcept;    // values that are never released
//     static void close(type) noexcept;       // releases one handle
//   };
#pragma once
#include <windows.h>
#include <objbase.h>
#include <shtypes.h>
#include <utility>

namespace qv {

template <typename Kind>
class unique_any {
public:
  using type = typename Kind::type;

  unique_any() noexcept = default;
  explicit unique_any(type value) noexcept : value_(value) {}
  ~unique_any() { reset(); }
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;

  type get() const noexcept { return value_; }
  bool valid() const noexcept { return !Kind::is_empty(value_); }
  explicit operator bool() const noexcept { return valid(); }
  // Gives the handle up without releasing it.
  type release() noexcept { return std::exchange(value_, Kind::empty()); }
  // Releases what is held and takes `value`.
  void reset(type value = Kind::empty()) noexcept {
    type old = std::exchange(value_, value);
    if (!Kind::is_empty(old)) Kind::close(old);
  }
  // Where a system call writes a new handle: what was held is released first.
  type* put() noexcept {
    reset();
    return &value_;
  }

private:
  type value_ = Kind::empty();
};

namespace handle_kinds {
// A kernel object (event, mutex, semaphore, process, thread, token,
// mapping). Null is empty; so is INVALID_HANDLE_VALUE, the failure value
// of CreateFileW and the pseudo-handle of the own process, which must never
// be closed.
struct kernel {
  using type = HANDLE;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
  static void close(type h) noexcept { ::CloseHandle(h); }
};
// A file handle from CreateFileW: INVALID_HANDLE_VALUE is empty.
struct file {
  using type = HANDLE;
  static type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_empty(type h) noexcept { return h == INVALID_HANDLE_VALUE || h == nullptr; }
  static void close(type h) noexcept { ::CloseHandle(h); }
};
// A search handle from FindFirstFileW: INVALID_HANDLE_VALUE is empty.
struct find {
  using type = HANDLE;
  static type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_empty(type h) noexcept { return h == INVALID_HANDLE_VALUE || h == nullptr; }
  static void close(type h) noexcept { ::FindClose(h); }
};
struct registry_key {
  using type = HKEY;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type k) noexcept { return k == nullptr; }
  static void close(type k) noexcept { ::RegCloseKey(k); }
};
struct module {
  using type = HMODULE;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type m) noexcept { return m == nullptr; }
  static void close(type m) noexcept { ::FreeLibrary(m); }
};
// Memory the system allocated with LocalAlloc on our behalf (the buffer of
// FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER).
template <typename T>
struct local {
  using type = T*;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type p) noexcept { return p == nullptr; }
  static void close(type p) noexcept { ::LocalFree(p); }
};
// Memory of the COM task allocator (strings of SHGetKnownFolderPath).
template <typename T>
struct co_task {
  using type = T*;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type p) noexcept { return p == nullptr; }
  static void close(type p) noexcept { ::CoTaskMemFree(p); }
};
// An item identifier list of the shell (SHBrowseForFolderW,
// SHGetSpecialFolderLocation).
struct item_id_list {
  using type = LPITEMIDLIST;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type p) noexcept { return p == nullptr; }
  static void close(type p) noexcept { ::CoTaskMemFree(p); }
};
// An activation context reference (GetCurrentActCtx, CreateActCtxW).
struct activation_context {
  using type = HANDLE;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
  static void close(type h) noexcept { ::ReleaseActCtx(h); }
};
// An icon that LoadImageW (without LR_SHARED) or CreateIcon made.
struct icon {
  using type = HICON;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type h) noexcept { return h == nullptr; }
  static void close(type h) noexcept { ::DestroyIcon(h); }
};
}  // namespace handle_kinds

using unique_handle = unique_any<handle_kinds::kernel>;
using unique_file = unique_any<handle_kinds::file>;
using unique_find = unique_any<handle_kinds::find>;
using unique_module = unique_any<handle_kinds::module>;
template <typename T>
using local_memory = unique_any<handle_kinds::local<T>>;
template <typename T>
using co_task_memory = unique_any<handle_kinds::co_task<T>>;
using unique_item_id_list = unique_any<handle_kinds::item_id_list>;
using unique_activation_context = unique_any<handle_kinds::activation_context>;
using unique_icon = unique_any<handle_kinds::icon>;
// The registry key holder is qv::reg_key (support/registry.hpp); security
// identifiers are held by qv::sid (support/security.hpp); both build on unique_any.

}  // namespace qv
