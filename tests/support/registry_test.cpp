// Registry access against the real registry, under a key of the test's own
// (HKCU\Software\QvTests\...) and, for the product path value, under the
// maker's key in HKLM, which the test restores afterwards.
#include "record/earlier_install.hpp"
#include "support/registry.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <system_error>
#include <vector>

namespace {

class RegistryValues : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = L"Software\\QvTests\\registry-" + std::to_wstring(::GetCurrentProcessId());
    key_ = qv::create_key(HKEY_CURRENT_USER, path_);
    ASSERT_TRUE(key_);
  }
  void TearDown() override {
    key_.reset();
    ::SHDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  }
  void set_raw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }
  std::wstring path_;
  qv::reg_key key_;
};

TEST_F(RegistryValues, ValuesThatAreNotProperStringsAreRefused) {
  const DWORD number = 0x00410041;  // reads like "AA" as UTF-16
  set_raw(L"dword", REG_DWORD, &number, sizeof number);
  const BYTE binary[] = {'a', 0, 0, 0};
  set_raw(L"binary", REG_BINARY, binary, sizeof binary);
  const wchar_t multi[] = L"one\0two\0";
  set_raw(L"multi", REG_MULTI_SZ, multi, sizeof multi);
  const char odd[] = "abc";  // three bytes: not a whole number of UTF-16 units
  set_raw(L"odd", REG_SZ, odd, 3);
  for (const wchar_t* name : {L"dword", L"binary", L"multi", L"odd", L"missing"}) {
    SCOPED_TRACE(qvtest::narrow(name));
    std::wstring out = L"unchanged";
    EXPECT_FALSE(qv::read_string(key_, name, out));
    EXPECT_EQ(out, L"unchanged");
  }
}

TEST_F(RegistryValues, StringsAreReadAsStored) {
  struct row {
    const wchar_t* name;
    DWORD type;
    std::wstring data;  // as stored, terminator included where wanted
    std::wstring expected;
  };
  const row rows[] = {
      {L"empty-size-2", REG_SZ, std::wstring(1, L'\0'), L""},
      {L"plain", REG_SZ, std::wstring(L"C:\\Program Files\\Tavimora 2\0", 27), L"C:\\Program Files\\Tavimora 2"},
      {L"expand", REG_EXPAND_SZ, std::wstring(L"%SystemRoot%\\x\0", 15), L"%SystemRoot%\\x"},
      {L"embedded-zero", REG_SZ, std::wstring(L"a\0b\0", 4), std::wstring(L"a\0b", 3)},
      {L"accented", REG_SZ, std::wstring(L"b\u00EAta \u2013 Tavimora\0", 15), L"b\u00EAta \u2013 Tavimora"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(qvtest::narrow(r.name));
    set_raw(r.name, r.type, r.data.data(), static_cast<DWORD>(r.data.size() * sizeof(wchar_t)));
    std::wstring out = L"unchanged";
    EXPECT_TRUE(qv::read_string(key_, r.name, out));
    EXPECT_EQ(out, r.expected);
  }
}

TEST_F(RegistryValues, AStringOfSizeZeroIsEmpty) {
  set_raw(L"size-0", REG_SZ, nullptr, 0);
  std::wstring out = L"unchanged";
  EXPECT_TRUE(qv::read_string(key_, L"size-0", out));
  EXPECT_EQ(out, L"");
}

TEST_F(RegistryValues, AnUnterminatedStringIsRefused) {
  // Three of four characters: the registry would add a terminator that
  // directly follows the data (as after L"abc" with 6 bytes), not a 'd'.
  set_raw(L"unterminated", REG_SZ, L"abcd", 6);
  DWORD size = 0;
  ASSERT_EQ(::RegQueryValueExW(key_, L"unterminated", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  ASSERT_EQ(size, 6u) << "the value must be stored without a terminator";
  std::wstring out;
  EXPECT_FALSE(qv::read_string(key_, L"unterminated", out));
}

TEST_F(RegistryValues, WrittenStringsKeepTheirTerminatorAndReadBack) {
  std::wstring long_text(40000, L'x');
  for (const std::wstring& text : {std::wstring(), std::wstring(L"Tavimora 2"), long_text}) {
    qv::write_string(key_, L"written", text);
    DWORD type = 0, size = 0;
    ASSERT_EQ(::RegQueryValueExW(key_, L"written", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (text.size() + 1) * 2);
    std::wstring out;
    EXPECT_TRUE(qv::read_string(key_, L"written", out));
    EXPECT_EQ(out, text);
  }
}

TEST_F(RegistryValues, KeysOpenCreateAndReportErrors) {
  EXPECT_FALSE(qv::open_key(key_, L"absent"));
  {
    qv::reg_key created = qv::create_key(key_, L"child\\grandchild");
    EXPECT_TRUE(created);
    qv::reg_key again = qv::create_key(key_, L"child\\grandchild");
    EXPECT_TRUE(again);
  }
  EXPECT_TRUE(qv::open_key(key_, L"child\\grandchild"));

  // Errors other than "not found" are thrown with the Win32 code.
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFF0000));
  auto expect_invalid_handle = [](auto&& call) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code().value(), ERROR_INVALID_HANDLE);
      EXPECT_EQ(&e.code().category(), &std::system_category());
    }
  };
  std::wstring out;
  expect_invalid_handle([&] { qv::open_key(bogus, L"x"); });
  expect_invalid_handle([&] { qv::create_key(bogus, L"x"); });
  expect_invalid_handle([&] { qv::read_string(bogus, L"x", out); });
  expect_invalid_handle([&] { qv::write_string(bogus, L"x", L"y"); });
}

