#include "support/registry.hpp"
#include "support/errors.hpp"
#include <vector>

namespace qv {

reg_key create_key(HKEY parent, const std::wstring& subkey) {
  HKEY key = nullptr;
  LSTATUS rc = ::RegCreateKeyExW(parent, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED,
                                 nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) throw_system_error(rc);
  return reg_key(key);
}

reg_key open_key(HKEY parent, const std::wstring& subkey) {
  HKEY key = nullptr;
  LSTATUS rc = ::RegOpenKeyExW(parent, subkey.c_str(), 0, MAXIMUM_ALLOWED, &key);
  if (rc == ERROR_FILE_NOT_FOUND) return reg_key();
  if (rc != ERROR_SUCCESS) throw_system_error(rc);
  return reg_key(key);
}

bool read_string(HKEY key, const std::wstring& name, std::wstring& out) {
  DWORD type = 0, size = 0;
  LSTATUS rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
  if (rc == ERROR_FILE_NOT_FOUND) return false;
  if (rc != ERROR_SUCCESS) throw_system_error(rc);
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size % 2 != 0) return false;
  if (size == 0) {
    out.clear();
    return true;
  }
  std::vector<wchar_t> data(size / 2);
  DWORD got = size;
  rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
  if (rc != ERROR_SUCCESS) throw_system_error(rc);
  // The value may have changed between the two calls; only what was read counts.
  if (got % 2 != 0 || got == 0 || got > size || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  std::size_t units = got / 2;
  if (data[units - 1] != L'\0') return false;
  out.assign(data.data(), units - 1);
  return true;
}

void write_string(HKEY key, const std::wstring& name, const std::wstring& value) {
  LSTATUS rc = ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (rc != ERROR_SUCCESS) throw_system_error(rc);
}

}  // namespace qv
