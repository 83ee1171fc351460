// The language choice: the Windows language mapped to a language number,
// the initial language with an earlier installation's "QvLanguage" value
// (in the real registry), the message lookup over this program's own small
// catalogue (test_catalogue.rc), message formatting and the "C" numbers.
#include "app/language.hpp"
#include "app/product.hpp"
#include "support/registry.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kAllLanguages = 0xFFFFF;
constexpr std::uint32_t kEnglishBit = 0x2;

// ---------------------------------------------------------------- Windows language

struct windows_case {
  LANGID user;  // the user's Windows language
  int offered;  // expected with kOfferedLanguages
  int all;      // expected with every language accepted
};

// Every mapped primary language (with its main sublanguage), the Chinese
// sublanguages, other sublanguages of a mapped language, and languages
// that are not mapped.
const windows_case kWindowsCases[] = {
    {MAKELANGID(0x02, 1), 1, 8},   // Bulgarian
    {MAKELANGID(0x04, 1), 1, 1},   // Chinese, traditional (Taiwan): not mapped
    {MAKELANGID(0x04, 2), 1, 10},  // Chinese, simplified
    {MAKELANGID(0x04, 3), 1, 1},   // Chinese, Hong Kong: not mapped
    {MAKELANGID(0x04, 4), 1, 10},  // Chinese, Singapore
    {MAKELANGID(0x05, 1), 1, 12},  // Czech
    {MAKELANGID(0x06, 1), 1, 6},   // Danish
    {MAKELANGID(0x07, 1), 2, 2},   // German
    {MAKELANGID(0x07, 3), 2, 2},   // German (Austria)
    {MAKELANGID(0x08, 1), 1, 14},  // Greek
    {MAKELANGID(0x09, 1), 1, 1},   // English (United States)
    {MAKELANGID(0x09, 2), 1, 1},   // English (United Kingdom)
    {MAKELANGID(0x0A, 3), 3, 3},   // Spanish (modern sort)
    {MAKELANGID(0x0A, 2), 3, 3},   // Spanish (Mexico)
    {MAKELANGID(0x0C, 1), 0, 0},   // French
    {MAKELANGID(0x0C, 3), 0, 0},   // French (Canada)
    {MAKELANGID(0x0D, 1), 1, 16},  // Hebrew
    {MAKELANGID(0x0E, 1), 1, 19},  // Hungarian
    {MAKELANGID(0x10, 1), 11, 11}, // Italian
    {MAKELANGID(0x11, 1), 1, 18},  // Japanese
    {MAKELANGID(0x13, 1), 1, 5},   // Dutch
    {MAKELANGID(0x14, 1), 1, 13},  // Norwegian (Bokmål)
    {MAKELANGID(0x14, 2), 1, 13},  // Norwegian (Nynorsk)
    {MAKELANGID(0x15, 1), 15, 15}, // Polish: offered
    {MAKELANGID(0x16, 1), 4, 4},   // Portuguese (Brazil)
    {MAKELANGID(0x16, 2), 4, 4},   // Portuguese (Portugal)
    {MAKELANGID(0x18, 1), 9, 9},   // Romanian
    {MAKELANGID(0x1F, 1), 7, 7},   // Turkish
    {MAKELANGID(0x2A, 1), 1, 17},  // Vietnamese
    {MAKELANGID(0x19, 1), 1, 1},   // Russian: not mapped
    {MAKELANGID(0x1D, 1), 1, 1},   // Swedish: not mapped
    {MAKELANGID(0x0B, 1), 1, 1},   // Finnish: not mapped
    {0, 1, 1},                     // neutral
};

TEST(WindowsLanguage, MapsEveryPrimaryLanguageWithinTheMask) {
  for (const windows_case& c : kWindowsCases) {
    SCOPED_TRACE(testing::Message() << "language 0x" << std::hex << c.user);
    EXPECT_EQ(qv::map_windows_language(c.user, kOfferedLanguages), c.offered);
    EXPECT_EQ(qv::map_windows_language(c.user, kAllLanguages), c.all);
  }
}

