#include "app/install_app.hpp"
#include "app/language.hpp"
#include "support/product_identity.hpp"
#include "app/startup_trace.hpp"
#include "record/earlier_install.hpp"
#include "support/errors.hpp"
#include "support/message_box.hpp"
#include "support/security.hpp"
#include "resources/resource_ids.h"
#include "support/version_info.hpp"
#include <exception>
#include <string>
#include <system_error>
#include <shlobj.h>
#include <shlwapi.h>

namespace {
CInstallApp* g_install_app = nullptr;

std::wstring special_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  // The folder is never created here when it is missing.
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}
}  // namespace

[[noreturn]] void StopAtStartup() noexcept {
  std::wstring text;
  try {
    throw;
  } catch (const std::system_error& e) {
    text = qv::system_message(static_cast<std::uint32_t>(e.code().value()));
  } catch (const std::exception& e) {
    std::string what = e.what();
    text.assign(what.begin(), what.end());
  } catch (long hr) {
    text = qv::system_message(static_cast<std::uint32_t>(hr));
  } catch (...) {
    text = qv::system_message(static_cast<std::uint32_t>(qv::kE_UNEXPECTED));
  }
  ::MessageBoxW(nullptr, text.c_str(), nullptr, MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
  ::ExitProcess(kExitCodeStartup);
}

// Runs during static initialisation, where nothing could catch what the
// single-instance lock's creation throws (its security data cannot be
// built): that ends the process like a failed start-up of the support library.
CInstallApp::CInstallApp() try : CWinApp(nullptr), install_settings(qv::application_id() + qv::kInstanceLockSuffix) {
  SetProductId(kProductId);
  m_hIcon.reset(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP),
                                                IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)));
  // The hook asks the application object, so that it never hands out the
  // icon after the object (and with it the icon) is gone.
  qv::get_message_box_hooks().icon = [this] { return m_hIcon.get(); };
  g_install_app = this;
  TraceStartup(L"application");
} catch (...) {
  StopAtStartup();
}

CInstallApp::~CInstallApp() {
  if (g_install_app == this) g_install_app = nullptr;
  qv::get_message_box_hooks().icon = nullptr;
}

CInstallApp& GetInstallApp() { return *g_install_app; }


int CInstallApp::GetEarlierState(std::wstring* version) const {
  if (version && (m_nEarlierState == EarlierState::OlderVersion || m_nEarlierState == EarlierState::NewerVersion))
    *version = m_strEarlierVersion;
  return m_nEarlierState;
}

int CInstallApp::DoMessageBox(const std::wstring& text, UINT type) { return qv::message_box(text, type); }

bool CInstallApp::CheckSingleInstance() {
  if (m_instanceLock.try_lock()) return true;
  qv::show_error(ERROR_BUSY);
  return false;
}

bool ConfirmAdministrator(bool is_administrator) {
  if (is_administrator) return true;
  AfxMessageBox(LoadMessage(1126), MB_ICONEXCLAMATION);
  return false;
}

bool CInstallApp::CheckAdministrator() { return ConfirmAdministrator(qv::is_administrator()); }

bool CInstallApp::CheckProductNotRunning() {
  while (qv::running_instances().count() > 1) {
    TraceStartup(L"product running");
    if (AfxMessageBox(FormatMessageText(1127, GetProductLabel(true)), MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
      return false;
  }
  return true;
}

std::wstring AppendProductFolders(const std::wstring& base) {
  if (base.empty() || base.size() >= MAX_PATH) return {};
  wchar_t path[MAX_PATH] = {};
  base.copy(path, base.size());
  if (!::PathAppendW(path, kMakerName) || !::PathAppendW(path, GetProductName(kProductId).c_str())) return {};
  return path;
}

std::wstring DefaultInstallFolder() { return AppendProductFolders(special_folder(CSIDL_PROGRAM_FILES)); }

std::wstring DefaultMenuFolder() {
  std::wstring programs = special_folder(CSIDL_COMMON_PROGRAMS);
  if (programs.empty()) programs = special_folder(CSIDL_PROGRAMS);
  return AppendProductFolders(programs);
}

ProductPlaces EarlierProductPlaces(const std::wstring& productPath) {
  ProductPlaces places;
  if (!productPath.empty()) {
    std::wstring::size_type slash = productPath.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2) places.productFolders.push_back(productPath.substr(0, slash));
  }
  std::wstring common_data = special_folder(CSIDL_COMMON_APPDATA);
  if (common_data.empty()) common_data = special_folder(CSIDL_APPDATA);
  std::wstring product_data = AppendProductFolders(common_data);
  if (!common_data.empty() && !product_data.empty()) places.productFolders.push_back(product_data);
  for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY}) {
    std::wstring folder = special_folder(csidl);
    if (!folder.empty()) places.shellFolders.push_back(folder);
  }
  return places;
}

