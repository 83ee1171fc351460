// What the record must never lose or be steered into: an earlier shortcut
// that cannot be moved, a file taken over in place, the earlier uninstall
// key, and paths named by an earlier log that this product never made.
#include "record/install_record.hpp"
#include "support/handle.hpp"
#include "support/registry.hpp"
#include "tests/common/test_support.hpp"
#include "tests/record/record_test_support.hpp"
#include <gtest/gtest.h>
#include <map>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

class Guard : public ::testing::Test {
protected:
  void SetUp() override {
    dir = qvtest::scratch_folder(L"guard");
    rt::delete_uninstall_key();
  }
  void TearDown() override {
    qvtest::remove_tree(dir);
    rt::delete_uninstall_key();
  }
  std::wstring dir;
};

// The identity of a file on its volume: a file put back from a copy is
// another file, whatever its bytes.
std::uint64_t file_id(const std::wstring& path) {
  qv::unique_handle h(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!h || !::GetFileInformationByHandle(h.get(), &info)) return 0;
  return (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

}  // namespace

TEST_F(Guard, AnEarlierShortcutThatCannotBeMovedIsNotReplaced) {
  const std::wstring old_menu = dir + L"\\Programs\\Old";
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, old_menu.c_str(), nullptr), ERROR_SUCCESS);
  const std::wstring old_shortcut = old_menu + L"\\Tavimora 2.lnk";
  qvtest::write_file(old_shortcut, "earlier shortcut");
  CInstallRecord record;
  record.productPlaces.shellFolders = {dir + L"\\Programs"};
  rt::add_item(record.earlierItems, ItemKind::ProgramShortcut, old_shortcut);
  {
    // Held without sharing (the shell reading it, say): it cannot be moved.
    qv::unique_handle held(::CreateFileW(old_shortcut.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(record.BeginShortcut(0, dir + L"\\Programs\\New"), DWORD(ERROR_SHARING_VIOLATION));
    record.CommitItem(false);
  }
  EXPECT_TRUE(record.items.tail()->backupPath.empty());
  record.Rollback();
  EXPECT_EQ(qvtest::read_file(old_shortcut), "earlier shortcut");
}

TEST_F(Guard, AFileTakenOverInPlaceIsLeftExactlyAsItWas) {
  // Common data that the run leaves in place is only recorded. Whether or
  // not a copy could be made in the temporary folder, a rollback must leave
  // the very file, never delete it and never put back a copy.
  for (bool temp_usable : {true, false}) {
    SCOPED_TRACE(temp_usable ? "usable temporary folder" : "temporary folder too long for a backup");
    const std::wstring kept = dir + L"\\common.dat";
    qvtest::write_file(kept, "shared data");
    const DWORD attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(::SetFileAttributesW(kept.c_str(), attributes));
    const std::uint64_t id = file_id(kept);
    ASSERT_NE(id, 0u);
    wchar_t saved[MAX_PATH + 1] = {};
    const DWORD saved_length = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH + 1);
    if (!temp_usable) ::SetEnvironmentVariableW(L"TMP", (dir + L"\\" + std::wstring(250 - dir.size(), L't')).c_str());

    CInstallRecord record;
    EXPECT_EQ(record.BeginFile(kept, 3, true), DWORD(ERROR_SUCCESS));
    record.CommitItem(true);
    record.Rollback();
    ::SetEnvironmentVariableW(L"TMP", saved_length ? saved : nullptr);

    ASSERT_TRUE(rt::file_exists(kept));
    EXPECT_EQ(qvtest::read_file(kept), "shared data");
    EXPECT_EQ(rt::attributes(kept) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), attributes);
    EXPECT_EQ(file_id(kept), id) << "the same file, not a copy put back";
    ::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(kept.c_str());
  }
}