TEST(WindowsLanguage, FallsBackToFrenchWhenTheMaskHoldsNoEnglish) {
  const std::uint32_t no_english = kAllLanguages & ~kEnglishBit;
  for (const windows_case& c : kWindowsCases) {
    SCOPED_TRACE(testing::Message() << "language 0x" << std::hex << c.user);
    int expected = c.all == 1 ? 0 : c.all;
    EXPECT_EQ(qv::map_windows_language(c.user, no_english), expected);
    // French alone: everything that is not French ends as French.
    EXPECT_EQ(qv::map_windows_language(c.user, 0x1), 0);
    // English alone: everything that is not English ends as English.
    EXPECT_EQ(qv::map_windows_language(c.user, kEnglishBit), 1);
  }
  // A mapped language outside the mask: English when the mask has it.
  EXPECT_EQ(qv::map_windows_language(MAKELANGID(0x07, 1), 0x1 | kEnglishBit), 1);
  EXPECT_EQ(qv::map_windows_language(MAKELANGID(0x07, 1), 0x1 | 0x8), 0);
}

// ctest runs this program under several user locales (LANG) and tells it
// through QV_EXPECT_LANGUAGE which language the offered set gives there and
// which one the installer starts in without an earlier installation
// ("default,initial").
TEST(WindowsLanguage, DefaultLanguageFollowsTheUsersLanguage) {
  const char* expected = std::getenv("QV_EXPECT_LANGUAGE");
  if (!expected) GTEST_SKIP() << "run without an expected language (QV_EXPECT_LANGUAGE)";
  int default_expected = -1, initial_expected = -1;
  ASSERT_EQ(std::sscanf(expected, "%d,%d", &default_expected, &initial_expected), 2) << expected;
  const LANGID user = ::GetUserDefaultLangID();
  SCOPED_TRACE(testing::Message() << "user language 0x" << std::hex << user);
  EXPECT_EQ(qv::default_language(kOfferedLanguages), default_expected);
  EXPECT_EQ(ChooseInitialLanguage(user, false, 0), initial_expected);
  // Mask 0 stands for the state's mask, which accepts French only.
  EXPECT_EQ(qv::default_language(0), 0);
  EXPECT_EQ(qv::get_language_state().mask, 1u);
}

// ---------------------------------------------------------------- initial language

struct initial_case {
  LANGID user;
  bool has_stored;
  std::uint32_t stored;
  int expected;
};

TEST(InitialLanguage, StoredOfferedLanguageWinsAndLanguagesWithoutTextsBecomeEnglish) {
  const LANGID german = MAKELANGID(0x07, 1);
  const initial_case cases[] = {
      {german, false, 0, 2},
      {german, true, 11, 11},                // Italian overrides the Windows language
      {german, true, 5, 2},                  // Dutch is not offered: ignored
      {german, true, 15, 1},                 // Polish is offered but has no texts: English
      {german, true, 0, 0},                  // French
      {german, true, 20, 2},                 // out of range
      {german, true, 0xFFFFFFFFu, 2},        // out of range (negative as a signed number)
      {MAKELANGID(0x15, 1), false, 0, 1},    // a Polish user starts in English
      {MAKELANGID(0x13, 1), false, 0, 1},    // a Dutch user starts in English
      {MAKELANGID(0x04, 1), false, 0, 1},    // traditional Chinese
      {MAKELANGID(0x04, 2), false, 0, 1},    // simplified Chinese is not offered
      {MAKELANGID(0x0C, 1), false, 0, 0},    // French
      {MAKELANGID(0x16, 1), false, 0, 4},    // Portuguese (Brazil)
      {MAKELANGID(0x16, 2), true, 9, 9},     // Portuguese user, earlier Romanian installation
  };
  for (const initial_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "user 0x" << std::hex << c.user << " stored " << std::dec << c.stored);
    EXPECT_EQ(ChooseInitialLanguage(c.user, c.has_stored, c.stored), c.expected);
  }
}

