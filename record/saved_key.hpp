// The contents of a registry key held in memory: every value (name, type,
// data) and every subkey, to any depth. The record captures the product's
// uninstall key this way before the run changes it and writes it back on
// rollback: a saved hive file cannot be restored while a handle to the key
// is open, and not at all where RegRestoreKeyW restores nothing.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct SavedValue {
  std::wstring name;  // empty for the key's default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct SavedKey {
  std::vector<SavedValue> values;
  std::vector<std::pair<std::wstring, SavedKey>> subkeys;
};

// Reads all of `key` (opened with read access) into `out`. ERROR_SUCCESS,
// or the Win32 code of the first call that failed; `out` is then incomplete
// and must not be used.
LSTATUS CaptureKey(HKEY key, SavedKey& out);
// Makes `key` (opened with full access) hold exactly `saved`: its values and
// subkeys are removed, then the saved ones written. ERROR_SUCCESS or the
// code of the first call that failed (the writing goes on past it).
LSTATUS RestoreKey(HKEY key, const SavedKey& saved);
