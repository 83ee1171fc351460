// The real setup.exe under Wine and Xvfb, started as a user starts it, its
// wizard driven from this process by window messages to the controls by
// their ids, as a user would click: both methods to the installation page
// and back, Exit's question, a folder that is too long, the Start-menu box,
// the summary, a language change, Polish, maximising, the page sizes, the
// About box. Replaces nothing of the machine: the installation run is not
// started here.
#include "tests/e2e/setup_run.hpp"
#include "tests/common/box_driver.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>

namespace {

const wchar_t kTitle[] = L"Installer \u2013 Tavimora 2.31t";

std::wstring text_of(HWND parent, int id) { return qvtest::window_text(::GetDlgItem(parent, id)); }
bool enabled(HWND parent, int id) { return ::IsWindowEnabled(::GetDlgItem(parent, id)) != FALSE; }

std::wstring special_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

// The running wizard of one setup.exe.
class SetupWizard : public ::testing::Test {
protected:
  void SetUp() override {
    setup_ = std::make_unique<qvtest::setup_run>();
    ASSERT_NE(setup_->pid(), 0u);
    frame_ = qvtest::find_wizard(setup_->pid(), 60000, setup_->process());
    ASSERT_NE(frame_, nullptr) << "no wizard appeared";
  }
  void TearDown() override {
    if (setup_ && ::WaitForSingleObject(setup_->process(), 0) != WAIT_OBJECT_0)
      qvtest::close_wizard(setup_->pid(), setup_->process());
    setup_.reset();
  }
  HWND page(int n) { return qvtest::wizard_page(frame_, n); }
  int current() { return qvtest::current_page(frame_); }
  void command(int id) { ::SendMessageW(frame_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  void next() { command(IDOK); }
  void back() { command(3); }
  void method(bool advanced) { ::SendMessageW(::GetDlgItem(page(1), advanced ? 1019 : 1018), BM_CLICK, 0, 0); }
  void settle() {
    ::Sleep(200);
    ::SendMessageW(frame_, WM_NULL, 0, 0);
  }
  std::unique_ptr<qvtest::setup_run> setup_;
  HWND frame_ = nullptr;
};

TEST_F(SetupWizard, StartsAfterTheChecksAndEndsWithExitCode0) {
  EXPECT_EQ(qvtest::window_text(frame_), kTitle);
  EXPECT_EQ(current(), 0);
  EXPECT_EQ(text_of(page(0), 1016), L"'Tavimora 2.31t' Installation.");
  const std::vector<std::string> expected = {"processor", "locale", "support", "hooks", "application",
                                             "InitInstance", "checks passed", "wizard"};
  EXPECT_EQ(setup_->stages(), expected);
  ASSERT_TRUE(qvtest::close_wizard(setup_->pid(), setup_->process()));
  EXPECT_EQ(setup_->wait(), 0);
}

TEST_F(SetupWizard, BothMethodsWalkToTheInstallationPageAndBack) {
  for (bool advanced : {false, true}) {
    SCOPED_TRACE(advanced ? "advanced" : "quick");
    ASSERT_EQ(current(), 0);
    EXPECT_FALSE(enabled(frame_, 3));
    next();
    ASSERT_EQ(current(), 1);
    method(advanced);
    std::vector<int> seen;
    for (int i = 0; i < 5 && current() != 4; ++i) {
      next();
      seen.push_back(current());
    }
    EXPECT_EQ(seen, advanced ? std::vector<int>({2, 3, 4}) : std::vector<int>({4}));
    EXPECT_EQ(text_of(frame_, IDOK), L"Install");
    EXPECT_EQ(text_of(frame_, IDCANCEL), L"Cancel");
    EXPECT_TRUE(enabled(frame_, 3));
    seen.clear();
    for (int i = 0; i < 5 && current() != 0; ++i) {
      back();
      seen.push_back(current());
    }
    EXPECT_EQ(seen, advanced ? std::vector<int>({3, 2, 1, 0}) : std::vector<int>({1, 0}));
    EXPECT_EQ(text_of(frame_, IDOK), L"Next  >");
  }
}

TEST_F(SetupWizard, ExitAsksOnTheMethodPage) {
  next();
  ::PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  HWND box = qvtest::wait_for_owned(setup_->pid(), frame_);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(qvtest::box_text(box), L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
  EXPECT_EQ(qvtest::window_text(box), kTitle);
  EXPECT_TRUE(qvtest::box_has_button(box, IDYES));
  EXPECT_TRUE(qvtest::box_has_button(box, IDNO));
  qvtest::answer_box(box, IDNO);
  settle();
  EXPECT_EQ(::WaitForSingleObject(setup_->process(), 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "No keeps it open";
  EXPECT_EQ(current(), 1);
  ::PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  box = qvtest::wait_for_owned(setup_->pid(), frame_);
  ASSERT_NE(box, nullptr);
  qvtest::answer_box(box, IDYES);
  EXPECT_EQ(setup_->wait(), 0);
}

TEST_F(SetupWizard, AFolderOf261CharactersKeepsTheUserOnTheFolderPage) {
  next();
  method(true);
  next();
  ASSERT_EQ(current(), 2);
  const std::wstring too_long = L"C:\\" + std::wstring(258, L'b');
  ::SendMessageW(::GetDlgItem(page(2), 1007), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(too_long.c_str()));
  ::PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND box = qvtest::wait_for_owned(setup_->pid(), frame_);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(qvtest::box_text(box), L"Enter no more than 260 characters.");
  qvtest::answer_box(box, IDOK);
  settle();
  EXPECT_EQ(current(), 2);
}

TEST_F(SetupWizard, TheStartMenuBoxAndTheSummary) {
  next();
  method(true);
  next();
  next();
  ASSERT_EQ(current(), 3);
  HWND shortcuts = page(3);
  ::SendMessageW(::GetDlgItem(shortcuts, 1011), BM_CLICK, 0, 0);
  EXPECT_FALSE(enabled(shortcuts, 1007));
  EXPECT_FALSE(enabled(shortcuts, 1006));
  next();
  ASSERT_EQ(current(), 4);
  const std::wstring log = text_of(page(4), 1015);
  const std::wstring folder = special_folder(CSIDL_PROGRAM_FILES) + L"\\Quorvane Systems\\Tavimora 2";
  EXPECT_NE(log.find(L"Installation Folder: \"" + folder + L"\".\r\n"), std::wstring::npos) << qvtest::narrow(log);
  EXPECT_EQ(log.find(L"Start Menu"), std::wstring::npos) << qvtest::narrow(log);
  EXPECT_NE(log.find(L"Creating a Shortcut on the Desktop."), std::wstring::npos);
}

TEST_F(SetupWizard, ALanguageChangeRetextsEverythingAndPolishAnnouncesEnglish) {
  HWND combo = ::GetDlgItem(page(0), 1023);
  ::SendMessageW(combo, CB_SETCURSEL, 0, 0);  // French, the first of the list
  ::PostMessageW(page(0), WM_COMMAND, MAKEWPARAM(1023, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  settle();
  EXPECT_EQ(qvtest::window_text(frame_), L"Installeur \u2013 Tavimora 2.31t");
  EXPECT_EQ(text_of(frame_, IDOK), L"Suivant  >");
  EXPECT_EQ(text_of(frame_, 3), L"<  Pr\u00E9c\u00E9dent");
  EXPECT_EQ(text_of(frame_, IDCANCEL), L"Annuler");
  EXPECT_EQ(text_of(page(1), 1021), L"M\u00E9thode d'installation");
  EXPECT_EQ(text_of(page(2), 1006), L"Parcourir...");
  EXPECT_EQ(text_of(page(3), 1012), L"Menu D\u00E9marrer");

  ::SendMessageW(combo, CB_SETCURSEL, 6, 0);  // Polish
  ::PostMessageW(page(0), WM_COMMAND, MAKEWPARAM(1023, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  HWND box = qvtest::wait_for_owned(setup_->pid(), frame_);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(qvtest::box_text(box),
            L"'Tavimora' will be installed in the selected Langage, but the Installer, still under translation,  shall run "
            L"in English.");
  qvtest::answer_box(box, IDOK);
  settle();
  EXPECT_EQ(qvtest::window_text(frame_), kTitle);
  EXPECT_EQ(text_of(frame_, IDOK), L"Next  >");
  EXPECT_EQ(text_of(page(1), 1021), L"Installation Method");
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 6) << "the list keeps the chosen item";
}

TEST_F(SetupWizard, MaximisingKeepsSizeAndPlaceAndThePagesShareOneSize) {
  RECT before{}, after{};
  ::GetWindowRect(frame_, &before);
  ::PostMessageW(frame_, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
  ::SendMessageW(frame_, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  settle();
  ::GetWindowRect(frame_, &after);
  EXPECT_TRUE(::EqualRect(&before, &after));
  RECT first{};
  ::GetWindowRect(page(0), &first);
  for (int n = 1; n < 6; ++n) {
    RECT r{};
    ASSERT_TRUE(::GetWindowRect(page(n), &r)) << n;
    EXPECT_TRUE(::EqualRect(&first, &r)) << "page " << n;
  }
}

TEST_F(SetupWizard, TheAboutBoxShowsTheVersionLineAndTheLegalNotice) {
  ::PostMessageW(frame_, WM_SYSCOMMAND, 16, 0);
  HWND about = qvtest::wait_for_owned(setup_->pid(), frame_);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(qvtest::window_text(about), L"About 'Installer'");
  EXPECT_EQ(text_of(about, 1019), L"Tavimora 2 2.31t");
  EXPECT_EQ(text_of(about, 1020), L"Copyright \u00A9 Quorvane Systems. All rights reserved.");
  ::PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// With the same version installed, Exit on the start page does not ask.
TEST(WizardSameVersion, ExitOnTheStartPageDoesNotAsk) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quorvane Systems", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
            ERROR_SUCCESS);
  // setup.exe itself carries version 2.31.20.1: an installed program of the same version.
  const std::wstring program = qvtest::setup_path();
  ::RegSetValueExW(key, L"Tavimora 2 Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(program.c_str()),
                   static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
  {
    qvtest::setup_run setup;
    HWND frame = qvtest::find_wizard(setup.pid(), 60000, setup.process());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(text_of(qvtest::wizard_page(frame, 0), 1016), L"'Tavimora 2.31t' is already installed.\r\nDo you confirm Reinstallation ?");
    ::PostMessageW(frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(setup.wait(10000), 0) << "it ended without a question";
    EXPECT_TRUE(qvtest::dialog_boxes(setup.pid()).empty());
  }
  ::RegDeleteValueW(key, L"Tavimora 2 Path");
  ::RegCloseKey(key);
}

}  // namespace
