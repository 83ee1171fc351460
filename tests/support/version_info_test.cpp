// Version resources read from fixture programs that the test build makes
// with windres (tests/support/version_fixtures), from setup.exe and from
// this program's own resource (the product's, as setup.exe carries it).
#include "app/language.hpp"
#include "support/product_identity.hpp"
#include "support/version_info.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>
#include <vector>

namespace {

std::wstring fixture(const wchar_t* name) {
  return qvtest::binary_dir() + L"\\tests\\support\\version_fixtures\\vfx_" + name + L".exe";
}

// Every text a version_info offers is empty.
void expect_no_texts(const qv::version_info& info) {
  for (const wchar_t* name : {L"ProductName", L"ProductVersion", L"LegalCopyright", L"ApplicationId", L""})
    EXPECT_EQ(info.query(name), L"") << qvtest::narrow(name);
  EXPECT_EQ(info.product_name(), L"");
  EXPECT_EQ(info.display_name(), L"");
  EXPECT_EQ(info.display_text(), L"");
}

class VersionInfo : public ::testing::Test {
protected:
  void SetUp() override {
    SetProductId(kProductId);
    qv::set_language(1);
  }
};

TEST_F(VersionInfo, AFileWithoutVersionResourceHasNothing) {
  for (const std::wstring& path : {fixture(L"none"), qvtest::binary_dir() + L"\\no such file.exe"}) {
    SCOPED_TRACE(qvtest::narrow(path));
    qv::version_info info(path);
    EXPECT_FALSE(info.has_fixed_data());
    EXPECT_EQ(info.file_version(), 0u);
    EXPECT_TRUE(info.translations().empty());
    expect_no_texts(info);
  }
}

TEST_F(VersionInfo, OnlyUnicodeTranslationsCountAndTheFirstListedWins) {
  struct row {
    const wchar_t* fixture;
    std::vector<std::wstring> translations;
    const wchar_t* product_name;
    std::uint64_t version;
  };
  const row rows[] = {
      {L"cp1252", {}, L"", 0x0001000200030004ull},
      {L"two_unicode", {L"040c04b0", L"040904b0"}, L"First Listed", 0x0003000000000000ull},
      {L"mixed", {L"041004b0"}, L"Italian Unicode", 0x0003000000000000ull},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(qvtest::narrow(r.fixture));
    qv::version_info info(fixture(r.fixture));
    EXPECT_TRUE(info.has_fixed_data());
    EXPECT_EQ(info.file_version(), r.version);
    EXPECT_EQ(info.translations(), r.translations);
    EXPECT_EQ(info.product_name(), r.product_name);
  }
  qv::version_info two(fixture(L"two_unicode"));
  EXPECT_EQ(two.product_version(), L"1.0");
  EXPECT_EQ(two.display_text(), L"First Listed 1.0");
}

TEST_F(VersionInfo, AResourceWithoutStringsOrTranslationsGivesEmptyTexts) {
  for (const wchar_t* name : {L"no_strings", L"no_translation", L"cp1252"}) {
    SCOPED_TRACE(qvtest::narrow(name));
    qv::version_info info(fixture(name));
    EXPECT_TRUE(info.has_fixed_data());
    EXPECT_NE(info.file_version(), 0u);
    expect_no_texts(info);
  }
}

TEST_F(VersionInfo, PreReleaseMarkerFollowsTheInterfaceLanguage) {
  struct row {
    int language;
    const wchar_t* fixture;
    const wchar_t* expected;
  };
  const row rows[] = {
      {0, L"beta", L"Tavimora 2 2.40 b\u00EAta"},         // French keeps the accent
      {1, L"beta", L"Tavimora 2 2.40 beta"},              // English
      {2, L"beta", L"Tavimora 2 2.40 beta"},              // German
      {11, L"beta", L"Tavimora 2 2.40 beta"},             // Italian
      {1, L"beta_masked", L"Tavimora 2 2.40 b\u00EAta"},  // flag masked out: unchanged
      {2, L"beta_masked", L"Tavimora 2 2.40 b\u00EAta"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(r.language) + " " + qvtest::narrow(r.fixture));
    qv::set_language(r.language);
    qv::version_info info(fixture(r.fixture));
    EXPECT_EQ(info.product_version(), L"2.40 b\u00EAta");
    EXPECT_EQ(info.display_text(), r.expected);
  }
}

TEST_F(VersionInfo, PrivateAndDebugBuildsAreMarkedWithAnEnDash) {
  for (int language : {0, 1}) {
    qv::set_language(language);
    qv::version_info info(fixture(L"private_debug"));
    EXPECT_EQ(info.file_flags(), static_cast<std::uint32_t>(VS_FF_PRIVATEBUILD | VS_FF_DEBUG));
    EXPECT_EQ(info.display_text(), L"Tool 1.0 \u2013 Private \u2013 Debug");
  }
}

TEST_F(VersionInfo, DisplayTextMarkersOnTheirOwn) {
  struct row {
    const wchar_t* name;
    const wchar_t* version;
    std::uint32_t flags;
    LANGID language;
    const wchar_t* expected;
  };
  const row rows[] = {
      {L"Install", L"2.04a", 0, 0x0409, L"Install 2.04a"},
      {L"Install", L"", 0, 0x0409, L"Install"},
      {L"", L"", 0, 0x0409, L""},
      // Only the last occurrence loses its accent.
      {L"b\u00EAta", L"1 b\u00EAta", VS_FF_PRERELEASE, 0x0409, L"b\u00EAta 1 beta"},
      {L"X", L"1 b\u00EAta", VS_FF_PRERELEASE, 0x080C, L"X 1 b\u00EAta"},  // Belgian French
      {L"X", L"1", VS_FF_DEBUG, 0x0407, L"X 1 \u2013 Debug"},
      {L"X", L"1", VS_FF_PRIVATEBUILD, 0x0407, L"X 1 \u2013 Private"},
  };
  for (const row& r : rows)
    EXPECT_EQ(qv::version_display_text(r.name, r.version, r.flags, r.language), r.expected)
        << qvtest::narrow(r.expected);
}

TEST_F(VersionInfo, TheInstallersOwnResource) {
  qv::version_info own;  // this program carries the installer's version resource
  qv::version_info setup(qvtest::binary_dir() + L"\\setup.exe");
  for (const qv::version_info* info : {&own, &setup}) {
    EXPECT_TRUE(info->has_fixed_data());
    EXPECT_EQ(info->file_version(), kProductVersion);
    EXPECT_EQ(info->file_version() >> 32, 0x0002001Fu);
    EXPECT_EQ(info->file_version() & 0xFFFFFFFFu, 0x00140001u);
    EXPECT_EQ(info->translations(), std::vector<std::wstring>{L"040904b0"});
    EXPECT_EQ(info->query(L"ApplicationId"), L"Tavimora2");
    EXPECT_EQ(info->product_name(), L"Tavimora 2");
    EXPECT_EQ(info->product_version(), L"2.31t");
    EXPECT_EQ(info->legal_copyright(), L"Copyright \u00A9 Quorvane Systems. All rights reserved.");
    EXPECT_EQ(info->display_text(), L"Tavimora 2 2.31t");
  }
}

TEST(EditionName, OnlyTheAlpineEditionWithAGermanInterfaceIsRenamed) {
  struct row {
    unsigned product;
    const wchar_t* special_build;
    int language;
    const wchar_t* expected;
  };
  const row rows[] = {
      {258, L"Edition Alpina", 2, L"Tavimora Alpina 2"},
      {258, L"Edition Alpina", 0, L"Tavimora 2"},
      {258, L"Edition Alpina", 1, L"Tavimora 2"},
      {258, L"", 2, L"Tavimora 2"},
      {258, L"edition alpina", 2, L"Tavimora 2"},
      {0x0302, L"Edition Alpina", 2, L"Tavimora 2"},
  };
  for (const row& r : rows)
    EXPECT_EQ(qv::adjust_edition_name(L"Tavimora 2", r.product, r.special_build, r.language), r.expected);
}

}  // namespace
