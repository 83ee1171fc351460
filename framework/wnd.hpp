// A window wrapper, thin over an HWND: the part of the application framework
// that dialogs and message boxes need.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

class CWnd {
public:
  CWnd() = default;
  explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return GetSafeHwnd(); }

  // Attaches a control window, as the data exchange of a control member does.
  void Attach(HWND hwnd) { m_hWnd = hwnd; }
  HWND Detach() { HWND h = m_hWnd; m_hWnd = nullptr; return h; }

  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  std::wstring GetWindowText() const;
  void SetWindowText(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
  std::wstring GetDlgItemText(int id) const;
  void SetDlgItemText(int id, const std::wstring& text) { ::SetDlgItemTextW(m_hWnd, id, text.c_str()); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageW(m_hWnd, msg, wp, lp); }

  // The window that should own a modal box opened on behalf of `parent` (the
  // application's main window when `parent` is null): the last active popup
  // of that window, reduced to its first ancestor that is not a child window.
  // When `top_level_disabled` is given, the owner's top-level ancestor is
  // disabled for the time of the box if it is enabled and is not the owner
  // itself; that window is returned there (null otherwise), so that the
  // caller can enable it again afterwards.
  static HWND GetSafeOwner(HWND parent = nullptr, HWND* top_level_disabled = nullptr);

  HWND m_hWnd = nullptr;
};

// The owner's side of a modal box or dialog, undone on every path: the
// application hears that a modal window starts (enable_modeless(false)) and
// has ended (true), and the top-level window that GetSafeOwner disabled for
// it (`reenable`, may be null) is enabled again.
class CModalScope {
public:
  CModalScope(HWND reenable, std::function<void(bool)> enable_modeless);
  ~CModalScope();
  CModalScope(const CModalScope&) = delete;
  CModalScope& operator=(const CModalScope&) = delete;

private:
  HWND m_hWndReenable;
  std::function<void(bool)> m_enableModeless;
};