namespace {

// The test's own reading of a key: every value by name with its type and
// bytes, and every subkey by path, to any depth.
using key_contents = std::map<std::wstring, std::pair<DWORD, std::string>>;
void read_tree(HKEY key, const std::wstring& prefix, key_contents& out) {
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD name_length = 16384, type = 0;
    BYTE data[4096];
    DWORD size = sizeof data;
    if (::RegEnumValueW(key, i, name, &name_length, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    out[prefix + L"|" + std::wstring(name, name_length)] = {type, std::string(reinterpret_cast<char*>(data), size)};
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const std::wstring child = prefix + L"\\" + std::wstring(name, length);
    out[child] = {0, "<key>"};
    HKEY sub = nullptr;
    if (::RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    read_tree(sub, child, out);
    ::RegCloseKey(sub);
  }
}

void set(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

}  // namespace

TEST_F(Guard, AnEarlierUninstallKeyComesBackExactly) {
  {
    qv::reg_key key = qv::create_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
    qv::write_string(key, L"DisplayName", L"Tavimora 2 (earlier)");
    qv::write_string(key, L"", L"default value");
    const DWORD language = 3;
    set(key, L"QvLanguage", REG_DWORD, &language, sizeof language);
    set(key, L"Blob", REG_BINARY, "\x00\x01\x02\xff", 4);
    set(key, L"Empty", REG_BINARY, nullptr, 0);
    set(key, L"Paths", REG_MULTI_SZ, L"a\0b\0", 10);
    set(key, L"Expand", REG_EXPAND_SZ, L"%ProgramFiles%\\x", 34);
    qv::reg_key sub = qv::create_key(key, L"Sub");
    qv::write_string(sub, L"Inner", L"value");
    qv::reg_key deeper = qv::create_key(sub, L"Deeper");
    qv::write_string(deeper, L"Deepest", L"value");
  }
  qv::reg_key before_key = qv::open_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
  key_contents before;
  read_tree(before_key, L"", before);
  ASSERT_EQ(before.size(), 11u);

  qv::reg_key existing = qv::open_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
  CInstallRecord record;
  ASSERT_EQ(record.BeginUninstallKey(existing), DWORD(ERROR_SUCCESS));
  // The run changes a value, adds values and a subkey, removes a value and
  // a subkey; the handle stays open through the rollback.
  qv::write_string(existing, L"DisplayName", L"Tavimora 2");
  qv::write_string(existing, L"UninstallString", L"C:\\new\\Uninstall.exe");
  ::RegDeleteValueW(existing, L"Blob");
  ::SHDeleteKeyW(existing, L"Sub");
  qv::create_key(existing, L"Added");
  record.CommitItem(true);
  record.Rollback();

  qv::reg_key after_key = qv::open_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
  ASSERT_TRUE(after_key);
  key_contents after;
  read_tree(after_key, L"", after);
  EXPECT_EQ(after, before);
}

TEST_F(Guard, AKeyWhoseContentsCannotBeCapturedIsNeverDeleted) {
  qv::create_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
  // A handle without the right to read values: the capture fails (a seam
  // for a key the process may not read, which an administrator's run under
  // Wine cannot meet otherwise).
  HKEY raw = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, rt::uninstall_key_name().c_str(), 0, KEY_SET_VALUE, &raw),
            ERROR_SUCCESS);
  qv::reg_key write_only(raw);
  CInstallRecord record;
  EXPECT_NE(record.BeginUninstallKey(write_only), DWORD(ERROR_SUCCESS));
  record.CommitItem(false);
  record.Rollback();
  EXPECT_TRUE(qv::open_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name())) << "the earlier key stays";
}

