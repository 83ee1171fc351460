// Cases that need the Unix side (tests/record/unix_fixtures.sh): a disk
// that fills up while the uninstall log is written, and a dangling link at
// a destination of the extraction.
#include "engine/payload.hpp"
#include "packer/packer.hpp"
#include "record/install_record.hpp"
#include "tests/common/test_support.hpp"
#include "tests/record/record_test_support.hpp"
#include <gtest/gtest.h>
#include <cstdlib>

namespace {

std::vector<std::wstring> files_in(const std::wstring& folder) {
  std::vector<std::wstring> out;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return out;
  do
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(data.cFileName);
  while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return out;
}

}  // namespace

TEST(FullDisk, AWriteLogThatFailsHalfWayLeavesTheEarlierLog) {
  if (const char* skip = std::getenv("QV_FULL_DISK_SKIP")) GTEST_SKIP() << skip;
  const char* drive = std::getenv("QV_FULL_DISK");
  ASSERT_NE(drive, nullptr) << "run through unix_fixtures.sh";
  const std::wstring root = qvtest::widen(drive) + L"\\";
  const std::wstring log = root + L"Uninstall.ulog";

  CInstallRecord earlier;
  rt::add_item(earlier.items, ItemKind::File, L"C:\\P\\Tavimora.exe", true, 1);
  ASSERT_TRUE(earlier.WriteLog(log, L"C:\\P", L"C:\\M"));
  const std::string earlier_bytes = qvtest::read_file(log);
  const DWORD earlier_attributes = rt::attributes(log);

  // An update whose log is larger than the whole disk.
  CInstallRecord record;
  for (int i = 0; i < 3000; ++i)
    rt::add_item(record.items, ItemKind::File, L"C:\\P\\a file with a long name " + std::to_wstring(i), true, 0);
  EXPECT_FALSE(record.WriteLog(log, L"C:\\P", L"C:\\M"));
  EXPECT_EQ(qvtest::read_file(log), earlier_bytes);
  EXPECT_EQ(rt::attributes(log), earlier_attributes);
  EXPECT_EQ(files_in(root), std::vector<std::wstring>{L"Uninstall.ulog"}) << "the unfinished log is removed";
}

TEST(DanglingLink, IsMovedAsideOrRefusedNeverWrittenThrough) {
  const char* unix_folder = std::getenv("QV_LINK_FOLDER");
  ASSERT_NE(unix_folder, nullptr) << "run through unix_fixtures.sh";
  const std::wstring folder = qvtest::unix_to_windows(unix_folder);
  const std::wstring destination = folder + L"\\dangling.dat", target = folder + L"\\target.dat";

  CInstallRecord record;
  DWORD refused = ERROR_SUCCESS;
  auto handler = [&](notification n) {
    if (auto* p = n.get<notification::file_begin>()) {
      refused = record.BeginFile(p->entry.destination, static_cast<std::int32_t>(p->entry.kind), false);
      if (refused) throw std::system_error(static_cast<int>(refused), std::system_category());
    }
    if (n.get<notification::file_end>()) record.CommitItem(true);
    return notification::result::proceed;
  };
  const std::string archive =
      qv::packer::pack({qv::packer::make_file(L"C:\\build\\dangling.dat", L"<InstallPath>", entry_kind::program, "new")});
  qv::imemstream stream(archive.data(), archive.size());
  const bool ok = extract_payload(stream, folder, L"", L"", handler);

  EXPECT_FALSE(rt::file_exists(target)) << "nothing is written through the link";
  if (ok) {
    // Windows shows the link: it was moved aside like a file.
    EXPECT_EQ(qvtest::read_file(destination), "new");
    EXPECT_FALSE(record.items.tail()->backupPath.empty());
  } else {
    // Wine shows a dangling Unix link to no Win32 call, so it cannot be
    // moved aside; the new file is then refused instead of being created at
    // the link's target.
    EXPECT_TRUE(rt::running_on_wine());
  }
  record.Rollback();
  EXPECT_FALSE(rt::file_exists(target));
}
