#include "framework/win_app.hpp"
#include "framework/wnd.hpp"
#include <vector>

namespace {
CWinApp* g_app = nullptr;

std::wstring executable_base_name() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) break;
    buf.resize(buf.size() * 2);
  }
  std::wstring path(buf.data());
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
  DoEnableModeless(FALSE);
  int result = ::MessageBoxW(owner, text.c_str(), m_strAppName.c_str(), type);
  if (reenable) ::EnableWindow(reenable, TRUE);
  DoEnableModeless(TRUE);
  return result;
}

int CWinApp::Run() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
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
  return ::MessageBoxW(nullptr, text.c_str(), executable_base_name().c_str(), type);
}

int AfxWinMain(HINSTANCE instance) {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = instance;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
