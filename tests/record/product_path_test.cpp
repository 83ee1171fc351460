// The installed program's path: read once per process from the product
// path value, the same for every caller and every thread, and the earlier
// state it leads to.
#include "app/install_app.hpp"
#include "record/earlier_install.hpp"
#include "support/registry.hpp"
#include "tests/common/test_support.hpp"
#include "tests/record/record_test_support.hpp"
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {
const wchar_t kMakerKey[] = L"Software\\Quorvane Systems";
const wchar_t kValue[] = L"Tavimora 2 Path";

void remove_value() {
  qv::reg_key key = qv::open_key(HKEY_LOCAL_MACHINE, kMakerKey);
  if (key) ::RegDeleteValueW(key, kValue);
  key.reset();
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMakerKey);  // only when nothing else is in it
}
}  // namespace

TEST(ProductPath, ComputedOnceForEveryThreadAndClassifiedByItsFile) {
  remove_value();
  const std::wstring older = rt::fixture_program(L"2.31.20.0");
  ASSERT_TRUE(rt::file_exists(older));
  {
    qv::reg_key key = qv::create_key(HKEY_LOCAL_MACHINE, kMakerKey);
    qv::write_string(key, kValue, older);
  }

  std::vector<std::wstring> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = GetProductPath(); });
  for (std::thread& t : threads) t.join();
  for (const std::wstring& s : seen) EXPECT_EQ(s, older);

  // Later changes are not seen: the first answer holds for the process.
  {
    qv::reg_key key = qv::create_key(HKEY_LOCAL_MACHINE, kMakerKey);
    qv::write_string(key, kValue, rt::fixture_program(L"2.32.0.0"));
  }
  EXPECT_EQ(GetProductPath(), older);
  remove_value();
  EXPECT_EQ(GetProductPath(), older);

  EarlierInstallation earlier = ClassifyEarlierInstallation(GetProductPath());
  EXPECT_EQ(earlier.state, EarlierState::OlderVersion);
  EXPECT_EQ(earlier.version, 0x0002001F00140000ull);
  EXPECT_EQ(earlier.versionText, L"Tavimora 2 2.31s");
}

TEST(ProductPath, AValueNamingNothingThatExistsIsNoInstallation) {
  // The process's cached answer is settled by the test above; the lookup
  // behind it is checked directly.
  remove_value();
  EXPECT_EQ(ReadProductPath(258), L"");
  {
    qv::reg_key key = qv::create_key(HKEY_LOCAL_MACHINE, kMakerKey);
    qv::write_string(key, kValue, L"C:\\no such folder\\Tavimora.exe");
  }
  EXPECT_EQ(ReadProductPath(258), L"");
  remove_value();
}