// The "QvLanguage" value in the product's real uninstall key, removed
// again afterwards (with the key, when this fixture created it).
class StoredLanguage : public testing::Test {
protected:
  static std::wstring key_path() {
    return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + GetProductName(kProductId);
  }

  void SetUp() override {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_path().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                &disposition),
              ERROR_SUCCESS);
    key_ = qv::reg_key(key);
    created_ = disposition == REG_CREATED_NEW_KEY;
    // Keep a value another program left there, to put it back afterwards.
    DWORD size = 0;
    if (::RegQueryValueExW(key_, L"QvLanguage", nullptr, &saved_type_, nullptr, &size) == ERROR_SUCCESS) {
      saved_.resize(size);
      had_value_ = ::RegQueryValueExW(key_, L"QvLanguage", nullptr, &saved_type_, saved_.data(), &size) == ERROR_SUCCESS;
      saved_.resize(size);
    }
  }

  void TearDown() override {
    if (!key_) return;
    if (had_value_)
      ::RegSetValueExW(key_, L"QvLanguage", 0, saved_type_, saved_.data(), static_cast<DWORD>(saved_.size()));
    else
      ::RegDeleteValueW(key_, L"QvLanguage");
    key_.reset();
    if (created_) ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key_path().c_str());
  }

  void store(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetValueExW(key_, L"QvLanguage", 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }
  void store_number(DWORD n) { store(REG_DWORD, &n, sizeof n); }

  static void skip_unless_german_user() {
    if (PRIMARYLANGID(::GetUserDefaultLangID()) != 0x07)
      GTEST_SKIP() << "needs a German user (LANG=de_DE.UTF-8); the user language is 0x" << std::hex
                   << ::GetUserDefaultLangID();
  }

  static int initial_language() {
    qv::set_language(0);
    SetInitialLanguage();
    return qv::get_language_state().index;
  }

  qv::reg_key key_;
  bool created_ = false;
  bool had_value_ = false;
  DWORD saved_type_ = 0;
  std::vector<BYTE> saved_;
};

TEST_F(StoredLanguage, OverridesAGermanUserOnlyWithAnOfferedLanguageWithTexts) {
  skip_unless_german_user();
  ::RegDeleteValueW(key_, L"QvLanguage");
  EXPECT_EQ(initial_language(), 2) << "no value: the Windows language";
  store_number(11);
  EXPECT_EQ(initial_language(), 11) << "Italian from the earlier installation";
  store_number(5);
  EXPECT_EQ(initial_language(), 2) << "Dutch is not offered";
  store_number(15);
  EXPECT_EQ(initial_language(), 1) << "Polish has no installer texts";
  store_number(0);
  EXPECT_EQ(initial_language(), 0);
  store_number(1234);
  EXPECT_EQ(initial_language(), 2) << "not a language";
}

TEST_F(StoredLanguage, ValueOfAnotherTypeOrSizeIsIgnored) {
  skip_unless_german_user();
  const wchar_t text[] = L"11";
  store(REG_SZ, text, sizeof text);
  EXPECT_EQ(initial_language(), 2) << "a string";
  const wchar_t one_char[] = L"9";  // 4 bytes with its terminator, like a number
  store(REG_SZ, one_char, sizeof one_char);
  EXPECT_EQ(initial_language(), 2) << "a 4-byte string";
  const unsigned long long wide = 11;
  store(REG_QWORD, &wide, sizeof wide);
  EXPECT_EQ(initial_language(), 2) << "a 64-bit number";
  const BYTE two[] = {11, 0};
  store(REG_BINARY, two, sizeof two);
  EXPECT_EQ(initial_language(), 2) << "two bytes";
  const BYTE four[] = {11, 0, 0, 0};
  store(REG_BINARY, four, sizeof four);
  EXPECT_EQ(initial_language(), 2) << "four binary bytes are not the number the installation writes";
  store(REG_DWORD, two, sizeof two);
  EXPECT_EQ(initial_language(), 2) << "a REG_DWORD of two bytes";
}

