// The path utilities against the real file system: normalisation, the three
// steps of same_path, the non-raising existence test, make_writable and the
// capture of file-stream errors.
#include "record/path_utils.hpp"
#include "support/process_locale.hpp"
#include <clocale>
#include <cstdio>
#include <sstream>
#include "tests/common/test_support.hpp"
#include <boost/filesystem/exception.hpp>
#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

struct normalize_case {
  const wchar_t* in;
  const wchar_t* out;
};

class NormalizePath : public ::testing::TestWithParam<normalize_case> {};

TEST_P(NormalizePath, GivesTheExpectedSpelling) {
  EXPECT_EQ(normalize_path(GetParam().in).native(), std::wstring(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormalizePath,
    ::testing::Values(normalize_case{L"C:\\a\\.\\b\\..\\c", L"C:\\a\\c"},
                      normalize_case{L"a/../../d", L"..\\d"},
                      normalize_case{L"C:\\..\\x", L"C:\\..\\x"},                // climbs above its root: unchanged
                      normalize_case{L"\\dir\\..\\file", L"\\dir\\..\\file"},    // root directory, no drive: unchanged
                      normalize_case{L"C:/a/b/./c", L"C:\\a\\b\\c"},
                      normalize_case{L"a\\b\\..\\..", L""},
                      normalize_case{L"..\\..\\a", L"..\\..\\a"},
                      normalize_case{L"\\\\server\\share\\x\\..\\y", L"\\\\server\\share\\y"},
                      normalize_case{L"C:a\\..\\b", L"C:b"}));

class PathsOnDisk : public ::testing::Test {
protected:
  void SetUp() override { dir_ = qvtest::scratch_folder(L"paths"); }
  void TearDown() override { qvtest::remove_tree(dir_); }
  std::wstring dir_;
};

TEST_F(PathsOnDisk, SamePathOfAnExistingFileInTwoSpellings) {
  qvtest::write_file(dir_ + L"\\b.txt", "x");
  std::wstring upper = dir_ + L"\\B.TXT";
  for (wchar_t& c : upper) c = static_cast<wchar_t>(::towupper(c));
  EXPECT_TRUE(same_path(dir_ + L"\\b.txt", upper));
  EXPECT_TRUE(same_path(dir_ + L"\\b.txt", dir_ + L"\\sub\\..\\b.txt"));
}

TEST_F(PathsOnDisk, SamePathOfMissingPathsThatNormaliseAlike) {
  EXPECT_TRUE(same_path(dir_ + L"\\X\\..\\A", dir_ + L"\\A"));
  EXPECT_TRUE(same_path(dir_ + L"\\missing\\f.txt", dir_ + L"\\MISSING\\F.TXT"));
  EXPECT_FALSE(same_path(dir_ + L"\\missing\\f.txt", dir_ + L"\\missing\\g.txt"));
  // Case is ignored element by element, lengths must agree.
  EXPECT_FALSE(same_path(dir_ + L"\\ab\\f", dir_ + L"\\a\\bf"));
}

TEST_F(PathsOnDisk, SamePathWhenOnlyOneExistsIsFalse) {
  qvtest::write_file(dir_ + L"\\f.txt", "x");
  ::CreateDirectoryW((dir_ + L"\\A").c_str(), nullptr);
  EXPECT_FALSE(same_path(dir_ + L"\\f.txt", dir_ + L"\\A\\f.txt"));
}

TEST_F(PathsOnDisk, SamePathOfARelativeAndAnAbsoluteSpelling) {
  wchar_t cwd[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, cwd);
  ASSERT_TRUE(::SetCurrentDirectoryW(dir_.c_str()));
  EXPECT_TRUE(same_path(L"missing\\file.txt", dir_ + L"\\missing\\file.txt"));
  EXPECT_TRUE(same_path(L".\\other\\..\\missing.txt", dir_ + L"\\missing.txt"));
  EXPECT_FALSE(same_path(L"missing\\file.txt", dir_ + L"\\file.txt"));
  ::SetCurrentDirectoryW(cwd);
}

TEST_F(PathsOnDisk, PathExistsNeverRaises) {
  qvtest::write_file(dir_ + L"\\f.txt", "x");
  EXPECT_TRUE(path_exists(dir_ + L"\\f.txt"));
  EXPECT_TRUE(path_exists(dir_));
  EXPECT_FALSE(path_exists(dir_ + L"\\nothing"));
  EXPECT_FALSE(path_exists(dir_ + L"\\nothing\\deeper\\f"));
  // A drive letter that Wine does not map.
  EXPECT_FALSE(path_exists(L"Q:\\nowhere\\f.txt"));
  EXPECT_FALSE(path_exists(L""));
}

TEST_F(PathsOnDisk, MakeWritableClearsOnlyTheReadOnlyAttribute) {
  std::wstring file = dir_ + L"\\ro.txt";
  qvtest::write_file(file, "x");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  make_writable(file);
  DWORD attributes = ::GetFileAttributesW(file.c_str());
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_ARCHIVE, 0u);
}

TEST_F(PathsOnDisk, MakeWritableLeavesFoldersAndMissingPathsAlone) {
  std::wstring folder = dir_ + L"\\sub";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  DWORD before = ::GetFileAttributesW(folder.c_str());
  make_writable(folder);
  EXPECT_EQ(::GetFileAttributesW(folder.c_str()), before);
  make_writable(dir_ + L"\\missing.txt");  // nothing to do, nothing raised
  EXPECT_FALSE(path_exists(dir_ + L"\\missing.txt"));
}

TEST(StreamErrors, SystemCodeWinsOverErrno) {
  clear_stream_error();
  EXPECT_FALSE(last_stream_error());
  errno = ENOENT;
  EXPECT_EQ(last_stream_error(), std::error_code(ENOENT, std::generic_category()));
  _doserrno = ERROR_SHARING_VIOLATION;
  EXPECT_EQ(last_stream_error(), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
  clear_stream_error();
  EXPECT_FALSE(last_stream_error());
}

TEST_F(PathsOnDisk, AFailingFileStreamIsRethrownWithItsPathsAndCode) {
  std::wstring missing = dir_ + L"\\no\\such\\folder\\f.bin";
  clear_stream_error();
  try {
    try {
      std::ofstream out;
      out.exceptions(std::ios::failbit | std::ios::badbit);
      out.open(missing.c_str(), std::ios::binary);
      FAIL() << "opening a file in a missing folder succeeded";
    } catch (...) {
      rethrow_with_paths(missing, L"second");
    }
  } catch (const fs::filesystem_error& e) {
    EXPECT_EQ(e.path1().native(), missing);
    EXPECT_EQ(e.path2().native(), L"second");
    EXPECT_TRUE(e.code()) << "the runtime's error code is carried";
    return;
  } catch (const std::exception& e) {
    FAIL() << "unexpected exception: " << e.what();
  }
}

TEST(RethrowWithPaths, AddsPathsToAFilesystemErrorWithout) {
  try {
    try {
      throw fs::filesystem_error("op", boost::system::error_code(5, boost::system::system_category()));
    } catch (...) {
      rethrow_with_paths(L"C:\\a", L"C:\\b");
    }
  } catch (const fs::filesystem_error& e) {
    EXPECT_EQ(e.path1().native(), L"C:\\a");
    EXPECT_EQ(e.code().value(), 5);
  }
}

TEST(RethrowWithPaths, LeavesOtherExceptionsAsTheyAre) {
  EXPECT_THROW(
      {
        try {
          throw std::runtime_error("other");
        } catch (...) {
          rethrow_with_paths(L"C:\\a", L"C:\\b");
        }
      },
      std::runtime_error);
  // A stream failure without a runtime error code passes unchanged too.
  clear_stream_error();
  EXPECT_THROW(
      {
        try {
          throw std::ios_base::failure("stream");
        } catch (...) {
          rethrow_with_paths(L"C:\\a", L"C:\\b");
        }
      },
      std::ios_base::failure);
}

TEST(ProcessLocale, IsInstalledOnceAndClassifiesThroughWindows) {
  EXPECT_TRUE(init_process_locale());
  EXPECT_TRUE(init_process_locale());
  std::locale global;
  // U+3000 (ideographic space) is white space for Windows, not for the "C" locale.
  EXPECT_TRUE(std::isspace(L'\u3000', global));
  EXPECT_EQ(std::toupper(L'\u00e9', global), L'\u00c9');
  // Numbers stay in the "C" manner.
  std::wostringstream out;
  out << 1234567;
  EXPECT_EQ(out.str(), L"1234567");
}

}  // namespace

namespace {

TEST(ProcessLocale, TheRuntimeFollowsTheLocaleButNumbersStayC) {
  EXPECT_EQ(qv::runtime_locale_name(L"de-DE"), "German_Germany.1252");
  EXPECT_EQ(qv::runtime_locale_name(L"fr-FR"), "French_France.1252");
  EXPECT_EQ(qv::runtime_locale_name(L"no-such-locale"), "");

  ASSERT_TRUE(qv::install_process_locale(L"de-DE"));
  const char* ctype = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(ctype, nullptr);
  EXPECT_NE(std::string(ctype), "C") << "the runtime's character categories follow the locale";
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  char number[32];
  std::snprintf(number, sizeof number, "%.1f", 1.5);
  EXPECT_STREQ(number, "1.5");

  // A name the runtime cannot take leaves it at "C" and is no failure.
  EXPECT_TRUE(qv::install_process_locale(L"no-such-locale"));
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
  EXPECT_TRUE(qv::install_process_locale(L""));
}

}  // namespace
