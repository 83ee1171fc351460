// setup.exe's checks before the wizard, end to end under Wine and Xvfb:
// another process holds the single-instance mutex or a unit of the
// running-instances semaphore, and this program reads and answers the
// boxes setup.exe shows, as a user would. setup.exe runs under this
// program as its debugger, which receives its start-up trace
// ("qv-startup: <stage>") from OutputDebugString.
#include "support/errors.hpp"
#include "tests/common/test_support.hpp"
#include "tests/common/box_driver.hpp"
#include "tests/support/holder_client.hpp"
#include "tests/e2e/setup_run.hpp"
#include <gtest/gtest.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using qvtest::setup_path;
using qvtest::setup_run;

// Texts of setup.exe's own string resources.
class setup_strings {
public:
  setup_strings() { module_ = ::LoadLibraryExW(setup_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE); }
  ~setup_strings() {
    if (module_) ::FreeLibrary(module_);
  }
  std::wstring get(unsigned id) const {
    const wchar_t* text = nullptr;
    int n = module_ ? ::LoadStringW(module_, id, reinterpret_cast<wchar_t*>(&text), 0) : 0;
    return n > 0 && text ? std::wstring(text, n) : std::wstring();
  }
  bool loaded() const { return module_ != nullptr; }

private:
  HMODULE module_ = nullptr;
};

// The catalogue block of the language setup.exe starts in for this user:
// French 1000, English 2000, German 3000 (the three this test is run with).
unsigned expected_block() {
  switch (PRIMARYLANGID(::GetUserDefaultLangID())) {
    case LANG_FRENCH: return 1000;
    case LANG_GERMAN: return 3000;
    default: return 2000;
  }
}

std::wstring replace_all(std::wstring text, const std::wstring& what, const std::wstring& by) {
  for (std::size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + by.size()))
    text.replace(at, what.size(), by);
  return text;
}

std::wstring expected_1127() {
  setup_strings strings;
  return replace_all(strings.get(expected_block() + 127), L"%1", L"Tavimora");
}

std::wstring expected_title() {
  setup_strings strings;
  return strings.get(expected_block()) + L" \u2013 Tavimora 2.31t";
}

TEST(SetupChecks, ASecondInstallerShowsErrorBusyAndEnds) {
  qvtest::object_holder first(L"mutex", qvtest::kInstallerMutexName);
  ASSERT_TRUE(first.holding());
  setup_run setup;
  ASSERT_NE(setup.pid(), 0u);
  HWND box = qvtest::wait_for_box(setup.pid(), 30000, setup.process());
  ASSERT_NE(box, nullptr) << "no box appeared";
  EXPECT_EQ(qvtest::box_text(box), qv::system_message(ERROR_BUSY));
  // Before any language is chosen, the caption is the executable's name.
  EXPECT_EQ(qvtest::window_text(box), L"setup");
  EXPECT_TRUE(qvtest::box_shows_icon(box));
  EXPECT_TRUE(qvtest::box_has_button(box, IDOK));
  EXPECT_FALSE(qvtest::box_has_button(box, IDCANCEL));
  qvtest::answer_box(box, IDOK);
  EXPECT_EQ(setup.wait(), 0);
  EXPECT_TRUE(setup.reached("InitInstance"));
  EXPECT_FALSE(setup.reached("product running"));
  EXPECT_FALSE(setup.reached("checks passed"));
}

class RunningProduct : public ::testing::Test {
protected:
  // The box of 1127, checked against setup.exe's own catalogue.
  void expect_running_product_box(HWND box) {
    ASSERT_NE(box, nullptr) << "no box appeared";
    EXPECT_EQ(qvtest::box_text(box), expected_1127());
    EXPECT_EQ(qvtest::window_text(box), expected_title());
    EXPECT_TRUE(qvtest::box_shows_icon(box));
    EXPECT_TRUE(qvtest::box_has_button(box, IDRETRY));
    EXPECT_TRUE(qvtest::box_has_button(box, IDCANCEL));
  }
};

