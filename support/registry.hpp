// Registry access: keys that close themselves, string values. Errors other
// than "not found" are thrown as std::system_error in the system category.
#pragma once
#include <windows.h>
#include <string>
#include <utility>

namespace qv {

// Owns one registry key handle; null means the key is absent.
class reg_key {
public:
  reg_key() = default;
  explicit reg_key(HKEY key) : key_(key) {}
  ~reg_key() { reset(); }
  reg_key(reg_key&& o) noexcept : key_(std::exchange(o.key_, nullptr)) {}
  reg_key& operator=(reg_key&& o) noexcept {
    if (this != &o) {
      reset();
      key_ = std::exchange(o.key_, nullptr);
    }
    return *this;
  }
  reg_key(const reg_key&) = delete;
  reg_key& operator=(const reg_key&) = delete;

  HKEY get() const { return key_; }
  operator HKEY() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void reset() {
    if (key_) ::RegCloseKey(key_);
    key_ = nullptr;
  }

private:
  HKEY key_ = nullptr;
};

// Creates or opens `subkey` under `parent` (a predefined or open key).
reg_key create_key(HKEY parent, const std::wstring& subkey);
// Opens an existing key; a null key when it does not exist.
reg_key open_key(HKEY parent, const std::wstring& subkey);
// True with `out` set for a proper REG_SZ or REG_EXPAND_SZ value (taken as
// stored); false when it is missing, of another type, of odd size or not
// terminated.
bool read_string(HKEY key, const std::wstring& name, std::wstring& out);
void write_string(HKEY key, const std::wstring& name, const std::wstring& value);

}  // namespace qv

// The recorded path of the product's main program under the maker's key,
// when it names something that exists; otherwise empty. Never throws.
std::wstring ReadProductPath(unsigned product_id);
