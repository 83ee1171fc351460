#include "framework/win_app.hpp"
#include "framework/exception_barrier.hpp"
#include "framework/wnd.hpp"
#include <vector>

namespace {
CWinApp* g_app = nullptr;

std::wstring executable_base_name() {
  std::wstring path = AfxGetExecutablePath();
  std::wstring::size_type slash = path.find_last_of(L"\\/:");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  std::wstring::size_type dot = name.rfind(L'.');
  if (dot != std::wstring::npos && dot != 0) name.erase(dot);
  return name;
}
}  // namespace

CWinApp::CWinApp(const wchar_t* app_name)
    : m_hInstance(::GetModuleHandleW(nullptr)),
      m_strAppName(app_name ? app_name : executable_base_name()) {
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

BOOL CWinApp::PreTranslateMessage(MSG*) { return FALSE; }

void CWinApp::DoEnableModeless(BOOL enable) {
  m_nModalDepth += enable ? -1 : 1;
  if (m_nModalDepth < 0) m_nModalDepth = 0;
}

int CWinApp::DoMessageBox(const std::wstring& text, UINT type) {
  HWND reenable = nullptr;
  HWND owner = CWnd::GetSafeOwner(nullptr, &reenable);
  return AfxShowMessageBox(owner, reenable, [this](bool enable) { DoEnableModeless(enable ? TRUE : FALSE); }, text,
                           m_strAppName, type);
}

int CWinApp::Run() {
  MSG msg{};
  while (!AfxIsEnding() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  ExitInstance();
  return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp() { return g_app; }

std::wstring AfxGetAppName() { return g_app ? g_app->GetAppName() : executable_base_name(); }

int AfxMessageBox(const std::wstring& text, UINT type) {
  if (g_app) return g_app->DoMessageBox(text, type);
  return AfxShowMessageBox(nullptr, nullptr, nullptr, text, executable_base_name(), type);
}

int AfxShowMessageBox(HWND owner, HWND reenable, const std::function<void(bool)>& enable_modeless,
                      const std::wstring& text, const std::wstring& caption, UINT type) {
  CModalScope modal(reenable, enable_modeless);
  // Focus must be able to return to the owner when the box closes.
  if (owner && owner != reenable) ::EnableWindow(owner, TRUE);
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

std::wstring AfxGetExecutablePath() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return std::wstring(buf.data(), n);
    // Long paths reach 32,767 characters at the most.
    if (buf.size() >= 32768) return {};
    buf.resize(buf.size() * 2);
  }
}

int AfxWinMain(HINSTANCE instance) {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = instance;
  int code = AfxCallGuarded(
      [app] {
        if (!app->InitInstance()) return app->ExitInstance();
        return app->Run();
      },
      kExitCodeUncaught);
  return AfxIsEnding() ? kExitCodeUncaught : code;
}