TEST_F(RunningProduct, RetryAsksAgainWhileItRunsAndGoesOnOnceItHasEnded) {
  auto product = std::make_unique<qvtest::object_holder>(L"semaphore", qvtest::kInstallerSemaphoreName);
  ASSERT_TRUE(product->holding());
  setup_run setup;
  HWND box = qvtest::wait_for_box(setup.pid(), 30000, setup.process());
  expect_running_product_box(box);
  qvtest::answer_box(box, IDRETRY);
  // Still running: the question comes again.
  ::Sleep(300);
  HWND again = nullptr;
  for (int i = 0; i < 100 && !again; ++i) {
    std::vector<HWND> boxes = qvtest::dialog_boxes(setup.pid());
    if (!boxes.empty() && boxes.front() != box) again = boxes.front();
    if (!again) ::Sleep(100);
  }
  if (!again) again = qvtest::wait_for_box(setup.pid(), 10000, setup.process());
  expect_running_product_box(again);
  EXPECT_EQ(product->stop(), 0);
  product.reset();
  qvtest::answer_box(again, IDRETRY);
  // It goes on to the wizard; Exit ends it.
  EXPECT_TRUE(qvtest::close_wizard(setup.pid(), setup.process()));
  EXPECT_EQ(setup.wait(), 0);
  std::vector<std::string> stages = setup.stages();
  int asked = 0;
  for (const std::string& s : stages) asked += s == "product running";
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(setup.reached("checks passed"));
}

TEST_F(RunningProduct, CancelEndsTheProgram) {
  qvtest::object_holder product(L"semaphore", qvtest::kInstallerSemaphoreName);
  ASSERT_TRUE(product.holding());
  setup_run setup;
  HWND box = qvtest::wait_for_box(setup.pid(), 30000, setup.process());
  expect_running_product_box(box);
  qvtest::answer_box(box, IDCANCEL);
  EXPECT_EQ(setup.wait(), 0);
  EXPECT_TRUE(setup.reached("product running"));
  EXPECT_FALSE(setup.reached("checks passed"));
}

// The exact texts of the catalogue in the two languages whose texts are
// fixed here; they need the catalogue inside setup.exe.
TEST(Catalogue, TheUsersLanguageFollowsLang) {
  // Each registration of this test sets LANG; Wine derives the user's language from it.
  const char* lang = std::getenv("LANG");
  if (!lang) GTEST_SKIP() << "LANG is not set";
  std::string prefix(lang, strnlen(lang, 2));
  WORD primary = PRIMARYLANGID(::GetUserDefaultLangID());
  WORD expected = prefix == "fr" ? LANG_FRENCH : prefix == "de" ? LANG_GERMAN : LANG_ENGLISH;
  EXPECT_EQ(primary, expected) << lang;
}

TEST(Catalogue, TheRunningProductTextAndTitleInEnglishAndFrench) {
  setup_strings strings;
  ASSERT_TRUE(strings.loaded());
  EXPECT_EQ(strings.get(2000), L"Installer");
  EXPECT_EQ(strings.get(1000), L"Installeur");
  EXPECT_EQ(strings.get(2127), L"You should close '%1' before continuing Installation.");
  EXPECT_EQ(strings.get(1127), L"Vous devez fermer '%1' avant de poursuivre l'installation.");
  switch (PRIMARYLANGID(::GetUserDefaultLangID())) {
    case LANG_ENGLISH:
      EXPECT_EQ(expected_1127(), L"You should close 'Tavimora' before continuing Installation.");
      EXPECT_EQ(expected_title(), L"Installer \u2013 Tavimora 2.31t");
      break;
    case LANG_FRENCH:
      EXPECT_EQ(expected_1127(), L"Vous devez fermer 'Tavimora' avant de poursuivre l'installation.");
      EXPECT_EQ(expected_title(), L"Installeur \u2013 Tavimora 2.31t");
      break;
    default:
      EXPECT_FALSE(expected_1127().empty());
      break;
  }
}

}  // namespace