TEST_F(StoredLanguage, ReadReportsOnlyAProperNumber) {
  std::uint32_t out = 77;
  ::RegDeleteValueW(key_, L"QvLanguage");
  EXPECT_FALSE(ReadStoredLanguage(out));
  EXPECT_EQ(out, 77u);
  store_number(9);
  ASSERT_TRUE(ReadStoredLanguage(out));
  EXPECT_EQ(out, 9u);
  const BYTE six[] = {9, 0, 0, 0, 0, 0};
  store(REG_BINARY, six, sizeof six);
  EXPECT_FALSE(ReadStoredLanguage(out));
}

// ---------------------------------------------------------------- message lookup

struct lookup_case {
  int language;
  unsigned message;
  unsigned id;
  const wchar_t* text;
};

// test_catalogue.rc: 1001 is translated everywhere; 1002 is "#" in German
// and Italian; 1003 is "#" in German, Italian and English; 1004 is "#" in
// French and Italian; 1005 is "#" in English.
const lookup_case kLookupCases[] = {
    {2, 1001, 3001, L"Ja"},
    {2, 1002, 2002, L"Fallback"},  // German "#": English
    {2, 1003, 3003, L"#"},         // "#" in English too: shown as "#"
    {2, 1004, 3004, L"Vier"},
    {2, 1005, 3005, L"Fünf"},
    {11, 1001, 6001, L"Sì"},
    {11, 1002, 2002, L"Fallback"},
    {11, 1003, 6003, L"#"},
    {11, 1004, 2004, L"Four"},
    {0, 1004, 1004, L"#"},         // French is never compared with "#"
    {0, 1003, 1003, L"Jamais"},
    {1, 1005, 2005, L"#"},         // no fallback to French
    {1, 1003, 2003, L"#"},
    {1, 1001, 2001, L"Yes"},
    {5, 1001, 2001, L"Yes"},       // Dutch has no installer texts: its own block is never used
    {5, 1003, 2003, L"#"},
    {15, 1002, 2002, L"Fallback"}, // Polish: English
    {10, 1004, 2004, L"Four"},     // Chinese: English
};

TEST(MessageLookup, UntranslatedMessagesFallBackToEnglish) {
  for (const lookup_case& c : kLookupCases) {
    SCOPED_TRACE(testing::Message() << "language " << c.language << " message " << c.message);
    qv::set_language(c.language);
    EXPECT_EQ(GetMessageId(c.message), c.id);
    EXPECT_EQ(LoadMessage(c.message), c.text);
  }
  qv::set_language(0);
}

TEST(MessageLookup, FallbackIsOneStepOnly) {
  // The rule itself, over a catalogue where every identifier is "#".
  auto everything_untranslated = [](unsigned) { return true; };
  EXPECT_EQ(ResolveMessageId(1106, 2, everything_untranslated), 3106u);
  EXPECT_EQ(ResolveMessageId(1106, 9, everything_untranslated), 12106u);
  EXPECT_EQ(ResolveMessageId(1106, 1, everything_untranslated), 2106u);
  EXPECT_EQ(ResolveMessageId(1106, 0, everything_untranslated), 1106u);
  // Only English is missing: no language looks at it except through "#".
  auto english_missing = [](unsigned id) { return id >= 2000 && id < 3000; };
  EXPECT_EQ(ResolveMessageId(1129, 7, english_missing), 9129u);
  EXPECT_EQ(ResolveMessageId(1129, 19, english_missing), 2129u);
  // Out-of-range language numbers use the English block.
  EXPECT_EQ(ResolveMessageId(1000, -1, english_missing), 2000u);
  EXPECT_EQ(ResolveMessageId(1000, 20, english_missing), 2000u);
}

