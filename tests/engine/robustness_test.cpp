// Damaged archives: thousands of variants of a good archive, made by
// flipping bits of its directory and by cutting it short. Each must end in
// success or in exactly one notification::error, never in a crash, and
// never write outside the test's folder.
#include "tests/common/test_support.hpp"
#include "tests/engine/payload_test_util.hpp"
#include <gtest/gtest.h>
#include <random>
#include <windows.h>

using namespace payload_test;

namespace {

bool inside(const std::wstring& path, const std::wstring& folder) {
  if (path.size() <= folder.size() + 1) return false;
  if (::CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                             static_cast<int>(folder.size()), TRUE) != CSTR_EQUAL)
    return false;
  if (path[folder.size()] != L'\\') return false;
  // No climbing out through "..".
  return path.find(L"\\..") == std::wstring::npos && path.find(L"/") == std::wstring::npos;
}

std::wstring full_path(const std::wstring& path) {
  wchar_t buffer[4096];
  DWORD n = ::GetFullPathNameW(path.c_str(), 4096, buffer, nullptr);
  return n > 0 && n < 4096 ? std::wstring(buffer, n) : path;
}

TEST(PayloadRobustness, DamagedDirectoriesAndTruncations) {
  std::wstring root = qvtest::scratch_folder(L"robust");
  std::wstring cwd(MAX_PATH, L'\0');
  cwd.resize(::GetCurrentDirectoryW(MAX_PATH, &cwd[0]));
  // Relative destinations that a damaged placeholder turns into land here.
  ASSERT_TRUE(::SetCurrentDirectoryW(root.c_str()));

  std::vector<qv::packer::packed_file> files = {
      file(L"Tavimora.exe", L"<InstallPath>", bytes_of(6000, 1), entry_kind::program),
      file(L"Tavimora.de.dll", L"<InstallPath>\\Lang", bytes_of(300, 2), entry_kind::language),
      file(L"empty.dat", L"<Temporary>\\t", "", entry_kind::temporary),
      file(L"Sample.tvm", L"<SamplePath>", bytes_of(900, 3), entry_kind::sample),
      file(L"Uninstall.exe", L"<InstallPath>", bytes_of(50, 4), entry_kind::uninstaller),
  };
  const std::string archive = qv::packer::build_archive(files);
  const std::size_t directory = static_cast<std::size_t>(payload_format::read_directory_size(archive.data()));

  std::mt19937 random(20261210);
  const int kFlips = 2500, kCuts = 500;
  int successes = 0, failures = 0;
  for (int run = 0; run < kFlips + kCuts; ++run) {
    std::string damaged = archive;
    if (run < kFlips) {
      int bits = 1 + static_cast<int>(random() % 2);
      for (int b = 0; b < bits; ++b) damaged[random() % directory] ^= static_cast<char>(1u << (random() % 8));
    } else {
      damaged.resize(random() % archive.size());
    }
    std::wstring folder = root + L"\\run" + std::to_wstring(run);
    recorder r;
    bool outside = false;
    r.reply = [&](const notification& n) {
      if (auto* p = n.get<notification::file_begin>()) {
        if (!inside(full_path(p->entry.destination), root)) {
          outside = true;
          return notification::result::skip;  // never written
        }
      }
      return notification::result::proceed;
    };
    bool ok = extract(qv::packer::compress(damaged), r, folder + L"\\install", folder + L"\\samples",
                      folder + L"\\temp");
    ASSERT_FALSE(outside) << "run " << run << " aimed outside the test folder";
    ASSERT_EQ(r.events.front().index, start) << run;
    if (ok) {
      ++successes;
      ASSERT_EQ(r.count(error), 0u) << run;
      ASSERT_EQ(r.events.back().index, finish) << run;
    } else {
      ++failures;
      ASSERT_EQ(r.count(error), 1u) << run;
      ASSERT_EQ(r.events.back().index, error) << run;
      ASSERT_EQ(r.count(finish), 0u) << run;
    }
    qvtest::remove_tree(folder);
  }
  ::SetCurrentDirectoryW(cwd.c_str());
  // Whatever relative destinations damage produced, they stayed in the scratch folder.
  qvtest::remove_tree(root);
  std::printf("%d archives extracted, %d failed cleanly\n", successes, failures);
  EXPECT_GT(failures, 0);
  EXPECT_GT(successes, 0);  // flips in file names and crcs of empty files still extract
}

}  // namespace
