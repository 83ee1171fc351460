// Helpers shared by the record tests: the process locale set up as the
// program does, log bytes, item lists, and the test's registry keys.
#pragma once
#include "record/install_record.hpp"
#include <windows.h>
#include <ostream>
#include <string>
#include <vector>

namespace rt {

// An item as the log states it.
struct item_view {
  ItemKind kind;
  int entryKind;
  bool committed;
  std::wstring path;
  bool operator==(const item_view& o) const {
    return kind == o.kind && entryKind == o.entryKind && committed == o.committed && path == o.path;
  }
};
std::ostream& operator<<(std::ostream& out, const item_view& v);

std::vector<item_view> items_of(const RecordList& list);
void add_item(RecordList& list, ItemKind kind, const std::wstring& path, bool committed = true, int entryKind = -1);

// UTF-16LE with the byte-order mark, and the plain code units.
std::string utf16_file(const std::wstring& text);
std::string utf16_bytes(const std::wstring& text);
std::wstring decode_utf16(const std::string& bytes);  // without a leading byte-order mark

bool file_exists(const std::wstring& path);
DWORD attributes(const std::wstring& path);
// Files in the user's temporary folder whose names start with "qv" and end in ".tmp".
std::vector<std::wstring> temp_backups();

bool running_on_wine();

// The tests of the log format read logs whose paths lie anywhere on the
// drives C: and Z:; these places let ReadLog believe them.
ProductPlaces whole_drives();

// HKLM ...\Uninstall\Tavimora 2 and HKLM Software\Quorvane Systems.
std::wstring uninstall_key_name();
void delete_uninstall_key();
void delete_maker_key();

std::wstring fixture_program(const std::wstring& name);  // "program-<name>.exe" built by the tests

}  // namespace rt