TEST_F(RegistryValues, AKeyMovesAndClosesOnce) {
  qv::reg_key a = qv::create_key(key_, L"moved");
  HKEY raw = a.get();
  qv::reg_key b(std::move(a));
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(b.get(), raw);
  qv::write_string(b, L"v", L"w");
  std::wstring out;
  EXPECT_TRUE(qv::read_string(b, L"v", out));
}

// The product path value: HKLM\Software\Quorvane Systems, "Tavimora 2 Path".
class ProductPath : public ::testing::Test {
protected:
  static constexpr wchar_t kKey[] = L"Software\\Quorvane Systems";
  static constexpr wchar_t kValue[] = L"Tavimora 2 Path";

  void SetUp() override {
    HKEY key = nullptr;
    key_existed_ = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key_existed_) {
      DWORD type = 0, size = 0;
      if (::RegQueryValueExW(key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        saved_.resize(size);
        saved_type_ = type;
        ::RegQueryValueExW(key, kValue, nullptr, &type, saved_.data(), &size);
        value_existed_ = true;
      }
      ::RegCloseKey(key);
    }
    folder_ = qvtest::scratch_folder(L"product-path");
  }
  void TearDown() override {
    if (!key_existed_) {
      ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
    } else {
      HKEY key = nullptr;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        if (value_existed_)
          ::RegSetValueExW(key, kValue, 0, saved_type_, saved_.data(), static_cast<DWORD>(saved_.size()));
        else
          ::RegDeleteValueW(key, kValue);
        ::RegCloseKey(key);
      }
    }
    qvtest::remove_tree(folder_);
  }
  void set(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key, kValue, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    ::RegCloseKey(key);
  }
  void set_string(const std::wstring& text) {
    set(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
  }

  bool key_existed_ = false, value_existed_ = false;
  DWORD saved_type_ = 0;
  std::vector<BYTE> saved_;
  std::wstring folder_;
};

TEST_F(ProductPath, MissingKeyOrValueGivesNothing) {
  if (!key_existed_) {
    EXPECT_EQ(ReadProductPath(258), L"");
  }
  set_string(L"placeholder");
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  ::RegDeleteValueW(key, kValue);
  ::RegCloseKey(key);
  EXPECT_EQ(ReadProductPath(258), L"");
}

TEST_F(ProductPath, AnExistingProgramIsFoundAndADeletedOneIsNot) {
  std::wstring program = folder_ + L"\\Tavimora.exe";
  qvtest::write_file(program, "MZ");
  set_string(program);
  EXPECT_EQ(ReadProductPath(258), program);
  ASSERT_TRUE(::DeleteFileW(program.c_str()));
  EXPECT_EQ(ReadProductPath(258), L"");
}

TEST_F(ProductPath, ValuesOfTheWrongKindGiveNothing) {
  const DWORD number = 1;
  set(REG_DWORD, &number, sizeof number);
  EXPECT_EQ(ReadProductPath(258), L"");
  set_string(L"");
  EXPECT_EQ(ReadProductPath(258), L"");
  set_string(L"C:\\bad\x01<|>name");
  EXPECT_EQ(ReadProductPath(258), L"");
}

TEST_F(ProductPath, AnotherProductIdentifierGivesNothingAndDoesNotThrow) {
  std::wstring program = folder_ + L"\\Tavimora.exe";
  qvtest::write_file(program, "MZ");
  set_string(program);
  // The product table holds only 258; its logic_error must not escape.
  EXPECT_EQ(ReadProductPath(0x9999), L"");
}

}  // namespace
