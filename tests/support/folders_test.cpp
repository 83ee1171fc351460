// Known folders of the support library and the installer's default folders,
// checked against the shell's own special-folder answers.
#include "app/install_app.hpp"
#include "support/known_folders.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <system_error>

namespace {

std::wstring special_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

bool ends_with(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(KnownFolders, TheMakersDataFoldersLieUnderTheShellsFolders) {
  struct row {
    const char* what;
    std::wstring value;
    int csidl;
    const wchar_t* tail;
  };
  const row rows[] = {
      {"common data", qv::common_data_folder(), CSIDL_COMMON_APPDATA, L"\\Quorvane Systems"},
      {"roaming data", qv::roaming_data_folder(), CSIDL_APPDATA, L"\\Quorvane Systems"},
      {"documents", qv::documents_folder(), CSIDL_PERSONAL, L""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    std::wstring shell = special_folder(r.csidl);
    ASSERT_FALSE(shell.empty());
    EXPECT_EQ(r.value, shell + r.tail);
    EXPECT_TRUE(ends_with(r.value, r.tail));
    EXPECT_NE(r.value.back(), L'\\');
  }
  // Asking again gives the same value.
  EXPECT_EQ(qv::common_data_folder(), rows[0].value);
}

TEST(KnownFolders, TheMakersSubfolderIsOnlyNamed) {
  std::wstring folder = qv::common_data_folder();
  DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "the folder exists already in this prefix";
  qv::known_folder(FOLDERID_ProgramData);
  EXPECT_EQ(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(KnownFolders, JoiningPutsOneBackslashBetween) {
  EXPECT_EQ(qv::join_folder(L"C:\\ProgramData", L"Quorvane Systems"), L"C:\\ProgramData\\Quorvane Systems");
  EXPECT_EQ(qv::join_folder(L"C:\\", L"Quorvane Systems"), L"C:\\Quorvane Systems");
  EXPECT_EQ(qv::join_folder(L"\\\\server\\share\\", L"Quorvane Systems"), L"\\\\server\\share\\Quorvane Systems");
}

TEST(KnownFolders, AnUnknownFolderThrowsTheShellsResult) {
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {0x12, 0x34, 0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc}};
  try {
    qv::known_folder(unknown);
    ADD_FAILURE() << "no exception";
  } catch (const std::system_error& e) {
    EXPECT_LT(e.code().value(), 0) << "an HRESULT";
    EXPECT_EQ(&e.code().category(), &std::system_category());
  }
}

TEST(DefaultFolders, ProgramFilesAndTheCommonStartMenu) {
  std::wstring program_files = special_folder(CSIDL_PROGRAM_FILES);
  std::wstring programs = special_folder(CSIDL_COMMON_PROGRAMS);
  ASSERT_FALSE(program_files.empty());
  ASSERT_FALSE(programs.empty());
  EXPECT_EQ(DefaultInstallFolder(), program_files + L"\\Quorvane Systems\\Tavimora 2");
  EXPECT_EQ(DefaultMenuFolder(), programs + L"\\Quorvane Systems\\Tavimora 2");
}

TEST(DefaultFolders, PathAppendRulesAndTheMaxPathLimit) {
  EXPECT_EQ(AppendProductFolders(L"C:\\"), L"C:\\Quorvane Systems\\Tavimora 2");
  EXPECT_EQ(AppendProductFolders(L"C:\\Programs\\"), L"C:\\Programs\\Quorvane Systems\\Tavimora 2");
  EXPECT_EQ(AppendProductFolders(L""), L"");
  // "\Quorvane Systems\Tavimora 2" is 28 characters: a base of 231 still
  // fits in 259 characters plus the terminator, one more does not.
  std::wstring fits = L"C:\\" + std::wstring(228, L'a');
  EXPECT_EQ(AppendProductFolders(fits), fits + L"\\Quorvane Systems\\Tavimora 2");
  EXPECT_EQ(AppendProductFolders(fits + L"a"), L"");
  EXPECT_EQ(AppendProductFolders(std::wstring(400, L'a')), L"");
}

TEST(DefaultFolders, SpecialFoldersAreNotCreated) {
  // The default folders name places that the installation creates later.
  std::wstring folder = DefaultInstallFolder();
  if (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "installed in this prefix";
  DefaultMenuFolder();
  EXPECT_EQ(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