void FillDefaultFolders(std::wstring& installFolder, std::wstring& menuFolder) {
  if (installFolder.empty()) installFolder = DefaultInstallFolder();
  if (menuFolder.empty()) menuFolder = DefaultMenuFolder();
}

void CInstallApp::SetDefaultFolders() { FillDefaultFolders(m_strInstallFolder, m_strMenuFolder); }

EarlierInstallation ClassifyEarlierInstallation(const std::wstring& programPath) {
  EarlierInstallation earlier;
  if (programPath.empty()) return earlier;
  qv::version_info info(programPath);
  if (!info.has_fixed_data()) {
    earlier.state = EarlierState::SameVersion;
    return earlier;
  }
  const std::uint64_t version = info.file_version();
  if (version > kProductVersion) {
    earlier.state = EarlierState::NewerVersion;
    earlier.versionText = info.display_text();
  } else if (version == kProductVersion) {
    earlier.state = EarlierState::SameVersion;
  } else {
    earlier.state = EarlierState::OlderVersion;
    earlier.versionText = info.display_text();
    earlier.version = version;
  }
  return earlier;
}

void CInstallApp::ClassifyEarlierInstallation() {
  EarlierInstallation earlier = ::ClassifyEarlierInstallation(GetProductPath());
  m_nEarlierState = earlier.state;
  m_strEarlierVersion = std::move(earlier.versionText);
  m_nEarlierVersion = earlier.version;
}

void ReadEarlierFolders(std::int32_t state, CInstallRecord& record, const std::function<std::wstring()>& findLog,
                        std::wstring& installFolder, std::wstring& menuFolder) {
  installFolder.clear();
  menuFolder.clear();
  if (state != EarlierState::SameVersion && state != EarlierState::OlderVersion) {
    record.ReadLog(nullptr);
    return;
  }
  const std::wstring log = findLog();
  if (log.empty()) return;
  record.ReadLog(log.c_str());
  installFolder = record.earlierInstallFolder;
  menuFolder = record.earlierShortcutFolder;
}

bool CInstallApp::ReadEarlierFolders() {
  try {
    m_record.productPlaces = EarlierProductPlaces(GetProductPath());
    ::ReadEarlierFolders(m_nEarlierState, m_record, [] { return FindEarlierLog(); }, m_strInstallFolder,
                         m_strMenuFolder);
    return true;
  } catch (const std::system_error& e) {
    // The uninstall key could not be read for another reason than its
    // absence: say so in the system's words and go no further.
    TraceStartup(L"earlier log");
    qv::show_error(static_cast<std::uint32_t>(e.code().value()));
    return false;
  }
}

BOOL CInstallApp::InitInstance() {
  TraceStartup(L"InitInstance");
  if (!CheckSingleInstance()) return FALSE;
  CWinApp::InitInstance();
  SetInitialLanguage();
  SetAppName(GetInstallerTitle(true));
  if (!CheckAdministrator()) return FALSE;
  if (!CheckProductNotRunning()) return FALSE;
  ClassifyEarlierInstallation();
  if (!ReadEarlierFolders()) return FALSE;
  SetDefaultFolders();
  m_bMenuShortcut = true;
  m_bDesktopShortcut = true;
  m_bAdvanced = false;
  TraceStartup(L"checks passed");
  if (m_runWizard) {
    TraceStartup(L"wizard");
    m_runWizard(*this);
  }
  return FALSE;
}
