// The application object: the installation settings that the wizard fills
// and the installation run reads, the single-instance lock, and the checks
// that run before the wizard opens.
#pragma once
#include "framework/win_app.hpp"
#include "engine/install_settings.hpp"
#include "support/handle.hpp"
#include <cstdint>
#include <functional>
#include <string>

class CInstallApp : public CWinApp, public install_settings {
public:
  CInstallApp();
  ~CInstallApp() override;

  BOOL InitInstance() override;
  int DoMessageBox(const std::wstring& text, UINT type) override;

  // m_nEarlierState; the earlier version text too for states 2 and -1.
  int GetEarlierState(std::wstring* version = nullptr) const;

  // The application's main icon (icon resource 128 at its own size).
  qv::unique_icon m_hIcon;
  // Shows the wizard modally (InitInstance's last step); the program's
  // entry point puts it here. Empty: InitInstance ends after the checks.
  std::function<void(CInstallApp&)> m_runWizard;

private:
  // Each returns false when InitInstance must end there.
  bool CheckSingleInstance();
  bool CheckAdministrator();
  bool CheckProductNotRunning();
  void ClassifyEarlierInstallation();
  bool ReadEarlierFolders();
  void SetDefaultFolders();
};

CInstallApp& GetInstallApp();

// The exit code of a start-up that cannot go on: the support library's
// start-up or the application object's construction failed.
constexpr unsigned kExitCodeStartup = 2;
// Inside a catch block during start-up, before any window exists: shows
// what is being handled (the system's text of a system_error's code or of a
// thrown HRESULT, the text of another std::exception, E_UNEXPECTED's text
// otherwise) in an ownerless error box and ends the process with
// kExitCodeStartup.
[[noreturn]] void StopAtStartup() noexcept;


// The administrator step of InitInstance: true for an administrator;
// otherwise message 1126 in an exclamation box, then false.
bool ConfirmAdministrator(bool is_administrator);

// The earlier installation as the installed program's file tells it.
struct EarlierInstallation {
  std::int32_t state = EarlierState::None;
  std::wstring versionText;   // states 2 and -1 only
  std::uint64_t version = 0;  // state 2 only
};
// `programPath` is the installed program's path (empty: nothing installed).
// A program without fixed version data counts as the same version.
EarlierInstallation ClassifyEarlierInstallation(const std::wstring& programPath);

// For states 1 and 2: the log that `findLog` names (when it names one) is
// read into `record` and its folders are copied out; both folders are left
// empty otherwise. For every other state the record only gets ReadLog
// without a path and `findLog` is not called. Registry errors of `findLog`
// pass through.
void ReadEarlierFolders(std::int32_t state, CInstallRecord& record, const std::function<std::wstring()>& findLog,
                        std::wstring& installFolder, std::wstring& menuFolder);
// Where this product puts things, for believing an earlier log: the folder
// of the installed program `productPath` (none when empty) and the
// product's common-data folder, the Start-menu program folders and the
// desktop folders of all users and of the user.
ProductPlaces EarlierProductPlaces(const std::wstring& productPath);
// An empty folder gets its default.
void FillDefaultFolders(std::wstring& installFolder, std::wstring& menuFolder);

// The default folders: Program Files (or the common Programs folder of the
// Start menu, falling back to the user's) + "Quorvane Systems" + "Tavimora 2".
std::wstring DefaultInstallFolder();
std::wstring DefaultMenuFolder();
// `base` + maker + product, joined with the shell's path-append rules in a
// MAX_PATH buffer; empty when it does not fit.
std::wstring AppendProductFolders(const std::wstring& base);