TEST_F(Guard, AnEarlierLogBesideSetupCannotReachOutsideTheProductsPlaces) {
  // The prefix's win.ini, named by a log that anyone could put beside
  // setup.exe, as a shortcut and as a file, and a shortcut line that names
  // no shortcut.
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring win_ini = std::wstring(windows) + L"\\win.ini";
  // A fresh prefix may have none yet; it then gets one for the test.
  const bool made_ini = !rt::file_exists(win_ini);
  if (made_ini) qvtest::write_file(win_ini, "[windows]\r\n");
  struct remove_made {
    bool made;
    std::wstring path;
    ~remove_made() {
      if (made) ::DeleteFileW(path.c_str());
    }
  } remove_ini{made_ini, win_ini};
  const std::string ini_bytes = qvtest::read_file(win_ini);
  const std::wstring install = dir + L"\\Program Files\\Quorvane Systems\\Tavimora 2";
  const std::wstring programs = dir + L"\\Programs", desktop = dir + L"\\Desktop";
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, install.c_str(), nullptr), ERROR_SUCCESS);
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, (programs + L"\\Quorvane Systems").c_str(), nullptr), ERROR_SUCCESS);
  ::CreateDirectoryW(desktop.c_str(), nullptr);
  const std::wstring own_shortcut = desktop + L"\\Tavimora.lnk";
  qvtest::write_file(own_shortcut, "earlier desktop shortcut");
  const std::wstring not_a_shortcut = desktop + L"\\Notes.txt";
  qvtest::write_file(not_a_shortcut, "the user's notes");

  const std::wstring log = dir + L"\\Uninstall.ulog";
  std::wstring text = L"// Uninstall Log File v1\r\n// x\r\n// Install Tavimora 2.31s\r\n"
                      L"// Install Path : " + install + L"\r\n// Shortcut Path : " + programs + L"\r\n// -\r\n";
  const std::pair<const wchar_t*, std::wstring> lines[] = {
      {L"00ff:1", dir + L"\\Program Files\\Quorvane Systems"},  // the maker's folder: believed
      {L"00ff:1", install},                                      // believed
      {L"0101:1", install + L"\\Tavimora.exe"},                  // believed
      {L"0101:1", win_ini},                                      // outside
      {L"02ff:1", win_ini},                                      // outside, and no shortcut
      {L"0101:1", install + L"\\..\\..\\..\\..\\win.ini"},       // climbs out
      {L"00ff:1", std::wstring(windows)},                        // outside
      {L"00ff:1", dir + L"\\Program Files"},                     // above the maker's folder
      {L"04ff:1", not_a_shortcut},                               // in place, but no shortcut
      {L"03ff:1", programs + L"\\Quorvane Systems\\Uninstall.lnk"},  // believed
      {L"04ff:1", own_shortcut},                                 // believed
  };
  std::size_t n = 0;
  for (const auto& [code, path] : lines) text += L"000" + std::to_wstring(n++) + L":" + code + L" -- " + path + L"\r\n";
  qvtest::write_file(log, rt::utf16_file(text));

  CInstallRecord record;
  record.productPlaces.productFolders = {install};
  record.productPlaces.shellFolders = {programs, desktop};
  record.ReadLog(log.c_str());
  const std::vector<rt::item_view> believed = {
      {ItemKind::Folder, -1, true, dir + L"\\Program Files\\Quorvane Systems"},
      {ItemKind::Folder, -1, true, install},
      {ItemKind::File, 1, true, install + L"\\Tavimora.exe"},
      {ItemKind::UninstallShortcut, -1, true, programs + L"\\Quorvane Systems\\Uninstall.lnk"},
      {ItemKind::DesktopShortcut, -1, true, own_shortcut},
  };
  EXPECT_EQ(rt::items_of(record.earlierItems), believed);

  // The run begins its shortcuts and writes its log.
  record.BeginShortcut(0, programs + L"\\Quorvane Systems");
  record.CommitItem(false);
  record.BeginShortcut(2, desktop);
  const std::wstring new_shortcut = desktop + L"\\Tavimora 2.31t.lnk";
  qvtest::write_file(new_shortcut, "new desktop shortcut");
  record.CommitItem(true, new_shortcut.c_str());
  const std::wstring new_log = install + L"\\Uninstall.ulog";
  ASSERT_TRUE(record.WriteLog(new_log, install, programs));
  EXPECT_EQ(qvtest::read_file(win_ini), ini_bytes) << "win.ini is untouched";
  EXPECT_EQ(qvtest::read_file(not_a_shortcut), "the user's notes");
  EXPECT_FALSE(rt::file_exists(own_shortcut)) << "the earlier desktop shortcut made way for the new one";
  const std::wstring written = rt::decode_utf16(qvtest::read_file(new_log).substr(2));
  EXPECT_EQ(written.find(L"win.ini"), std::wstring::npos) << qvtest::narrow(written);
  EXPECT_EQ(written.find(std::wstring(windows) + L"\r\n"), std::wstring::npos);
  EXPECT_EQ(written.find(L"Notes.txt"), std::wstring::npos);
}

TEST_F(Guard, AnOversizedEarlierLogIsNotRead) {
  const std::wstring header = L"// Uninstall Log File v1\r\n// x\r\n// Install Tavimora 2.31s\r\n"
                              L"// Install Path : \r\n// Shortcut Path : \r\n// -\r\n";
  struct Case {
    const char* name;
    std::size_t entries;
    std::size_t padding;  // blank comment lines that only make the file larger
    std::size_t expected;
  } cases[] = {
      {"100,000 entries", kMaxEarlierEntries, 0, kMaxEarlierEntries},
      {"100,001 entries", kMaxEarlierEntries + 1, 0, 0},
      {"over 16 MB", 10, (kMaxEarlierLogBytes / 2) / 500 + 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring text = header;
    const std::wstring pad = L"//" + std::wstring(497, L' ') + L"\r\n";
    for (std::size_t i = 0; i < c.padding; ++i) text += pad;
    for (std::size_t i = 0; i < c.entries; ++i) text += L"0000:0101:1 -- C:\\P\\f" + std::to_wstring(i) + L"\r\n";
    const std::wstring log = dir + L"\\big.ulog";
    qvtest::write_file(log, rt::utf16_file(text));
    CInstallRecord record;
    record.productPlaces.productFolders = {L"C:\\P"};
    record.ReadLog(log.c_str());
    EXPECT_EQ(record.earlierItems.size(), c.expected);
    if (c.expected == 0) {
      EXPECT_EQ(record.earlierVersionText, L"");
    }
  }
}
