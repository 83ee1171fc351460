// Writing the uninstall log: its exact bytes, the merge of an earlier
// installation's items, the read-back, and indices past 9999.
#include "record/earlier_install.hpp"
#include "record/install_record.hpp"
#include "tests/common/test_support.hpp"
#include "tests/record/record_test_support.hpp"
#include "tests/record/ulog_checker.hpp"
#include <gtest/gtest.h>
#include <locale>
#include <shlwapi.h>

using rt::item_view;

namespace {

constexpr DWORD kLogAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// The attributes every file system keeps (see LogAttributes below).
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;

std::wstring uninstall_key_text() {
  return L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavimora 2";
}

// A fixed folder, so that the written log can be compared with a file of
// the tests byte for byte.
struct fixed_root {
  std::wstring path = L"C:\\QvRecordLogTest";
  fixed_root() { qvtest::remove_tree(path); }
  ~fixed_root() { qvtest::remove_tree(path); }
};

void write_entry(CInstallRecord& record, const std::wstring& path, int entry_kind, bool ok = true) {
  record.BeginFile(path, entry_kind, false);
  if (ok) qvtest::write_file(path, "payload");
  record.CommitItem(ok);
}

}  // namespace

TEST(WriteLog, FirstInstallationMatchesTheFixtureByteForByte) {
  fixed_root root;
  const std::wstring r = root.path;
  const std::wstring program = r + L"\\Program";
  const std::wstring menu = r + L"\\Menu\\Quorvane Systems\\Tavimora 2";
  CInstallRecord record;
  write_entry(record, program + L"\\Tavimora.exe", 1);
  write_entry(record, program + L"\\Languages\\Tavimora.fr.dll", 0);
  write_entry(record, r + L"\\Shared\\Donn\u00E9es\\\u010Al\u00E9.dat", 2);
  write_entry(record, r + L"\\Samples\\Sample.tvm", 3);
  write_entry(record, program + L"\\Uninstall.exe", 4);
  write_entry(record, program + L"\\Broken.dat", 1, false);

  record.BeginShortcut(0, menu);
  qvtest::write_file(menu + L"\\Tavimora 2.lnk", "lnk");
  record.CommitItem(true, (menu + L"\\Tavimora 2.lnk").c_str());
  record.BeginShortcut(1, menu);
  qvtest::write_file(menu + L"\\Uninstall Tavimora 2.lnk", "lnk");
  record.CommitItem(true, (menu + L"\\Uninstall Tavimora 2.lnk").c_str());
  record.BeginShortcut(2, r + L"\\Desktop");
  record.CommitItem(false);  // making the desktop shortcut failed
  record.BeginUninstallKey(nullptr);
  record.CommitItem(true);
  record.BeginClassesRootEntries();
  record.CommitItem(true);
  EXPECT_FALSE(record.itemOpen);

  const std::wstring log = program + L"\\Uninstall.ulog";
  ASSERT_TRUE(record.WriteLog(log, program, menu));

  const std::string written = qvtest::read_file(log);
  const std::string expected = qvtest::read_file(qvtest::source_dir() + L"\\tests\\record\\fixtures\\first-install.ulog");
  EXPECT_EQ(written, expected) << "written:\n" << qvtest::narrow(rt::decode_utf16(written.substr(2)));
  EXPECT_EQ(rt::attributes(log) & kKeptAttributes, kKeptAttributes);
  rt::checked_log checked = rt::check_ulog(written);
  EXPECT_TRUE(checked.problems.empty()) << rt::problems_text(checked);
  // The registry items keep the texts they were written with.
  EXPECT_EQ(record.items.tail()->prev->path, uninstall_key_text());
  EXPECT_EQ(record.items.tail()->path, L"HKEY_CLASSES_ROOT\\...");
}

