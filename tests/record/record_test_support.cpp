#include "tests/record/record_test_support.hpp"
#include "record/path_utils.hpp"
#include "support/process_locale.hpp"
#include "tests/common/test_support.hpp"
#include <shlwapi.h>

namespace {
// The program installs its process locale before anything else runs; the
// record's trimming and stream parsing depend on it.
const bool g_locale_ready = init_process_locale();
}  // namespace

namespace rt {

std::ostream& operator<<(std::ostream& out, const item_view& v) {
  return out << "{kind " << static_cast<int>(v.kind) << ", entry " << v.entryKind << ", "
             << (v.committed ? "committed" : "open") << ", \"" << qvtest::narrow(v.path) << "\"}";
}

std::vector<item_view> items_of(const RecordList& list) {
  std::vector<item_view> out;
  for (const RecordItem* i = list.head(); i; i = i->next) out.push_back({i->kind, i->entryKind, i->committed, i->path});
  return out;
}

void add_item(RecordList& list, ItemKind kind, const std::wstring& path, bool committed, int entryKind) {
  auto item = std::make_unique<RecordItem>();
  item->kind = kind;
  item->path = path;
  item->committed = committed;
  item->entryKind = entryKind;
  list.push_back(std::move(item));
}

std::string utf16_bytes(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return out;
}

std::string utf16_file(const std::wstring& text) { return std::string("\xFF\xFE", 2) + utf16_bytes(text); }

std::wstring decode_utf16(const std::string& bytes) {
  std::wstring out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return out;
}

bool file_exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
DWORD attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

std::vector<std::wstring> temp_backups() {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  std::vector<std::wstring> out;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((std::wstring(temp) + L"qv*.tmp").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return out;
  do out.push_back(std::wstring(temp) + data.cFileName);
  while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return out;
}

bool running_on_wine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ProductPlaces whole_drives() {
  ProductPlaces places;
  places.productFolders = {L"C:\\", L"Z:\\"};
  places.shellFolders = {L"C:\\", L"Z:\\"};
  return places;
}

std::wstring uninstall_key_name() { return std::wstring(kUninstallParentKey) + L"\\Tavimora 2"; }

void delete_uninstall_key() { ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, uninstall_key_name().c_str()); }
void delete_maker_key() { ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Quorvane Systems"); }

std::wstring fixture_program(const std::wstring& name) {
  return qvtest::binary_dir() + L"\\tests\\record\\fixtures\\program-" + name + L".exe";
}

}  // namespace rt
