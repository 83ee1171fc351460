// The common-controls check of the support library's start-up. The same
// tests are built twice: with the common-controls 6.0 manifest
// (QV_WITH_COMCTL6_MANIFEST) and without any manifest.
#include "support/app_identity.hpp"
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

#ifdef QV_WITH_COMCTL6_MANIFEST
constexpr bool kManifest = true;
#else
constexpr bool kManifest = false;
#endif

TEST(CommonControls, TheLibraryReportsAVersion) {
  DWORD version = qv::common_controls_dll_version();
  EXPECT_GE(version, 0x50000u);
  EXPECT_LT(version, 0x70000u);
}

TEST(CommonControls, DllVersion6IsEnoughOnItsOwn) {
  DWORD version = qv::common_controls_dll_version();
  if (version < 0x60000)
    GTEST_SKIP() << "the loaded common controls report " << (version >> 16) << "." << (version & 0xFFFF)
                 << " (Wine's side-by-side 6.0 does too); the version branch cannot be seen here";
  EXPECT_TRUE(qv::common_controls_6_available());
}

TEST(CommonControls, ActivationContextShowsTheManifestDependency) {
  EXPECT_EQ(qv::activation_context_has_common_controls_6(), kManifest);
}

TEST(CommonControls, AvailableExactlyWithTheManifest) {
  EXPECT_EQ(qv::common_controls_6_available(), kManifest);
}

TEST(CommonControls, StartupRefusesOlderCommonControls) {
  if (kManifest) {
    EXPECT_NO_THROW(qv::startup());
    EXPECT_FALSE(qv::application_id().empty());
  } else {
    try {
      qv::startup();
      ADD_FAILURE() << "the start-up accepted common controls older than 6.0";
    } catch (const std::logic_error& e) {
      EXPECT_STREQ(e.what(), "logic error");
    }
    EXPECT_TRUE(qv::application_id().empty());
  }
}

}  // namespace
