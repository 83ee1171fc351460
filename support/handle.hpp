// Owning holders for kernel handles and module handles.
#pragma once
#include <windows.h>
#include <utility>

namespace qv {

// Owns a kernel handle (null or INVALID_HANDLE_VALUE when empty) and closes it.
class unique_handle {
public:
  unique_handle() = default;
  explicit unique_handle(HANDLE h) : h_(h) {}
  ~unique_handle() { reset(); }
  unique_handle(unique_handle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  unique_handle& operator=(unique_handle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, nullptr);
    }
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;

  HANDLE get() const { return h_; }
  HANDLE* put() {
    reset();
    return &h_;
  }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE release() { return std::exchange(h_, nullptr); }
  void reset(HANDLE h = nullptr) {
    if (valid()) ::CloseHandle(h_);
    h_ = h;
  }

private:
  HANDLE h_ = nullptr;
};

// Owns a module handle obtained by LoadLibrary and frees it.
class unique_module {
public:
  unique_module() = default;
  explicit unique_module(HMODULE m) : m_(m) {}
  ~unique_module() {
    if (m_) ::FreeLibrary(m_);
  }
  unique_module(const unique_module&) = delete;
  unique_module& operator=(const unique_module&) = delete;
  HMODULE get() const { return m_; }

private:
  HMODULE m_ = nullptr;
};

// Owns memory the system allocated with LocalAlloc on our behalf (the
// buffer of FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER) and frees it.
template <typename T>
class local_memory {
public:
  local_memory() = default;
  ~local_memory() {
    if (p_) ::LocalFree(p_);
  }
  local_memory(const local_memory&) = delete;
  local_memory& operator=(const local_memory&) = delete;
  T* get() const { return p_; }
  // Where the system writes the pointer to the memory it allocated.
  T** put() { return &p_; }

private:
  T* p_ = nullptr;
};

}  // namespace qv
