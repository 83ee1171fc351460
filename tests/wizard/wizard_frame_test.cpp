// The real wizard frame with its six pages and the About box, from the
// program's own dialog templates and catalogue, run modally on a thread of
// its own under Xvfb and driven from the test thread by window messages to
// the controls by their ids, as a user would click. The installation run is
// stubbed through the frame's seam. Screenshots of every page and the About
// box in the eight languages go to <build>/screenshots.
#include "app/install_app.hpp"
#include "app/language.hpp"
#include "framework/win_app.hpp"
#include "support/message_box.hpp"
#include "tests/common/test_support.hpp"
#include "tests/wizard/wizard_driver.hpp"
#include "wizard/install_dlg.hpp"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <shlobj.h>
#include <atomic>
#include <memory>
#include <thread>

namespace {

CWinApp g_app(L"WizardTest");

const std::wstring kNext = L"Next  >", kBackText = L"<  Back", kInstall = L"Install", kCancel = L"Cancel",
                   kExit = L"Exit";
const wchar_t kTitle[] = L"Installer \u2013 Tavimora 2.31t";
const wchar_t kQuestion[] = L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?";

// The list's order: French, English, German, Spanish, Italian, Portuguese, Polish, Turkish, Romanian.
int list_index(int language) {
  const int order[] = {0, 1, 2, 3, 11, 4, 15, 7, 9};
  for (int i = 0; i < 9; ++i)
    if (order[i] == language) return i;
  return -1;
}

class wizard_run {
public:
  explicit wizard_run(int earlier_state = 0, int language = 1) : settings_(L"Local\\qv-wizard-frame-test") {
    qv::set_language(language);
    g_app.SetAppName(GetInstallerTitle(true));
    settings_.m_nEarlierState = earlier_state;
    if (earlier_state == 2 || earlier_state == -1) settings_.m_strEarlierVersion = L"Tavimora 2.30";
    settings_.m_strInstallFolder = DefaultInstallFolder();
    settings_.m_strMenuFolder = DefaultMenuFolder();
    settings_.m_bMenuShortcut = settings_.m_bDesktopShortcut = true;
    ui_ = std::thread([this] {
      CInstallDlg dlg(settings_);
      dlg.m_runInstallation = [this](CDlgInstall& page) {
        ++runs_;
        page.AppendLine(L"Run line\r\n", false);
        return run_result_.load();
      };
      dlg_ = &dlg;
      g_app.m_pMainWnd = &dlg;
      result_ = dlg.DoModal();
      g_app.m_pMainWnd = nullptr;
      dlg_ = nullptr;
    });
    for (int i = 0; i < 300 && !(dlg_ && dlg_.load()->m_hWnd && ::IsWindowVisible(dlg_.load()->m_hWnd)); ++i) ::Sleep(30);
  }
  ~wizard_run() {
    if (dlg_ && dlg_.load()->m_hWnd) {
      // Nothing asks at the end of a test: close through EndDialog.
      ::PostMessageW(frame(), WM_CLOSE, 0, 0);
      settings_.m_bInstalled = true;
      for (int i = 0; i < 50 && dlg_; ++i) {
        HWND box = qvtest::wait_for_owned_dialog(nullptr, frame(), 100);
        if (box) qvtest::answer_box(box, IDYES);
      }
    }
    if (ui_.joinable()) ui_.join();
  }
  HWND frame() const { return dlg_ ? dlg_.load()->m_hWnd : nullptr; }
  HWND page(int n) const { return dlg_.load()->GetPage(n)->m_hWnd; }
  int current() const {
    for (int n = 0; n < kPageCount; ++n)
      if (::IsWindowVisible(page(n))) return n;
    return -1;
  }
  void next() { qvtest::click(frame(), IDOK); }
  void back() { qvtest::click(frame(), 3); }
  bool closed(DWORD timeout_ms = 5000) {
    for (DWORD waited = 0; dlg_ && waited < timeout_ms; waited += 30) ::Sleep(30);
    return dlg_ == nullptr;
  }
  void choose_language(int language) {
    HWND combo = ::GetDlgItem(page(0), 1023);
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(list_index(language)), 0);
    ::PostMessageW(page(0), WM_COMMAND, MAKEWPARAM(1023, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  }
  // Waits until the posted messages before it have been handled.
  void settle() {
    for (int i = 0; i < 3; ++i) {
      ::PostMessageW(frame(), WM_NULL, 0, 0);
      ::Sleep(60);
      ::SendMessageW(frame(), WM_NULL, 0, 0);
    }
  }

  install_settings settings_;
  std::atomic<bool> run_result_{false};
  std::atomic<int> runs_{0};
  std::atomic<CInstallDlg*> dlg_{nullptr};
  INT_PTR result_ = 0;

private:
  std::thread ui_;
};

struct expected_buttons {
  int page;
  bool back, next;
  int def;
  std::wstring nextText, exitText;
};

void expect_buttons(wizard_run& w, const expected_buttons& e) {
  SCOPED_TRACE(testing::Message() << "page " << e.page);
  EXPECT_EQ(w.current(), e.page);
  EXPECT_EQ(qvtest::enabled(w.frame(), 3), e.back);
  EXPECT_EQ(qvtest::enabled(w.frame(), IDOK), e.next);
  EXPECT_TRUE(qvtest::enabled(w.frame(), IDCANCEL));
  EXPECT_EQ(qvtest::default_id(w.frame()), e.def);
  EXPECT_EQ(qvtest::item_text(w.frame(), IDOK), e.nextText);
  EXPECT_EQ(qvtest::item_text(w.frame(), 3), kBackText);
  EXPECT_EQ(qvtest::item_text(w.frame(), IDCANCEL), e.exitText);
}

void set_method(wizard_run& w, bool advanced) {
  ASSERT_EQ(w.current(), 1);
  ::SendMessageW(::GetDlgItem(w.page(1), advanced ? 1019 : 1018), BM_CLICK, 0, 0);
}

class WizardFrame : public ::testing::TestWithParam<bool> {};

TEST_P(WizardFrame, WalksToTheInstallationPageAndBackThenRunsFailsRunsAgainAndEnds) {
  const bool advanced = GetParam();
  wizard_run w;
  ASSERT_NE(w.frame(), nullptr);
  EXPECT_EQ(qvtest::window_text(w.frame()), kTitle);
  expect_buttons(w, {0, false, true, IDOK, kNext, kCancel});
  w.next();
  set_method(w, advanced);
  std::vector<int> forward = advanced ? std::vector<int>{2, 3, 4} : std::vector<int>{4};
  for (int page : forward) {
    w.next();
    expect_buttons(w, {page, true, true, IDOK, page == 4 ? kInstall : kNext, kCancel});
  }
  std::vector<int> backward = advanced ? std::vector<int>{3, 2, 1, 0} : std::vector<int>{1, 0};
  for (int page : backward) {
    w.back();
    expect_buttons(w, {page, page > 0, true, IDOK, kNext, kCancel});
  }
  for (std::size_t i = 0; i < 1 + forward.size(); ++i) w.next();
  ASSERT_EQ(w.current(), 4);

  // A failed run: Install is offered again, the earlier pages stay reachable.
  w.run_result_ = false;
  w.next();
  EXPECT_EQ(w.runs_, 1);
  EXPECT_FALSE(w.settings_.m_bInstalled);
  expect_buttons(w, {4, true, true, IDOK, kInstall, kCancel});
  EXPECT_NE(qvtest::item_text(w.page(4), 1015).find(L"Run line"), std::wstring::npos) << "the refresh keeps the run's lines";

  // A successful run: Back disabled, Next to the end page, Exit without question.
  w.run_result_ = true;
  w.next();
  EXPECT_EQ(w.runs_, 2);
  EXPECT_TRUE(w.settings_.m_bInstalled);
  expect_buttons(w, {4, false, true, IDOK, kNext, kExit});
  w.next();
  expect_buttons(w, {5, true, false, IDCANCEL, kNext, kExit});
  EXPECT_EQ(qvtest::item_text(w.page(5), 1016), L"Installation is complete.");
  w.back();
  expect_buttons(w, {4, false, true, IDOK, kNext, kExit});
  EXPECT_NE(qvtest::item_text(w.page(4), 1015).find(L"Run line"), std::wstring::npos) << "the finished log stays";
  EXPECT_EQ(w.runs_, 2);
  w.next();
  qvtest::post_click(w.frame(), IDCANCEL);
  EXPECT_TRUE(w.closed()) << "Exit after a successful run ends without a question";
  EXPECT_EQ(w.result_, IDOK);
}

INSTANTIATE_TEST_SUITE_P(Methods, WizardFrame, ::testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Advanced" : "Quick"; });

TEST(WizardExit, AsksOnTheMethodPageAndNotOnTheStartPageWithTheSameVersion) {
  {
    wizard_run w(1);
    expect_buttons(w, {0, false, true, IDOK, kNext, kCancel});
    EXPECT_EQ(qvtest::item_text(w.page(0), 1016), L"'Tavimora 2.31t' is already installed.\r\nDo you confirm Reinstallation ?");
    EXPECT_EQ(qvtest::item_text(w.page(0), 1003), L"Click on 'Next' to continue or on 'Cancel' to exit Installation.");
    w.next();
    qvtest::post_click(w.frame(), IDCANCEL);
    HWND box = qvtest::wait_for_owned_dialog(w.frame(), w.frame());
    ASSERT_NE(box, nullptr) << "Exit on the method page asks";
    EXPECT_EQ(qvtest::box_text(box), kQuestion);
    qvtest::answer_box(box, IDNO);
    ASSERT_TRUE(qvtest::wait_gone(box));
    w.settle();
    EXPECT_EQ(w.current(), 1) << "No keeps the wizard open";
    w.back();
    qvtest::post_click(w.frame(), IDCANCEL);
    EXPECT_TRUE(w.closed()) << "no question on the start page with the same version installed";
    EXPECT_EQ(w.result_, IDCANCEL);
  }
  {
    wizard_run w(0);
    qvtest::post_click(w.frame(), IDCANCEL);
    HWND box = qvtest::wait_for_owned_dialog(w.frame(), w.frame());
    ASSERT_NE(box, nullptr) << "a new installation asks on the start page";
    qvtest::answer_box(box, IDYES);
    EXPECT_TRUE(w.closed());
  }
  {
    wizard_run w(-1);
    expect_buttons(w, {0, false, false, IDCANCEL, kNext, kCancel});
    EXPECT_EQ(qvtest::item_text(w.page(0), 1016),
              L"'Tavimora 2.31t' Installation.\r\nA more recent Version (Tavimora 2.30) is already installed.");
    EXPECT_EQ(qvtest::item_text(w.page(0), 1003), L"Click on 'Cancel' to exit Installation.");
    qvtest::post_click(w.frame(), IDOK);  // Enter on a disabled Next does nothing
    w.settle();
    EXPECT_EQ(w.current(), 0);
    qvtest::post_click(w.frame(), IDCANCEL);
    EXPECT_TRUE(w.closed()) << "no question with a newer version installed";
  }
  {
    wizard_run w(2);
    EXPECT_EQ(qvtest::item_text(w.page(0), 1016), L"Update from 'Tavimora 2.30' to 'Tavimora 2.31t'.");
    EXPECT_EQ(qvtest::item_text(w.page(0), 1003), L"Click on 'Next' to continue.");
  }
}

TEST(WizardPages, AFolderOf261CharactersKeepsTheUserOnTheFolderPage) {
  wizard_run w;
  w.next();
  set_method(w, true);
  w.next();
  ASSERT_EQ(w.current(), 2);
  HWND edit = ::GetDlgItem(w.page(2), 1007);
  const std::wstring too_long = L"C:\\" + std::wstring(258, L'a');  // 261 characters
  ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(too_long.c_str()));
  qvtest::post_click(w.frame(), IDOK);
  HWND box = qvtest::wait_for_owned_dialog(nullptr, w.frame());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(qvtest::box_text(box), L"Enter no more than 260 characters.");
  qvtest::answer_box(box, IDOK);
  ASSERT_TRUE(qvtest::wait_gone(box));
  w.settle();
  EXPECT_EQ(w.current(), 2);
  EXPECT_EQ(w.settings_.m_strInstallFolder, DefaultInstallFolder()) << "nothing was stored";
  const std::wstring fits = L"C:\\" + std::wstring(257, L'a');  // 260 characters
  ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fits.c_str()));
  w.next();
  EXPECT_EQ(w.current(), 3);
  EXPECT_EQ(w.settings_.m_strInstallFolder, fits);
}

