// Discovery of an earlier installation: where its log is looked for, how
// the installed program's version classifies it, and which folders the
// wizard starts with.
#include "app/install_app.hpp"
#include "app/product.hpp"
#include "record/earlier_install.hpp"
#include "support/registry.hpp"
#include "tests/common/test_support.hpp"
#include "tests/record/record_test_support.hpp"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <system_error>

namespace {

class FindEarlierLogTest : public ::testing::Test {
protected:
  void SetUp() override {
    rt::delete_uninstall_key();
    dir = qvtest::scratch_folder(L"findlog");
    for (const wchar_t* sub : {L"\\Uninstaller", L"\\Setup", L"\\Product", L"\\Cwd"})
      ::CreateDirectoryW((dir + sub).c_str(), nullptr);
    product = dir + L"\\Product\\Tavimora.exe";
    qvtest::write_file(product, "program");
  }
  void TearDown() override {
    rt::delete_uninstall_key();
    qvtest::remove_tree(dir);
  }
  void set_uninstaller(const std::wstring& command) {
    qv::reg_key key = qv::create_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
    qv::write_string(key, L"UninstallString", command);
  }
  std::wstring log_in(const wchar_t* sub) {
    std::wstring log = dir + sub + L"\\Uninstall.ulog";
    qvtest::write_file(log, "log");
    return log;
  }
  std::wstring dir, product;
};

}  // namespace

TEST_F(FindEarlierLogTest, CandidatesInTheirOrder) {
  set_uninstaller(dir + L"\\Uninstaller\\Uninstall.exe");
  const std::wstring by_uninstaller = log_in(L"\\Uninstaller");
  const std::wstring by_setup = log_in(L"\\Setup");
  const std::wstring by_product = log_in(L"\\Product");
  const std::wstring setup = dir + L"\\Setup";

  EXPECT_EQ(FindEarlierLog(setup, product), by_uninstaller);
  ::DeleteFileW(by_uninstaller.c_str());
  EXPECT_EQ(FindEarlierLog(setup, product), by_setup);
  ::DeleteFileW(by_setup.c_str());
  EXPECT_EQ(FindEarlierLog(setup, product), by_product);
  ::DeleteFileW(by_product.c_str());
  EXPECT_EQ(FindEarlierLog(setup, product), L"");
}

TEST_F(FindEarlierLogTest, WithoutTheUninstallKeyTheSetupFolderComesBeforeTheProductFolder) {
  const std::wstring by_setup = log_in(L"\\Setup");
  const std::wstring by_product = log_in(L"\\Product");
  EXPECT_EQ(FindEarlierLog(dir + L"\\Setup", product), by_setup);
  EXPECT_EQ(FindEarlierLog(L"", product), by_product);
  // A key without "UninstallString" is no candidate either.
  qv::create_key(HKEY_LOCAL_MACHINE, rt::uninstall_key_name());
  EXPECT_EQ(FindEarlierLog(dir + L"\\Setup", product), by_setup);
  EXPECT_EQ(FindEarlierLog(L"", L""), L"") << "without a product path there is no product folder";
}

TEST_F(FindEarlierLogTest, AnUninstallerWithoutAFolderNamesARelativeLog) {
  set_uninstaller(L"Uninstall.exe");
  log_in(L"\\Cwd");
  const std::wstring by_product = log_in(L"\\Product");
  wchar_t saved[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, saved);
  ::SetCurrentDirectoryW((dir + L"\\Cwd").c_str());
  EXPECT_EQ(FindEarlierLog(L"", product), L"Uninstall.ulog");
  ::SetCurrentDirectoryW((dir + L"\\Setup").c_str());
  EXPECT_EQ(FindEarlierLog(L"", product), by_product);
  ::SetCurrentDirectoryW(saved);
}

TEST_F(FindEarlierLogTest, TheSetupProgramsOwnFolder) {
  const std::wstring own = SetupProgramFolder();
  EXPECT_EQ(::CompareStringOrdinal(own.c_str(), -1, (qvtest::binary_dir() + L"\\tests\\record").c_str(), -1, TRUE),
            CSTR_EQUAL)
      << qvtest::narrow(own);
  const std::wstring log = own + L"\\Uninstall.ulog";
  qvtest::write_file(log, "log");
  EXPECT_EQ(FindEarlierLog(own, L""), log);
  ::DeleteFileW(log.c_str());
}

