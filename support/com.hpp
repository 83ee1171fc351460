// COM for the length of one call, and the owner of one interface pointer.
#pragma once
#include <objbase.h>
#include <utility>

namespace qv {

// Initialises COM (apartment-threaded) on this thread for the holder's
// lifetime; uninitialises again only when the initialisation counted (S_OK,
// or S_FALSE when the thread had it already).
class com_scope {
public:
  com_scope() : hr_(::CoInitialize(nullptr)) {}
  ~com_scope() {
    if (ok()) ::CoUninitialize();
  }
  com_scope(const com_scope&) = delete;
  com_scope& operator=(const com_scope&) = delete;
  bool ok() const { return hr_ == S_OK || hr_ == S_FALSE; }
  HRESULT result() const { return hr_; }

private:
  HRESULT hr_;
};

// Owns one interface pointer and releases it.
template <typename T>
class com_ptr {
public:
  com_ptr() = default;
  ~com_ptr() { reset(); }
  com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  com_ptr& operator=(com_ptr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  // Where CoCreateInstance or QueryInterface writes the new pointer: what
  // was held is released first.
  void** put_void() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

private:
  T* p_ = nullptr;
};

}  // namespace qv