TEST(WriteLog, LogAttributes) {
  std::wstring folder = qvtest::scratch_folder(L"attributes");
  CInstallRecord record;
  const std::wstring log = folder + L"\\Uninstall.ulog";
  ASSERT_TRUE(record.WriteLog(log, folder, folder));
  const DWORD written = rt::attributes(log);
  EXPECT_EQ(written & kKeptAttributes, kKeptAttributes);
  // Does this file system keep "not content-indexed" at all?
  const std::wstring probe = folder + L"\\probe";
  qvtest::write_file(probe, "x");
  ::SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  const bool kept = (rt::attributes(probe) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) != 0;
  qvtest::remove_tree(folder);
  if (!kept)
    GTEST_SKIP() << "this file system drops FILE_ATTRIBUTE_NOT_CONTENT_INDEXED (Wine does: it reads back 0x21), "
                    "so only the read-only and archive bits of 0x2021 can be checked";
  EXPECT_EQ(written, kLogAttributes);
}

TEST(WriteLog, EntryFormat) {
  struct row {
    std::size_t index;
    ItemKind kind;
    int entry_kind;
    bool committed;
    const wchar_t* path;
    const wchar_t* line;
  } rows[] = {
      {0, ItemKind::Folder, -1, true, L"C:\\A", L"0000:00ff:1 -- C:\\A"},
      {7, ItemKind::File, 4, false, L"C:\\A\\b", L"0007:0104:0 -- C:\\A\\b"},
      {42, ItemKind::DesktopShortcut, -1, false, L"", L"0042:04ff:0 -- "},
      {9999, ItemKind::ProgramShortcut, -1, true, L"x", L"9999:02ff:1 -- x"},
      {10000, ItemKind::UninstallShortcut, -1, true, L"x", L"10000:03ff:1 -- x"},
      {123456, ItemKind::ClassesRootEntries, -1, true, L"y", L"123456:06ff:1 -- y"},
  };
  for (const row& r : rows) {
    RecordItem item;
    item.kind = r.kind;
    item.entryKind = r.entry_kind;
    item.committed = r.committed;
    item.path = r.path;
    EXPECT_EQ(FormatLogEntry(r.index, item), r.line);
  }
}

namespace {
// A numeric punctuation that groups thousands, as some user locales do.
struct grouping_punct : std::numpunct<wchar_t> {
  wchar_t do_thousands_sep() const override { return L','; }
  std::string do_grouping() const override { return "\3"; }
};

struct global_locale_guard {
  std::locale saved;
  explicit global_locale_guard(const std::locale& l) : saved(std::locale::global(l)) {}
  ~global_locale_guard() { std::locale::global(saved); }
};
}  // namespace

TEST(WriteLog, IndicesAreNeverGroupedAndReadBackUnderAGroupingLocale) {
  global_locale_guard guard(std::locale(std::locale(), new grouping_punct));
  RecordItem item;
  item.kind = ItemKind::File;
  item.entryKind = 1;
  item.path = L"C:\\x";
  EXPECT_EQ(FormatLogEntry(1234, item), L"1234:0101:0 -- C:\\x");

  std::wstring folder = qvtest::scratch_folder(L"grouping");
  CInstallRecord record;
  for (int i = 0; i < 1500; ++i) rt::add_item(record.items, ItemKind::File, L"C:\\Q\\f" + std::to_wstring(i), true, 1);
  ASSERT_TRUE(record.WriteLog(folder + L"\\Uninstall.ulog", folder, folder));
  CInstallRecord again;
  again.productPlaces = rt::whole_drives();
  again.ReadLog((folder + L"\\Uninstall.ulog").c_str());
  EXPECT_EQ(again.earlierItems.size(), 1500u);
  qvtest::remove_tree(folder);
}

