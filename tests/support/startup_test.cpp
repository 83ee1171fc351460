// The process start-up of setup.exe as it really runs: this program links
// app/startup.cpp with its static objects (processor check, process locale,
// support library start-up, default hooks, the application object) and
// looks at what they left behind when main runs.
#include "app/install_app.hpp"
#include "support/product_identity.hpp"
#include "app/startup_trace.hpp"
#include "support/process_locale.hpp"
#include "support/app_identity.hpp"
#include "support/message_box.hpp"
#include "tests/support/holder_client.hpp"
#include <gtest/gtest.h>
#include <locale>

namespace {

TEST(Startup, StaticObjectsRanInTheirFixedOrder) {
  const std::vector<std::wstring> expected = {L"processor", L"locale", L"support", L"hooks", L"application"};
  EXPECT_EQ(StartupTrace(), expected);
}

TEST(Startup, TheProcessLocaleIsInstalled) {
  const auto& ctype = std::use_facet<std::ctype<wchar_t>>(std::locale());
  EXPECT_NE(dynamic_cast<const qv::windows_ctype*>(&ctype), nullptr);
  EXPECT_FALSE(std::locale() == std::locale::classic());
}

TEST(Startup, TheSupportLibraryStartedWithTheProductsIdentifier) {
  EXPECT_EQ(qv::application_id(), L"Tavimora2");
  EXPECT_EQ(qv::running_instances().held(), 1);
  EXPECT_EQ(qv::running_instances().count(), 1u);
}

TEST(Startup, TheHooksHaveTheirDefaultsAndTheApplicationsIcon) {
  qv::message_box_hooks& hooks = qv::get_message_box_hooks();
  ASSERT_TRUE(hooks.title && hooks.owner && hooks.enable_modeless && hooks.icon);
  // Before InitInstance the title is the executable's name without extension.
  EXPECT_EQ(hooks.title(), L"app_startup_test");
  EXPECT_NE(hooks.icon(), nullptr);
  EXPECT_EQ(hooks.icon(), GetInstallApp().m_hIcon.get());
  // No window exists: no owner and nothing to re-enable.
  EXPECT_EQ(hooks.owner(), std::make_pair(HWND(nullptr), HWND(nullptr)));
}

TEST(Startup, TheApplicationObjectHoldsEmptySettingsAndAnUnownedLock) {
  CInstallApp& app = GetInstallApp();
  EXPECT_EQ(AfxGetApp(), &app);
  EXPECT_EQ(GetProductId(), 258u);
  EXPECT_EQ(app.m_nEarlierState, 0);
  EXPECT_TRUE(app.m_strEarlierVersion.empty());
  EXPECT_TRUE(app.m_strInstallFolder.empty());
  EXPECT_TRUE(app.m_strMenuFolder.empty());
  EXPECT_TRUE(app.m_strTempFolder.empty());
  EXPECT_FALSE(app.m_bMenuShortcut);
  EXPECT_FALSE(app.m_bDesktopShortcut);
  EXPECT_FALSE(app.m_bAdvanced);
  EXPECT_FALSE(app.m_bInstalled);
  EXPECT_EQ(app.m_nEarlierVersion, 0u);
  std::wstring version = L"untouched";
  EXPECT_EQ(app.GetEarlierState(&version), 0);
  EXPECT_EQ(version, L"untouched");

  // The lock was named with the identifier, so the start-up ran before it.
  ASSERT_NE(app.m_instanceLock.handle(), nullptr);
  EXPECT_FALSE(app.m_instanceLock.owned());
  EXPECT_EQ(qvtest::probe_mutex(qvtest::kInstallerMutexName), 0);
}

}  // namespace
