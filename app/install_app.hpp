// The application object: the installation settings that the wizard fills
// and the installation run reads, the single-instance lock, and the checks
// that run before the wizard opens.
#pragma once
#include "framework/win_app.hpp"
#include "support/app_identity.hpp"
#include <cstdint>
#include <string>

enum EarlierState : std::int32_t {
  None = 0,
  SameVersion = 1,
  OlderVersion = 2,
  NewerVersion = -1,
};

class CInstallApp : public CWinApp {
public:
  CInstallApp();
  ~CInstallApp() override;

  BOOL InitInstance() override;
  int DoMessageBox(const std::wstring& text, UINT type) override;

  // m_nEarlierState; the earlier version text too for states 2 and -1.
  int GetEarlierState(std::wstring* version = nullptr) const;

  std::int32_t m_nEarlierState = EarlierState::None;
  std::wstring m_strEarlierVersion;
  qv::named_mutex m_instanceLock;
  std::wstring m_strInstallFolder;
  std::wstring m_strMenuFolder;
  std::wstring m_strTempFolder;
  bool m_bMenuShortcut = false;
  bool m_bDesktopShortcut = false;
  bool m_bAdvanced = false;
  bool m_bInstalled = false;
  std::uint64_t m_nEarlierVersion = 0;

  HICON m_hIcon = nullptr;

private:
  // Each returns false when InitInstance must end there.
  bool CheckSingleInstance();
  bool CheckAdministrator();
  bool CheckProductNotRunning();
  void SetDefaultFolders();
};

CInstallApp& GetInstallApp();

// The default folders: Program Files (or the common Programs folder of the
// Start menu, falling back to the user's) + "Quorvane Systems" + "Tavimora 2".
std::wstring DefaultInstallFolder();
std::wstring DefaultMenuFolder();
// `base` + maker + product, joined with the shell's path-append rules in a
// MAX_PATH buffer; empty when it does not fit.
std::wstring AppendProductFolders(const std::wstring& base);