TEST(WriteLog, TenThousandEntriesGiveFiveDigitIndices) {
  std::wstring folder = qvtest::scratch_folder(L"many");
  CInstallRecord record;
  const int count = 10001;
  for (int i = 0; i < count; ++i) rt::add_item(record.items, ItemKind::File, L"C:\\Q\\f" + std::to_wstring(i), true, 1);
  const std::wstring log = folder + L"\\Uninstall.ulog";
  ASSERT_TRUE(record.WriteLog(log, folder, folder));
  rt::checked_log checked = rt::check_ulog(qvtest::read_file(log));
  EXPECT_TRUE(checked.problems.empty()) << rt::problems_text(checked);
  ASSERT_EQ(checked.entries.size(), static_cast<std::size_t>(count));
  std::wstring text = rt::decode_utf16(qvtest::read_file(log).substr(2));
  EXPECT_NE(text.find(L"\r\n9999:0101:1 -- C:\\Q\\f9999\r\n10000:0101:1 -- C:\\Q\\f10000\r\n"), std::wstring::npos);

  CInstallRecord again;
  again.productPlaces = rt::whole_drives();
  again.ReadLog(log.c_str());
  ASSERT_EQ(again.earlierItems.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(again.earlierItems.tail()->path, L"C:\\Q\\f10000");
  qvtest::remove_tree(folder);
}

TEST(WriteLog, MergeKeepsEarlierItemsFirstAndLetsNewItemsDisplaceTheirMatches) {
  std::wstring folder = qvtest::scratch_folder(L"merge");
  CInstallRecord record;
  record.earlierVersionText = L"Tavimora 2.20";
  // The earlier log, in its own order.
  rt::add_item(record.earlierItems, ItemKind::Folder, L"C:\\QvMerge\\Old");
  rt::add_item(record.earlierItems, ItemKind::Folder, L"C:\\QvMerge\\Program");
  rt::add_item(record.earlierItems, ItemKind::File, L"c:\\qvmerge\\PROGRAM\\tavimora.exe", true, 1);
  rt::add_item(record.earlierItems, ItemKind::File, L"C:\\QvMerge\\Program\\Old.dll", true, 0);
  rt::add_item(record.earlierItems, ItemKind::ProgramShortcut, L"C:\\Menu\\Old.lnk");
  rt::add_item(record.earlierItems, ItemKind::DesktopShortcut, L"C:\\Desk\\A.lnk");
  rt::add_item(record.earlierItems, ItemKind::DesktopShortcut, L"C:\\Desk\\B.lnk", false);
  rt::add_item(record.earlierItems, ItemKind::UninstallKey, L"");
  rt::add_item(record.earlierItems, ItemKind::ClassesRootEntries, L"");
  rt::add_item(record.earlierItems, ItemKind::Folder, L"C:\\QvMerge\\Old\\Again");
  // This run.
  rt::add_item(record.items, ItemKind::Folder, L"C:\\QvMerge\\Program");
  rt::add_item(record.items, ItemKind::File, L"C:\\QvMerge\\Program\\Tavimora.exe", true, 1);
  rt::add_item(record.items, ItemKind::ProgramShortcut, L"C:\\Menu\\New.lnk");
  rt::add_item(record.items, ItemKind::UninstallKey, L"");

  // The earlier run left its log read-only; it is replaced all the same.
  const std::wstring log = folder + L"\\Uninstall.ulog";
  qvtest::write_file(log, "old");
  ::SetFileAttributesW(log.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(record.WriteLog(log, L"C:\\QvMerge\\Program", L"C:\\Menu"));
  EXPECT_TRUE(record.earlierItems.empty());

  const std::vector<item_view> expected = {
      {ItemKind::Folder, -1, true, L"C:\\QvMerge\\Old"},
      {ItemKind::File, 0, true, L"C:\\QvMerge\\Program\\Old.dll"},
      {ItemKind::DesktopShortcut, -1, false, L"C:\\Desk\\B.lnk"},
      {ItemKind::ClassesRootEntries, -1, true, L"HKEY_CLASSES_ROOT\\..."},
      {ItemKind::Folder, -1, true, L"C:\\QvMerge\\Old\\Again"},
      {ItemKind::Folder, -1, true, L"C:\\QvMerge\\Program"},
      {ItemKind::File, 1, true, L"C:\\QvMerge\\Program\\Tavimora.exe"},
      {ItemKind::ProgramShortcut, -1, true, L"C:\\Menu\\New.lnk"},
      {ItemKind::UninstallKey, -1, true, uninstall_key_text()},
  };
  EXPECT_EQ(rt::items_of(record.items), expected);

  rt::checked_log checked = rt::check_ulog(qvtest::read_file(log));
  EXPECT_TRUE(checked.problems.empty()) << rt::problems_text(checked);
  ASSERT_EQ(checked.header.size(), 6u);
  EXPECT_EQ(checked.header[2], L"Install Tavimora 2.31t -- Update (Tavimora 2.20)");
  ASSERT_EQ(checked.entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(checked.entries[i].index, i);
    EXPECT_EQ(checked.entries[i].path, expected[i].path);
  }
  EXPECT_EQ(checked.entries[2].code, 0x04ffu);
  EXPECT_FALSE(checked.entries[2].committed);
  EXPECT_EQ(rt::attributes(log) & kKeptAttributes, kKeptAttributes);
  qvtest::remove_tree(folder);
}

TEST(WriteLog, RoundTripThroughReadLog) {
  std::wstring folder = qvtest::scratch_folder(L"roundtrip");
  const std::wstring install = folder + L"\\Install", menu = folder + L"\\Menu";
  ::CreateDirectoryW(install.c_str(), nullptr);
  ::CreateDirectoryW(menu.c_str(), nullptr);
  CInstallRecord record;
  rt::add_item(record.items, ItemKind::Folder, install);
  rt::add_item(record.items, ItemKind::File, install + L"\\T\u0A0Davimora.exe", true, 1);
  rt::add_item(record.items, ItemKind::File, install + L"\\data \u010A.bin", false, 2);
  rt::add_item(record.items, ItemKind::ProgramShortcut, menu + L"\\Tavimora 2.lnk");
  rt::add_item(record.items, ItemKind::UninstallShortcut, menu + L"\\Uninstall Tavimora 2.lnk");
  rt::add_item(record.items, ItemKind::DesktopShortcut, L"", false);
  rt::add_item(record.items, ItemKind::UninstallKey, L"");
  rt::add_item(record.items, ItemKind::ClassesRootEntries, L"", false);
  const std::wstring log = folder + L"\\Uninstall.ulog";
  ASSERT_TRUE(record.WriteLog(log, install, menu));

  CInstallRecord again;
  again.productPlaces = rt::whole_drives();
  again.ReadLog(log.c_str());
  EXPECT_EQ(again.earlierInstallFolder, install);
  EXPECT_EQ(again.earlierShortcutFolder, menu);
  EXPECT_EQ(again.earlierVersionText, L"Tavimora 2.31t");
  std::vector<item_view> expected = rt::items_of(record.items);
  expected[6].path.clear();  // kinds 5 and 6 come back without their texts
  expected[7].path.clear();
  EXPECT_EQ(rt::items_of(again.earlierItems), expected);

  // Folders that are gone by the next run are not offered again.
  qvtest::remove_tree(menu);
  CInstallRecord third;
  third.productPlaces = rt::whole_drives();
  third.ReadLog(log.c_str());
  EXPECT_EQ(third.earlierInstallFolder, install);
  EXPECT_EQ(third.earlierShortcutFolder, L"");
  EXPECT_EQ(third.earlierItems.size(), expected.size());

  // An update's own log states the earlier text after " -- ", which a
  // reader leaves out.
  third.WriteLog(log, install, L"");
  CInstallRecord fourth;
  fourth.productPlaces = rt::whole_drives();
  fourth.ReadLog(log.c_str());
  EXPECT_EQ(fourth.earlierVersionText, L"Tavimora 2.31t");
  EXPECT_EQ(fourth.earlierShortcutFolder, L"");
  EXPECT_EQ(fourth.earlierItems.size(), expected.size()) << "an empty folder line must not end the reading";
  qvtest::remove_tree(folder);
}

TEST(WriteLog, FailureToCreateTheFileIsReportedAndBackupsAreDeletedAnyway) {
  std::wstring folder = qvtest::scratch_folder(L"nolog");
  const std::wstring file = folder + L"\\kept.txt";
  qvtest::write_file(file, "earlier");
  CInstallRecord record;
  record.BeginFile(file, 1, false);
  const std::wstring backup = record.items.tail()->backupPath;
  ASSERT_FALSE(backup.empty());
  ASSERT_TRUE(rt::file_exists(backup));
  qvtest::write_file(file, "new");
  record.CommitItem(true);

  EXPECT_FALSE(record.WriteLog(folder + L"\\missing\\Uninstall.ulog", folder, folder));
  EXPECT_FALSE(rt::file_exists(backup));
  EXPECT_TRUE(record.items.tail()->backupPath.empty());
  qvtest::remove_tree(folder);
}

TEST(Record, CommitAndEarlierFileRules) {
  CInstallRecord record;
  record.CommitItem(true, L"ignored");  // nothing open: nothing happens
  EXPECT_TRUE(record.items.empty());

  rt::add_item(record.earlierItems, ItemKind::File, L"C:\\P\\a.exe", true, 1);
  rt::add_item(record.earlierItems, ItemKind::File, L"C:\\P\\open.dat", false, 1);
  rt::add_item(record.earlierItems, ItemKind::Folder, L"C:\\P\\dir");
  EXPECT_TRUE(record.IsEarlierFile(L"C:\\P\\a.exe"));
  EXPECT_FALSE(record.IsEarlierFile(L"C:\\P\\A.exe"));  // case matters
  EXPECT_FALSE(record.IsEarlierFile(L"C:\\P\\a.exe "));
  EXPECT_FALSE(record.IsEarlierFile(L"C:\\P\\open.dat"));  // never committed
  EXPECT_FALSE(record.IsEarlierFile(L"C:\\P\\dir"));      // not a file

  record.BeginClassesRootEntries();
  EXPECT_TRUE(record.itemOpen);
  record.CommitItem(true, L"C:\\given");
  EXPECT_FALSE(record.itemOpen);
  EXPECT_EQ(rt::items_of(record.items), (std::vector<item_view>{{ItemKind::ClassesRootEntries, -1, true, L"C:\\given"}}));
  record.CommitItem(false);  // closed already
  EXPECT_TRUE(record.items.tail()->committed);
}

TEST(Record, CreateFoldersRecordsOnlyWhatItCreatesOutermostFirst) {
  std::wstring folder = qvtest::scratch_folder(L"folders");
  CInstallRecord record;
  record.CreateFolders(folder + L"\\A\\B\\C");
  EXPECT_EQ(rt::items_of(record.items), (std::vector<item_view>{{ItemKind::Folder, -1, true, folder + L"\\A"},
                                                                 {ItemKind::Folder, -1, true, folder + L"\\A\\B"},
                                                                 {ItemKind::Folder, -1, true, folder + L"\\A\\B\\C"}}));
  EXPECT_TRUE(::PathIsDirectoryW((folder + L"\\A\\B\\C").c_str()));
  record.CreateFolders(folder + L"\\A\\B\\D\\");
  EXPECT_EQ(record.items.size(), 4u);
  EXPECT_EQ(record.items.tail()->path, folder + L"\\A\\B\\D");

  // A file in the way ends the walk without anything recorded.
  qvtest::write_file(folder + L"\\file", "x");
  CInstallRecord blocked;
  blocked.CreateFolders(folder + L"\\file\\X\\Y");
  EXPECT_TRUE(blocked.items.empty());
  EXPECT_FALSE(rt::file_exists(folder + L"\\file\\X"));
  qvtest::remove_tree(folder);
}

TEST(Record, MakeBackupReservesAFreeTemporaryName) {
  CInstallRecord record;
  std::wstring name = record.MakeBackup(nullptr, false);
  ASSERT_FALSE(name.empty());
  EXPECT_FALSE(rt::file_exists(name));
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  EXPECT_EQ(name.compare(0, wcslen(temp) + 2, std::wstring(temp) + L"qv"), 0) << qvtest::narrow(name);
  EXPECT_TRUE(record.MakeBackup(L"C:\\no such folder\\no such file", false).empty());
}
