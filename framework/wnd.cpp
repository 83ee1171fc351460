#include "framework/wnd.hpp"
#include "framework/win_app.hpp"
#include <vector>

namespace {
std::wstring window_text(HWND hwnd) {
  int n = ::GetWindowTextLengthW(hwnd);
  if (n <= 0) return {};
  std::vector<wchar_t> buf(n + 1);
  int got = ::GetWindowTextW(hwnd, buf.data(), n + 1);
  return std::wstring(buf.data(), got > 0 ? got : 0);
}

HWND non_child_ancestor(HWND hwnd) {
  while (hwnd && (::GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD))
    hwnd = ::GetParent(hwnd);
  return hwnd;
}
}  // namespace

std::wstring CWnd::GetWindowText() const { return window_text(m_hWnd); }

std::wstring CWnd::GetDlgItemText(int id) const { return window_text(::GetDlgItem(m_hWnd, id)); }

HWND CWnd::GetSafeOwner(HWND parent, HWND* top_level_disabled) {
  if (top_level_disabled) *top_level_disabled = nullptr;
  HWND owner = parent;
  if (!owner) {
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd) owner = app->m_pMainWnd->GetSafeHwnd();
  }
  owner = non_child_ancestor(owner);
  if (!owner) return nullptr;
  HWND top = ::GetAncestor(owner, GA_ROOT);
  // The box belongs to whatever popup of that window is active now.
  HWND popup = ::GetLastActivePopup(owner);
  if (popup) owner = popup;

  if (top_level_disabled && top && top != owner && ::IsWindowEnabled(top)) {
    ::EnableWindow(top, FALSE);
    *top_level_disabled = top;
  }
  return owner;
}

CModalScope::CModalScope(HWND reenable, std::function<void(bool)> enable_modeless)
    : m_hWndReenable(reenable), m_enableModeless(std::move(enable_modeless)) {
  try {
    if (m_enableModeless) m_enableModeless(false);
  } catch (...) {
    if (m_hWndReenable) ::EnableWindow(m_hWndReenable, TRUE);
    throw;
  }
}

CModalScope::~CModalScope() {
  if (m_hWndReenable) ::EnableWindow(m_hWndReenable, TRUE);
  if (m_enableModeless) {
    try {
      m_enableModeless(true);
    } catch (...) {
      // A destructor must not throw; the window is enabled again already.
    }
  }
}
