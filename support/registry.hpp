// Registry access: keys that close themselves, string values. Errors other
// than "not found" are thrown as std::system_error in the system category.
#pragma once
#include "support/handle.hpp"
#include <windows.h>
#include <string>

namespace qv {

// Owns one registry key handle; null means the key is absent. It converts
// to HKEY, so that it can be passed to the registry functions as it is.
class reg_key : public unique_any<handle_kinds::registry_key> {
public:
  using unique_any::unique_any;
  operator HKEY() const noexcept { return get(); }
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