TEST(EarlierState, FromTheInstalledProgramsFileVersion) {
  struct row {
    const wchar_t* program;
    std::int32_t state;
    const wchar_t* text;
    std::uint64_t version;
  } rows[] = {
      {L"2.31.20.1", EarlierState::SameVersion, L"", 0},
      {L"2.31.20.2", EarlierState::NewerVersion, L"Tavimora 2 2.31u", 0},
      {L"2.32.0.0", EarlierState::NewerVersion, L"Tavimora 2 2.32", 0},
      {L"2.31.20.0", EarlierState::OlderVersion, L"Tavimora 2 2.31s", 0x0002001F00140000ull},
      {L"1.99.99.99", EarlierState::OlderVersion, L"Tavimora 2 1.99z", 0x0001006300630063ull},
      {L"unversioned", EarlierState::SameVersion, L"", 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(qvtest::narrow(r.program));
    const std::wstring path = rt::fixture_program(r.program);
    ASSERT_TRUE(rt::file_exists(path)) << qvtest::narrow(path);
    EarlierInstallation earlier = ClassifyEarlierInstallation(path);
    EXPECT_EQ(earlier.state, r.state);
    EXPECT_EQ(earlier.versionText, r.text);
    EXPECT_EQ(earlier.version, r.version);
  }
  EarlierInstallation none = ClassifyEarlierInstallation(L"");
  EXPECT_EQ(none.state, EarlierState::None);
  EXPECT_EQ(none.versionText, L"");
  EXPECT_EQ(none.version, 0u);
}

namespace {

class EarlierFolders : public ::testing::Test {
protected:
  void SetUp() override { dir = qvtest::scratch_folder(L"earlierfolders"); }
  void TearDown() override { qvtest::remove_tree(dir); }

  std::wstring write_log(const std::wstring& install, const std::wstring& menu) {
    CInstallRecord writer;
    rt::add_item(writer.items, ItemKind::File, L"C:\\Earlier\\Tavimora.exe", true, 1);
    rt::add_item(writer.items, ItemKind::DesktopShortcut, L"C:\\Earlier\\Tavimora.lnk");
    const std::wstring log = dir + L"\\Uninstall.ulog";
    EXPECT_TRUE(writer.WriteLog(log, install, menu));
    return log;
  }
  std::wstring dir;
};

}  // namespace

TEST_F(EarlierFolders, SameOrOlderVersionTakesTheFoldersOfTheEarlierLog) {
  const std::wstring log = write_log(dir, dir);
  for (std::int32_t state : {EarlierState::SameVersion, EarlierState::OlderVersion}) {
    CInstallRecord record;
    record.productPlaces.productFolders = {L"C:\\Earlier"};
    record.productPlaces.shellFolders = {L"C:\\Earlier"};
    std::wstring install, menu;
    ReadEarlierFolders(state, record, [&] { return log; }, install, menu);
    FillDefaultFolders(install, menu);
    EXPECT_EQ(install, dir);
    EXPECT_EQ(menu, dir);
    EXPECT_EQ(record.earlierItems.size(), 2u);
    EXPECT_EQ(record.earlierVersionText, L"Tavimora 2.31t");
  }
}

TEST_F(EarlierFolders, EmptyFolderLinesEndWithTheDefaults) {
  const std::wstring log = write_log(L"", L"");
  CInstallRecord record;
  record.productPlaces.productFolders = {L"C:\\Earlier"};
    record.productPlaces.shellFolders = {L"C:\\Earlier"};
  std::wstring install, menu;
  ReadEarlierFolders(EarlierState::OlderVersion, record, [&] { return log; }, install, menu);
  EXPECT_EQ(install, L"");
  EXPECT_EQ(menu, L"");
  EXPECT_EQ(record.earlierItems.size(), 2u) << "the earlier items are still taken over";
  FillDefaultFolders(install, menu);
  EXPECT_EQ(install, DefaultInstallFolder());
  EXPECT_EQ(menu, DefaultMenuFolder());
}

TEST_F(EarlierFolders, NoLogFoundLeavesTheRecordUntouched) {
  CInstallRecord record;
  record.earlierInstallFolder = L"untouched";
  std::wstring install = L"x", menu = L"y";
  ReadEarlierFolders(EarlierState::SameVersion, record, [] { return std::wstring(); }, install, menu);
  EXPECT_EQ(record.earlierInstallFolder, L"untouched") << "ReadLog is not called";
  EXPECT_EQ(install, L"");
  EXPECT_EQ(menu, L"");
}

TEST_F(EarlierFolders, NoneAndNewerReadNoLog) {
  const std::wstring log = write_log(dir, dir);
  for (std::int32_t state : {EarlierState::None, EarlierState::NewerVersion}) {
    CInstallRecord record;
    record.earlierInstallFolder = L"stale";
    bool asked = false;
    std::wstring install, menu;
    ReadEarlierFolders(state, record, [&] { asked = true; return log; }, install, menu);
    EXPECT_FALSE(asked);
    EXPECT_EQ(record.earlierInstallFolder, L"") << "ReadLog without a path only clears the folders";
    EXPECT_TRUE(record.earlierItems.empty());
    EXPECT_EQ(record.earlierVersionText, L"");
    FillDefaultFolders(install, menu);
    EXPECT_EQ(install, DefaultInstallFolder());
    EXPECT_EQ(menu, DefaultMenuFolder());
  }
}

TEST_F(EarlierFolders, RegistryErrorsOfTheSearchReachTheCaller) {
  CInstallRecord record;
  std::wstring install, menu;
  EXPECT_THROW(ReadEarlierFolders(EarlierState::SameVersion, record,
                                  []() -> std::wstring { throw std::system_error(ERROR_ACCESS_DENIED, std::system_category()); },
                                  install, menu),
               std::system_error);
}

TEST(DefaultFolders, MakerAndProductUnderProgramFilesAndTheCommonPrograms) {
  const std::wstring install = DefaultInstallFolder(), menu = DefaultMenuFolder();
  const std::wstring tail = L"\\Quorvane Systems\\Tavimora 2";
  ASSERT_GT(install.size(), tail.size());
  ASSERT_GT(menu.size(), tail.size());
  EXPECT_EQ(install.substr(install.size() - tail.size()), tail);
  EXPECT_EQ(menu.substr(menu.size() - tail.size()), tail);
  wchar_t program_files[MAX_PATH], programs[MAX_PATH];
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, program_files), S_OK);
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs), S_OK);
  EXPECT_EQ(install, program_files + tail);
  EXPECT_EQ(menu, programs + tail);
}
