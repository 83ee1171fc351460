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
// A kind whose empty value is null.
template <typename T, auto Close>
struct null_empty {
  using type = T;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type v) noexcept { return v == nullptr; }
  static void close(type v) noexcept { Close(v); }
};
// A HANDLE kind that stores null when empty and also never releases
// INVALID_HANDLE_VALUE: the failure value of CreateFileW and CreateActCtxW,
// and the pseudo-handle of the own process, which must never be closed.
template <auto Close>
struct handle_null_empty {
  using type = HANDLE;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
  static void close(type h) noexcept { Close(h); }
};
// A HANDLE kind whose failure value, and empty value, is INVALID_HANDLE_VALUE.
template <auto Close>
struct handle_invalid_empty {
  using type = HANDLE;
  static type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_empty(type h) noexcept { return h == INVALID_HANDLE_VALUE || h == nullptr; }
  static void close(type h) noexcept { Close(h); }
};

// A kernel object (event, mutex, semaphore, process, thread, token, mapping).
using kernel = handle_null_empty<&::CloseHandle>;
// A file handle from CreateFileW.
using file = handle_invalid_empty<&::CloseHandle>;
// A search handle from FindFirstFileW.
using find = handle_invalid_empty<&::FindClose>;
using registry_key = null_empty<HKEY, &::RegCloseKey>;
// A module that LoadLibrary loaded (not one of GetModuleHandle).
using module = null_empty<HMODULE, &::FreeLibrary>;
// Memory the system allocated with LocalAlloc on our behalf (the buffer of
// FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER, CommandLineToArgvW).
template <typename T>
using local = null_empty<T*, &::LocalFree>;
// Memory of the COM task allocator (strings of SHGetKnownFolderPath).
template <typename T>
using co_task = null_empty<T*, &::CoTaskMemFree>;
// An item identifier list of the shell (SHBrowseForFolderW,
// SHGetSpecialFolderLocation).
using item_id_list = null_empty<LPITEMIDLIST, &::CoTaskMemFree>;
// An activation context reference (GetCurrentActCtx, CreateActCtxW).
using activation_context = handle_null_empty<&::ReleaseActCtx>;
// An icon that LoadImageW (without LR_SHARED) or CreateIcon made.
using icon = null_empty<HICON, &::DestroyIcon>;
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
