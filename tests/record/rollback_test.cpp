// Rollback against the real file system and registry: what a failed run
// changed is undone, newest first, and what it replaced comes back.
#include "record/install_record.hpp"
#include "support/registry.hpp"
#include "tests/common/test_support.hpp"
#include "tests/record/record_test_support.hpp"
#include <gtest/gtest.h>
#include <shlwapi.h>

namespace {

class Rollback : public ::testing::Test {
protected:
  void SetUp() override {
    dir = qvtest::scratch_folder(L"rollback");
    rt::delete_uninstall_key();
  }
  void TearDown() override {
    qvtest::remove_tree(dir);
    rt::delete_uninstall_key();
  }
  std::wstring dir;
};

bool is_directory(const std::wstring& path) { return ::PathIsDirectoryW(path.c_str()) != FALSE; }

std::wstring value_of(HKEY key, const wchar_t* name) {
  std::wstring value;
  return qv::read_string(key, name, value) ? value : L"<missing>";
}

}  // namespace

TEST_F(Rollback, FilesAndFoldersAreUndone) {
  const std::wstring replaced = dir + L"\\replaced.txt";
  qvtest::write_file(replaced, "earlier contents");
  const DWORD earlier_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  ::SetFileAttributesW(replaced.c_str(), earlier_attributes);
  const std::wstring kept = dir + L"\\common.dat";  // common data the run leaves in place
  qvtest::write_file(kept, "shared data");
  const std::wstring outer = dir + L"\\New", inner = outer + L"\\Sub";
  const std::wstring created = inner + L"\\created.txt";
  const std::wstring fresh = dir + L"\\fresh.txt";

  CInstallRecord record;
  record.BeginFile(replaced, 1, false);
  ASSERT_FALSE(rt::file_exists(replaced)) << "the earlier file is moved out of the way";
  const std::wstring backup = record.items.tail()->backupPath;
  ASSERT_FALSE(backup.empty());
  EXPECT_EQ(qvtest::read_file(backup), "earlier contents");
  EXPECT_EQ(rt::attributes(backup), earlier_attributes);
  qvtest::write_file(replaced, "new contents");
  record.CommitItem(true);

  record.BeginFile(kept, 3, true);
  ASSERT_TRUE(rt::file_exists(kept)) << "with the copy flag the file stays";
  EXPECT_TRUE(record.items.tail()->backupPath.empty()) << "taken over in place: nothing to put back";
  record.CommitItem(true);

  record.BeginFile(created, 0, false);
  ASSERT_EQ(record.items.size(), 5u) << "two folders were created for it";
  qvtest::write_file(created, "x");
  record.CommitItem(true);
  qvtest::write_file(outer + L"\\foreign.txt", "not ours");  // keeps the outer folder from being removed

  record.BeginFile(fresh, 2, false);
  EXPECT_TRUE(record.items.tail()->backupPath.empty());
  qvtest::write_file(fresh, "y");
  ::SetFileAttributesW(fresh.c_str(), FILE_ATTRIBUTE_READONLY);
  record.CommitItem(true);

  record.BeginFile(dir + L"\\never.txt", 1, false);  // left open: the run failed here

  record.Rollback();
  EXPECT_TRUE(record.items.empty());
  EXPECT_FALSE(record.itemOpen);
  EXPECT_EQ(qvtest::read_file(replaced), "earlier contents");
  EXPECT_EQ(rt::attributes(replaced), earlier_attributes);
  EXPECT_FALSE(rt::file_exists(backup));
  EXPECT_EQ(qvtest::read_file(kept), "shared data");
  EXPECT_FALSE(rt::file_exists(created));
  EXPECT_FALSE(rt::file_exists(fresh)) << "read-only or not, a new file is deleted";
  EXPECT_FALSE(is_directory(inner));
  EXPECT_TRUE(is_directory(outer)) << "a folder that still holds something stays";
  EXPECT_TRUE(is_directory(dir)) << "folders that existed before are not the run's";
}

TEST_F(Rollback, ShortcutBackupsGoBackWhereTheEarlierInstallationKeptThem) {
  const std::wstring earlier_menu = dir + L"\\OldMenu", earlier_desk = dir + L"\\OldDesk";
  ::CreateDirectoryW(earlier_menu.c_str(), nullptr);
  ::CreateDirectoryW(earlier_desk.c_str(), nullptr);
  const std::wstring old_program = earlier_menu + L"\\Tavimora 2.lnk";
  const std::wstring old_desktop = earlier_desk + L"\\Tavimora.lnk";
  qvtest::write_file(old_program, "old program shortcut");
  qvtest::write_file(old_desktop, "old desktop shortcut");

  CInstallRecord record;
  record.productPlaces.shellFolders = {dir};
  rt::add_item(record.earlierItems, ItemKind::ProgramShortcut, old_program);
  rt::add_item(record.earlierItems, ItemKind::DesktopShortcut, old_desktop);
  rt::add_item(record.earlierItems, ItemKind::UninstallShortcut, dir + L"\\gone.lnk");  // no longer there

  const std::wstring menu = dir + L"\\Menu\\Quorvane Systems\\Tavimora 2";
  record.BeginShortcut(0, menu);
  EXPECT_FALSE(rt::file_exists(old_program));
  qvtest::write_file(menu + L"\\Tavimora 2.lnk", "new");
  record.CommitItem(true, (menu + L"\\Tavimora 2.lnk").c_str());
  record.BeginShortcut(1, menu);
  EXPECT_TRUE(record.items.tail()->backupPath.empty());
  record.CommitItem(false);
  record.BeginShortcut(2, dir + L"\\Desk");
  EXPECT_FALSE(rt::file_exists(old_desktop));
  record.CommitItem(false);  // making it failed: the item has no path of its own

  record.Rollback();
  EXPECT_EQ(qvtest::read_file(old_program), "old program shortcut");
  EXPECT_EQ(qvtest::read_file(old_desktop), "old desktop shortcut");
  EXPECT_FALSE(rt::file_exists(menu + L"\\Tavimora 2.lnk"));
  EXPECT_FALSE(is_directory(dir + L"\\Menu"));
  EXPECT_FALSE(is_directory(dir + L"\\Desk"));
  EXPECT_EQ(record.earlierItems.size(), 3u) << "rollback leaves the earlier items alone";
}