TEST(WizardPages, FolderPageIsReadOnlyForAnEarlierInstallation) {
  for (int state : {1, 2}) {
    wizard_run w(state);
    w.next();
    set_method(w, true);
    w.next();
    ASSERT_EQ(w.current(), 2);
    EXPECT_TRUE(::GetWindowLongW(::GetDlgItem(w.page(2), 1007), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(qvtest::enabled(w.page(2), 1006));
    EXPECT_FALSE(qvtest::enabled(w.page(2), 1009));
    EXPECT_EQ(qvtest::item_text(w.page(2), 1007), DefaultInstallFolder());
  }
  wizard_run w(0);
  EXPECT_FALSE(::GetWindowLongW(::GetDlgItem(w.page(2), 1007), GWL_STYLE) & ES_READONLY);
  EXPECT_TRUE(qvtest::enabled(w.page(2), 1006));
}

TEST(WizardPages, UntickingTheStartMenuBoxDisablesItsFieldAndLeavesItOutOfTheSummary) {
  wizard_run w;
  const std::wstring summary_menu = L"Creating a Shortcut in the Start Menu (Folder \"" + DefaultMenuFolder() + L"\").";
  w.next();
  set_method(w, true);
  w.next();
  w.next();
  ASSERT_EQ(w.current(), 3);
  EXPECT_EQ(qvtest::item_text(w.page(3), 1007), L"Programs\\Quorvane Systems\\Tavimora 2");
  EXPECT_TRUE(qvtest::enabled(w.page(3), 1007));
  ::SendMessageW(::GetDlgItem(w.page(3), 1011), BM_CLICK, 0, 0);
  EXPECT_FALSE(qvtest::enabled(w.page(3), 1007)) << "at once";
  EXPECT_FALSE(qvtest::enabled(w.page(3), 1006));
  EXPECT_TRUE(w.settings_.m_bMenuShortcut) << "stored only when the page is left";
  w.next();
  ASSERT_EQ(w.current(), 4);
  EXPECT_FALSE(w.settings_.m_bMenuShortcut);
  const std::wstring log = qvtest::item_text(w.page(4), 1015);
  EXPECT_EQ(log.find(L"Start Menu"), std::wstring::npos) << qvtest::narrow(log);
  EXPECT_NE(log.find(L"Creating a Shortcut on the Desktop.\r\n"), std::wstring::npos);
  // Back, tick it again: the summary is rewritten with the line.
  w.back();
  ::SendMessageW(::GetDlgItem(w.page(3), 1011), BM_CLICK, 0, 0);
  EXPECT_TRUE(qvtest::enabled(w.page(3), 1006));
  w.next();
  EXPECT_NE(qvtest::item_text(w.page(4), 1015).find(summary_menu), std::wstring::npos);
}

TEST(WizardPages, TheSummaryQuotesAFolderWithABlankAndCentresItsHeading) {
  wizard_run w;
  w.next();
  set_method(w, true);
  w.next();
  ::SendMessageW(::GetDlgItem(w.page(2), 1007), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"D:\\Apps\\Tavimora"));
  w.next();
  w.next();
  std::wstring log = qvtest::item_text(w.page(4), 1015);
  EXPECT_EQ(log.find(L"'Tavimora 2.31t' Installation.\r\n"), 0u) << qvtest::narrow(log);
  EXPECT_NE(log.find(L"Installation Folder: D:\\Apps\\Tavimora.\r\n"), std::wstring::npos) << qvtest::narrow(log);
  // The heading: dashes, a blank, the text, a blank, dashes; at most one more dash behind.
  const std::size_t at = log.find(L" Installation Options ");
  ASSERT_NE(at, std::wstring::npos);
  const std::size_t start = log.rfind(L"\r\n", at) + 2;
  const std::size_t end = log.find(L"\r\n", at);
  const std::size_t before = at - start, after = end - (at + 22);
  EXPECT_GT(before, 5u);
  EXPECT_TRUE(after == before || after == before + 1) << before << " " << after;
  EXPECT_EQ(std::wstring(before, L'-'), log.substr(start, before));
  EXPECT_EQ(::SendMessageW(::GetDlgItem(w.page(4), 1015), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  w.back();
  w.back();
  ::SendMessageW(::GetDlgItem(w.page(2), 1007), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"C:\\Program Files\\Quorvane Systems\\Tavimora 2"));
  w.next();
  w.next();
  log = qvtest::item_text(w.page(4), 1015);
  EXPECT_NE(log.find(L"Installation Folder: \"C:\\Program Files\\Quorvane Systems\\Tavimora 2\".\r\n"), std::wstring::npos)
      << qvtest::narrow(log);
  EXPECT_EQ(log.find(L"D:\\Apps"), std::wstring::npos) << "the summary is rewritten";
}

TEST(WizardLanguage, AChangeRetextsTheTitleTheAboutItemTheButtonsAndEveryPage) {
  wizard_run w;
  HMENU menu = ::GetSystemMenu(w.frame(), FALSE);
  wchar_t item[128] = {};
  ::GetMenuStringW(menu, 16, item, 128, MF_BYCOMMAND);
  EXPECT_STREQ(item, L"&About 'Installer'...");
  w.choose_language(0);
  w.settle();
  EXPECT_EQ(qvtest::window_text(w.frame()), L"Installeur \u2013 Tavimora 2.31t");
  ::GetMenuStringW(menu, 16, item, 128, MF_BYCOMMAND);
  EXPECT_STREQ(item, L"&\u00C0 propos de 'Installeur'...");
  EXPECT_EQ(qvtest::item_text(w.frame(), IDOK), L"Suivant  >");
  EXPECT_EQ(qvtest::item_text(w.frame(), 3), L"<  Pr\u00E9c\u00E9dent");
  EXPECT_EQ(qvtest::item_text(w.frame(), IDCANCEL), L"Annuler");
  EXPECT_EQ(qvtest::item_text(w.page(0), 1022), L"S\u00E9lectionnez la langue d'installation");
  EXPECT_EQ(qvtest::item_text(w.page(0), 1016), L"Installation de 'Tavimora 2.31t'.");
  EXPECT_EQ(qvtest::item_text(w.page(1), 1021), L"M\u00E9thode d'installation");
  EXPECT_EQ(qvtest::item_text(w.page(1), 1018), L"Installation rapide (recommand\u00E9e)");
  EXPECT_EQ(qvtest::item_text(w.page(1), 1019), L"Installation personnalis\u00E9e");
  EXPECT_EQ(qvtest::item_text(w.page(2), 1008), L"S\u00E9lection du dossier d'installation");
  EXPECT_EQ(qvtest::item_text(w.page(2), 1006), L"Parcourir...");
  EXPECT_EQ(qvtest::item_text(w.page(3), 1012), L"Menu D\u00E9marrer");
  EXPECT_EQ(qvtest::item_text(w.page(3), 1010), L"Cr\u00E9er un raccourci sur le bureau.");
  EXPECT_EQ(qvtest::item_text(w.page(4), 1003), L"Cliquez sur 'Installer' pour d\u00E9marrer l'installation.");
  EXPECT_EQ(qvtest::item_text(w.page(5), 1003), L"Cliquez sur 'Quitter' pour quitter l'installeur.");
  EXPECT_EQ(qvtest::item_text(w.page(5), 1016), L"");
  EXPECT_EQ(g_app.GetAppName(), L"Installeur \u2013 Tavimora 2.31t");
  EXPECT_EQ(qv::get_language_state().index, 0);
}

TEST(WizardLanguage, PolishShowsMessage1129InEnglishAndRomanianThenNoMessage) {
  wizard_run w(0, 0);  // starts in French
  w.choose_language(15);
  HWND box = qvtest::wait_for_owned_dialog(nullptr, w.frame());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(qvtest::box_text(box),
            L"'Tavimora' will be installed in the selected Langage, but the Installer, still under translation,  shall run "
            L"in English.");
  EXPECT_EQ(qvtest::window_text(box), kTitle);
  EXPECT_TRUE(qvtest::box_shows_icon(box));
  qvtest::answer_box(box, IDOK);
  ASSERT_TRUE(qvtest::wait_gone(box));
  w.settle();
  EXPECT_EQ(qvtest::window_text(w.frame()), kTitle);
  EXPECT_EQ(qvtest::item_text(w.frame(), IDOK), kNext);
  EXPECT_EQ(qv::get_language_state().index, 15) << "the product is installed in Polish";
  EXPECT_EQ(::SendMessageW(::GetDlgItem(w.page(0), 1023), CB_GETCURSEL, 0, 0), list_index(15));
  w.choose_language(9);
  w.settle();
  EXPECT_EQ(qvtest::wait_for_owned_dialog(nullptr, w.frame(), 500), nullptr);
  EXPECT_NE(qvtest::window_text(w.frame()), kTitle);
  EXPECT_EQ(qv::get_language_state().index, 9);
}

TEST(WizardLanguage, TheListHoldsTheNineLanguagesWithFlagsAndNativeNames) {
  wizard_run w;
  HWND combo = ::GetDlgItem(w.page(0), 1023);
  ASSERT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 9);
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  const int order[] = {0, 1, 2, 3, 11, 4, 15, 7, 9};
  for (int i = 0; i < 9; ++i) {
    wchar_t text[64] = {};
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_LPARAM;
    item.iItem = i;
    item.pszText = text;
    item.cchTextMax = 64;
    ASSERT_TRUE(::SendMessageW(combo, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(item.lParam, order[i]);
    EXPECT_EQ(item.iImage, i);
    EXPECT_EQ(std::wstring(text), qv::language_name(order[i]));
  }
  HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SendMessageW(combo, CBEM_GETIMAGELIST, 0, 0));
  int cx = 0, cy = 0;
  ASSERT_TRUE(::ImageList_GetIconSize(images, &cx, &cy));
  EXPECT_EQ(cx, 18);
  EXPECT_EQ(cy, 12);
  EXPECT_EQ(::ImageList_GetImageCount(images), 9);
}

TEST(WizardWindow, MaximisingKeepsSizeAndPlaceAndAllPagesShareTheLargestSize) {
  wizard_run w;
  RECT before{}, after{};
  ::GetWindowRect(w.frame(), &before);
  ::SendMessageW(w.frame(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  ::GetWindowRect(w.frame(), &after);
  EXPECT_TRUE(::EqualRect(&before, &after)) << after.left << "," << after.top << " " << after.right << "," << after.bottom;
  ::SendMessageW(w.frame(), WM_SYSCOMMAND, SC_RESTORE, 0);

  RECT first = ChildRect(w.page(0));
  for (int n = 1; n < kPageCount; ++n) {
    RECT r = ChildRect(w.page(n));
    EXPECT_TRUE(::EqualRect(&first, &r)) << "page " << n;
  }
  // The largest template is the shortcut page's height and the method page's width.
  RECT dlu{0, 0, 279, 105};
  ::MapDialogRect(w.page(1), &dlu);
  EXPECT_GE(first.right - first.left, dlu.right);
  EXPECT_GE(first.bottom - first.top, dlu.bottom);
  EXPECT_EQ(first.left, ChildRect(::GetDlgItem(w.frame(), 1005)).right);
  EXPECT_EQ(first.bottom, ChildRect(::GetDlgItem(w.frame(), 1002)).top);
  RECT buttons = ChildRect(::GetDlgItem(w.frame(), IDCANCEL));
  RECT client{};
  ::GetClientRect(w.frame(), &client);
  EXPECT_LE(buttons.right, client.right);
  EXPECT_GT(buttons.top, first.bottom);

  HMENU menu = ::GetSystemMenu(w.frame(), FALSE);
  EXPECT_EQ(::GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1)) << "Maximize removed";
  EXPECT_EQ(::GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1)) << "Size removed";
  ::SendMessageW(w.frame(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
  EXPECT_FALSE(::GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(::GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_NE(::SendMessageW(w.frame(), WM_GETICON, ICON_BIG, 0), 0) << "the large icon from the hook";
}

TEST(WizardAbout, ShowsTheVersionLineAndTheLegalNoticeOfTheVersionResource) {
  wizard_run w;
  ::PostMessageW(w.frame(), WM_SYSCOMMAND, 16, 0);
  HWND about = qvtest::wait_for_owned_dialog(w.frame(), w.frame());
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(qvtest::window_text(about), L"About 'Installer'");
  EXPECT_EQ(qvtest::item_text(about, 1019), L"Tavimora 2 2.31t");
  EXPECT_NE(qvtest::item_text(about, 1020).find(L"Quorvane Systems"), std::wstring::npos);
  EXPECT_EQ(qvtest::item_text(about, IDOK), L"OK");
  qvtest::answer_box(about, IDOK);
  EXPECT_TRUE(qvtest::wait_gone(about));
}

void wait_for_text(HWND window, const std::wstring& text) {
  for (int i = 0; i < 200 && qvtest::window_text(window) != text; ++i) ::Sleep(50);
}

TEST(WizardBrowse, TheRealFolderBrowserSelectsAndConfirmsAFolder) {
  // The folder to choose exists before the browser opens: a folder made
  // later may be missing from a tree branch the browser already listed.
  const std::wstring chosen = qvtest::scratch_folder(L"browse target") + L"\\tavimora 2";
  ASSERT_TRUE(::CreateDirectoryW(chosen.c_str(), nullptr));
  wizard_run w;
  w.next();
  set_method(w, true);
  w.next();
  qvtest::post_click(w.page(2), 1006);
  HWND browser = qvtest::wait_for_owned_dialog(nullptr, w.frame(), 15000);
  ASSERT_NE(browser, nullptr);
  // It opens on the nearest existing folder and shows the full default folder.
  HWND edit = nullptr;
  for (int i = 0; i < 100 && !edit; ++i) {
    edit = ::FindWindowExW(browser, nullptr, L"Edit", nullptr);
    if (!edit) ::Sleep(50);
  }
  ASSERT_NE(edit, nullptr) << "the browser has an edit box with the product sub-folder";
  // The browser has initialised once the edit box shows the target folder.
  wait_for_text(edit, DefaultInstallFolder());
  EXPECT_EQ(qvtest::window_text(edit), DefaultInstallFolder());
  // A folder that already ends with the sub-folder, selected in the tree:
  // shown as it is, and returned as it is. (Wine's browser returns the
  // tree's selection on OK and never asks to validate the edit box, so the
  // typed-folder path is tested through its validation function.)
  // The browser may still be settling its own first selection: select
  // again until the choice holds.
  for (int attempt = 0; attempt < 5 && qvtest::window_text(edit) != chosen; ++attempt) {
    ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(chosen.c_str()));
    wait_for_text(edit, chosen);
  }
  EXPECT_EQ(qvtest::window_text(edit), chosen);
  ::PostMessageW(browser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(qvtest::wait_gone(browser, 15000));
  w.settle();
  EXPECT_EQ(w.settings_.m_strInstallFolder, chosen);
  EXPECT_EQ(qvtest::item_text(w.page(2), 1007), chosen);
  qvtest::remove_tree(chosen);
}

// Every page and the About box in each of the eight languages.
TEST(WizardScreenshots, EveryPageAndTheAboutBoxInTheEightLanguages) {
  const std::wstring folder = qvtest::binary_dir() + L"\\screenshots";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const struct {
    int language;
    const wchar_t* name;
  } languages[] = {{1, L"english"}, {0, L"french"},  {2, L"german"},  {3, L"spanish"},
                   {4, L"portuguese"}, {11, L"italian"}, {7, L"turkish"}, {9, L"romanian"}};
  const wchar_t* pages[] = {L"0-start", L"1-mode", L"2-folder", L"3-shortcut", L"4-install", L"5-end"};
  for (const auto& l : languages) {
    wizard_run w(0, l.language);
    ASSERT_NE(w.frame(), nullptr);
    const std::wstring prefix = folder + L"\\" + l.name + L"-";
    for (int n = 0; n < kPageCount; ++n) {
      if (n == 1) set_method(w, true);
      ASSERT_EQ(w.current(), n);
      EXPECT_TRUE(qvtest::save_window_bitmap(w.frame(), prefix + pages[n] + L".bmp"));
      for (const std::wstring& text : qvtest::clipped_texts(w.frame()))
        ADD_FAILURE() << qvtest::narrow(l.name) << " page " << n << " clips " << qvtest::narrow(text);
      if (n == 4) {
        w.run_result_ = true;
        w.next();  // the run
        ASSERT_EQ(w.current(), 4);
      }
      if (n < 5) w.next();
    }
    ::PostMessageW(w.frame(), WM_SYSCOMMAND, 16, 0);
    HWND about = qvtest::wait_for_owned_dialog(w.frame(), w.frame());
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(qvtest::save_window_bitmap(about, prefix + L"about.bmp"));
    for (const std::wstring& text : qvtest::clipped_texts(about))
      ADD_FAILURE() << qvtest::narrow(l.name) << " About box clips " << qvtest::narrow(text);
    qvtest::answer_box(about, IDOK);
    qvtest::wait_gone(about);
  }
}

}  // namespace

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES};
  ::InitCommonControlsEx(&controls);
  // The application's icon, as the application object publishes it.
  HICON icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128), IMAGE_ICON, 0, 0, 0));
  qv::get_message_box_hooks().icon = [icon] { return icon; };
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
