// The installation settings: what the checks before the wizard settle, what
// the wizard's pages fill in and what the installation run reads and leaves.
// The application object holds them (it derives from this type), so the run
// in this folder reads them without knowing the application object.
#pragma once
#include "record/install_record.hpp"
#include "support/app_identity.hpp"
#include <cstdint>
#include <string>

// The earlier installation, as the installed program's version tells it.
enum EarlierState : std::int32_t {
  None = 0,
  SameVersion = 1,
  OlderVersion = 2,
  NewerVersion = -1,
};

struct install_settings {
  // `instanceLockName` names the single-instance mutex (global, not owned).
  explicit install_settings(const std::wstring& instanceLockName) : m_instanceLock(instanceLockName, false, true) {}
  install_settings(const install_settings&) = delete;
  install_settings& operator=(const install_settings&) = delete;

  std::int32_t m_nEarlierState = EarlierState::None;
  std::wstring m_strEarlierVersion;  // states 2 and -1 only
  qv::named_mutex m_instanceLock;
  std::wstring m_strInstallFolder;
  std::wstring m_strMenuFolder;
  std::wstring m_strTempFolder;  // set by the installation run
  bool m_bMenuShortcut = false;
  bool m_bDesktopShortcut = false;
  bool m_bAdvanced = false;
  CInstallRecord m_record;
  bool m_bInstalled = false;
  std::uint64_t m_nEarlierVersion = 0;  // state 2 only
};
