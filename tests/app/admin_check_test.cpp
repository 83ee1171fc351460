// The administrator step as the user sees it. Wine always runs programs as
// an elevated administrator, so the refusal cannot be reached through
// qv::is_administrator here; the step's own function is driven instead,
// with the real catalogue and the real message-box service.
#include "app/install_app.hpp"
#include "app/language.hpp"
#include "support/message_box.hpp"
#include "tests/common/box_driver.hpp"
#include <gtest/gtest.h>
#include <thread>

namespace {

struct seen_box {
  bool appeared = false;
  std::wstring caption, text;
  bool icon = false, ok_button = false, cancel_button = false;
};

// Waits for this process's next box, records it and presses OK.
void answer_box_of_this_process(seen_box* seen) {
  HWND box = qvtest::wait_for_box(::GetCurrentProcessId(), 20000);
  if (!box) return;
  seen->appeared = true;
  seen->caption = qvtest::window_text(box);
  seen->text = qvtest::box_text(box);
  seen->icon = qvtest::box_shows_icon(box);
  seen->ok_button = qvtest::box_has_button(box, IDOK);
  seen->cancel_button = qvtest::box_has_button(box, IDCANCEL);
  qvtest::answer_box(box, IDOK);
}

CInstallApp& application() {
  static const bool hooks = (qv::install_default_message_box_hooks(), true);
  (void)hooks;
  static CInstallApp app;
  return app;
}

struct language_case {
  int language;
  const wchar_t* text;  // the exact text, where it is given; else the catalogue's
};

class AdministratorRefusal : public ::testing::TestWithParam<language_case> {};

TEST_P(AdministratorRefusal, ShowsMessage1126WithTheInstallerTitle) {
  CInstallApp& app = application();
  qv::set_language(GetParam().language);
  app.SetAppName(GetInstallerTitle(true));

  seen_box seen;
  std::thread watcher(answer_box_of_this_process, &seen);
  bool go_on = ConfirmAdministrator(false);
  watcher.join();

  EXPECT_FALSE(go_on);
  ASSERT_TRUE(seen.appeared);
  EXPECT_EQ(seen.text, GetParam().text ? std::wstring(GetParam().text) : LoadMessage(1126));
  EXPECT_NE(seen.text, L"#");
  EXPECT_EQ(seen.caption, GetInstallerTitle(true));
  EXPECT_TRUE(seen.icon) << "the exclamation icon";
  EXPECT_TRUE(seen.ok_button);
  EXPECT_FALSE(seen.cancel_button);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, AdministratorRefusal,
    ::testing::Values(
        language_case{1, L"You should have Administrator Rights in order to proceed to Installation."},
        language_case{0, L"Vous devez disposer de privil\u00e8ges d'administrateur sur cet ordinateur pour pouvoir "
                         L"effectuer l'installation."},
        language_case{2, nullptr}, language_case{9, nullptr}));

TEST(AdministratorCheck, AnAdministratorGoesOnWithoutABox) {
  application();
  EXPECT_TRUE(ConfirmAdministrator(true));
  EXPECT_TRUE(qvtest::dialog_boxes(::GetCurrentProcessId()).empty());
}

}  // namespace
