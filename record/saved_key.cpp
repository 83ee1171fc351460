#include "record/saved_key.hpp"
#include "support/registry.hpp"
#include <algorithm>

LSTATUS CaptureKey(HKEY key, SavedKey& out) {
  out = SavedKey();
  DWORD subkeys = 0, longest_subkey = 0, values = 0, longest_name = 0, longest_data = 0;
  LSTATUS rc = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longest_subkey, nullptr, &values,
                                  &longest_name, &longest_data, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;

  // The sizes are those at the time of the query; a value that grew since
  // asks for more room and is read again.
  std::vector<wchar_t> name(longest_name + 2);
  std::vector<BYTE> data(longest_data + 2);
  for (DWORD i = 0;; ++i) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    rc = ::RegEnumValueW(key, i, name.data(), &name_length, nullptr, &type, data.data(), &data_size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      name.resize(name.size() * 2 + 256);
      data.resize(std::max<std::size_t>(data.size() * 2, data_size + 2));
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    out.values.push_back({std::wstring(name.data(), name_length), type,
                          std::vector<BYTE>(data.begin(), data.begin() + data_size)});
  }

  std::vector<wchar_t> subkey(longest_subkey + 2);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(subkey.size());
    rc = ::RegEnumKeyExW(key, i, subkey.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      subkey.resize(subkey.size() * 2 + 256);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    std::wstring child_name(subkey.data(), length);
    HKEY raw = nullptr;
    rc = ::RegOpenKeyExW(key, child_name.c_str(), 0, KEY_READ, &raw);
    if (rc != ERROR_SUCCESS) return rc;
    qv::reg_key child(raw);
    SavedKey saved;
    rc = CaptureKey(child, saved);
    if (rc != ERROR_SUCCESS) return rc;
    out.subkeys.emplace_back(std::move(child_name), std::move(saved));
  }
  return ERROR_SUCCESS;
}

namespace {
LSTATUS write_contents(HKEY key, const SavedKey& saved) {
  LSTATUS first = ERROR_SUCCESS;
  auto note = [&first](LSTATUS rc) {
    if (first == ERROR_SUCCESS && rc != ERROR_SUCCESS) first = rc;
  };
  for (const SavedValue& value : saved.values)
    note(::RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                          static_cast<DWORD>(value.data.size())));
  for (const auto& [name, child] : saved.subkeys) {
    HKEY raw = nullptr;
    LSTATUS rc = ::RegCreateKeyExW(key, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                   &raw, nullptr);
    note(rc);
    if (rc != ERROR_SUCCESS) continue;
    qv::reg_key sub(raw);
    note(write_contents(sub, child));
  }
  return first;
}
}  // namespace

LSTATUS RestoreKey(HKEY key, const SavedKey& saved) {
  // Emptied in place, so that open handles to the key stay valid and its
  // access list stays as it was.
  // The earlier contents are written back even when emptying stopped half
  // way: whatever was deleted by then comes back, and the first error is
  // still reported.
  const LSTATUS emptied = ::RegDeleteTreeW(key, nullptr);
  const LSTATUS written = write_contents(key, saved);
  return emptied != ERROR_SUCCESS ? emptied : written;
}
