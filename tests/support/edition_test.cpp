// The edition adjustment of the display name on a real fixture. The
// SpecialBuild value is looked at once per process, on the first object
// asked for its display name, so this program asks the edition fixture first.
#include "app/language.hpp"
#include "support/product_identity.hpp"
#include "support/version_info.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>

namespace {

TEST(EditionFixture, TheAlpineEditionIsNamedSoInGermanOnly) {
  SetProductId(kProductId);
  qv::version_info info(qvtest::binary_dir() + L"\\tests\\support\\version_fixtures\\vfx_alpina.exe");
  ASSERT_EQ(info.query(L"SpecialBuild"), L"Edition Alpina");
  qv::set_language(2);
  EXPECT_EQ(info.display_name(), L"Tavimora Alpina 2");
  EXPECT_EQ(info.display_text(), L"Tavimora Alpina 2 2.31t");
  EXPECT_EQ(info.product_name(), L"Tavimora 2");
  for (int language : {0, 1, 3}) {
    qv::set_language(language);
    EXPECT_EQ(info.display_name(), L"Tavimora 2") << language;
  }
  // Another product family keeps its name, even in German.
  qv::set_language(2);
  SetProductId(0x0302);
  EXPECT_EQ(info.display_name(), L"Tavimora 2");
  SetProductId(kProductId);
}

}  // namespace