// ---------------------------------------------------------------- formatting

TEST(FormatText, InsertsTheArgumentsInOrder) {
  struct format_case {
    const wchar_t* text;
    const wchar_t* arg1;
    const wchar_t* arg2;
    const wchar_t* expected;
  };
  const format_case cases[] = {
      {L"Update from '%1' to '%2'.", L"2.30", L"2.31t", L"Update from '2.30' to '2.31t'."},
      {L"%2 before %1", L"a", L"b", L"b before a"},
      {L"'%1' and '%1'", L"x", L"", L"'x' and 'x'"},
      {L"Copying File  %1...", L"C:\\Program Files\\A b\\c.dll", L"", L"Copying File  C:\\Program Files\\A b\\c.dll..."},
      {L"[%1]", L"%2 %1", L"no", L"[%2 %1]"},  // arguments are not formatted again
      {L"Done.\r\n\r\nNext?", L"", L"", L"Done.\r\n\r\nNext?"},
      {L"a\r\n%1\r\n", L"\u00e9\u2013", L"", L"a\r\n\u00e9\u2013\r\n"},
      {L"x%1y", L"", L"", L"xy"},
      {L"Installation failed (Error Code %1).", L"1:80070005", L"", L"Installation failed (Error Code 1:80070005)."},
  };
  for (const format_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "text " << qvtest::narrow(c.text));
    EXPECT_EQ(FormatText(c.text, c.arg1, c.arg2), c.expected);
  }
}

TEST(FormatText, InsertsBeyondTheSecondAreEmpty) {
  // A translation naming an insert it is not given must not read past the
  // two arguments.
  EXPECT_EQ(FormatText(L"<%1|%2|%3|%9>", L"a", L"b"), L"<a|b||>");
}

// ---------------------------------------------------------------- numbers and names

TEST(LanguageState, NumbersStayInTheCMannerInEveryLanguage) {
  for (int n = 0; n < kLanguageCount; ++n) {
    SCOPED_TRACE(testing::Message() << "language " << n);
    qv::set_language(n);
    EXPECT_EQ(qv::get_language_state().index, n);
    std::wostringstream out;
    out << 1234567 << L' ' << 1234.5 << L' ' << -42;
    EXPECT_EQ(out.str(), L"1234567 1234.5 -42");
    std::wistringstream in(L"8765.25");
    double value = 0;
    in >> value;
    EXPECT_EQ(value, 8765.25);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", 1234.5);
    EXPECT_STREQ(buffer, "1234.50");
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  }
  qv::set_language(0);
}

TEST(LanguageState, SetLanguageFollowsTheLanguage) {
  for (int n = 0; n < kLanguageCount; ++n) {
    SCOPED_TRACE(testing::Message() << "language " << n);
    qv::set_language(n);
    const qv::language_state& state = qv::get_language_state();
    EXPECT_EQ(LANGIDFROMLCID(state.locale), qv::language_id(n));
    EXPECT_EQ(state.right_to_left, qv::is_right_to_left(n));
  }
  qv::set_language(16);
  EXPECT_TRUE(qv::get_language_state().right_to_left) << "Hebrew is written right to left";
  qv::set_language(0);
  EXPECT_FALSE(qv::get_language_state().right_to_left);
}

TEST(LanguageNames, AreNativeWithACapitalFirstLetter) {
  struct name_case {
    int n;
    const wchar_t* name;
  };
  const name_case cases[] = {
      {0, L"Fran\u00e7ais"}, {1, L"English"},    {2, L"Deutsch"},    {3, L"Espa\u00f1ol"},
      {4, L"Portugu\u00eas"}, {7, L"T\u00fcrk\u00e7e"}, {9, L"Rom\u00e2n\u0103"}, {11, L"Italiano"},
      {15, L"Polski"},
  };
  for (const name_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "language " << c.n);
    EXPECT_EQ(qv::language_name(c.n), c.name);
  }
}

}  // namespace