TEST_F(Rollback, ACreatedUninstallKeyIsDeletedWithItsValues) {
  qv::reg_key key = qv::create_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
  CInstallRecord record;
  record.BeginUninstallKey(nullptr);
  EXPECT_TRUE(record.items.tail()->backupPath.empty());
  qv::write_string(key, L"DisplayName", L"Tavimora 2");
  qv::write_string(key, L"UninstallString", L"C:\\x\\Uninstall.exe");
  qv::create_key(key, L"Sub");
  key.reset();
  record.CommitItem(true);

  record.Rollback();
  EXPECT_FALSE(qv::open_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name()));
  EXPECT_TRUE(qv::open_key(HKEY_LOCAL_MACHINE, kUninstallParentKey)) << "only the product's own key goes";
}

TEST_F(Rollback, AnExistingUninstallKeyIsCapturedAndRestored) {
  {
    qv::reg_key key = qv::create_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
    qv::write_string(key, L"DisplayName", L"Tavimora 2 (earlier)");
    qv::write_string(key, L"QvLanguage", L"1");
  }
  qv::reg_key existing = qv::open_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
  ASSERT_TRUE(existing);
  const auto before = rt::temp_backups();
  CInstallRecord record;
  EXPECT_EQ(record.BeginUninstallKey(existing), DWORD(ERROR_SUCCESS));
  // Held in memory: no saved hive file, which Wine could not restore.
  EXPECT_TRUE(record.items.tail()->backupPath.empty());
  EXPECT_EQ(rt::temp_backups().size(), before.size());
  qv::write_string(existing, L"DisplayName", L"Tavimora 2");
  qv::write_string(existing, L"UninstallString", L"C:\\new\\Uninstall.exe");
  existing.reset();
  record.CommitItem(true);

  record.Rollback();
  qv::reg_key after = qv::open_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
  ASSERT_TRUE(after) << "an earlier key is restored, never deleted";
  EXPECT_EQ(value_of(after, L"DisplayName"), L"Tavimora 2 (earlier)");
  EXPECT_EQ(value_of(after, L"QvLanguage"), L"1");
  EXPECT_EQ(value_of(after, L"UninstallString"), L"<missing>");
}

TEST_F(Rollback, AShortcutThatCouldNotBeMadeGivesTheEarlierOneItsPlaceBack) {
  // The run goes on after a failed shortcut and ends with WriteLog, which
  // deletes every backup: the earlier shortcut must be back before that.
  const std::wstring earlier_desk = dir + L"\\OldDesk";
  ::CreateDirectoryW(earlier_desk.c_str(), nullptr);
  const std::wstring old_desktop = earlier_desk + L"\\Tavimora.lnk";
  qvtest::write_file(old_desktop, "old desktop shortcut");
  CInstallRecord record;
  record.productPlaces.shellFolders = {dir};
  rt::add_item(record.earlierItems, ItemKind::DesktopShortcut, old_desktop);

  ASSERT_EQ(record.BeginShortcut(2, dir + L"\\Desk"), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(rt::file_exists(old_desktop));
  record.CommitItem(false);
  EXPECT_EQ(qvtest::read_file(old_desktop), "old desktop shortcut");

  ASSERT_TRUE(record.WriteLog(dir + L"\\Uninstall.ulog", dir, dir));
  EXPECT_EQ(qvtest::read_file(old_desktop), "old desktop shortcut");
  // The log still names it, so that the uninstaller removes it.
  const std::string log = qvtest::read_file(dir + L"\\Uninstall.ulog");
  EXPECT_NE(rt::decode_utf16(log.substr(2)).find(old_desktop), std::wstring::npos);
}

TEST_F(Rollback, WriteLogInsteadKeepsNothingOfWhatWasReplaced) {
  const std::wstring file = dir + L"\\replaced.txt";
  qvtest::write_file(file, "earlier");
  CInstallRecord record;
  record.BeginFile(file, 1, false);
  const std::wstring backup = record.items.tail()->backupPath;
  qvtest::write_file(file, "new");
  record.CommitItem(true);
  ASSERT_TRUE(record.WriteLog(dir + L"\\Uninstall.ulog", dir, dir));
  EXPECT_FALSE(rt::file_exists(backup));
  EXPECT_EQ(qvtest::read_file(file), "new");
}
