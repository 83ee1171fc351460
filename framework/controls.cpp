#include "framework/controls.hpp"
#include <vector>

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
  DeleteImageList();
  m_hImageList = ::ImageList_Create(cx, cy, flags, initial, grow);
  return m_hImageList != nullptr;
}

void CImageList::DeleteImageList() {
  if (m_hImageList) ::ImageList_Destroy(m_hImageList);
  m_hImageList = nullptr;
}

int CComboBoxEx::SetDroppedWidth(int width) {
  HWND combo = GetComboBoxCtrl();
  return static_cast<int>(::SendMessageW(combo ? combo : m_hWnd, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0));
}

void CEdit::GetMargins(int& left, int& right) const {
  DWORD margins = static_cast<DWORD>(SendMessage(EM_GETMARGINS));
  left = LOWORD(margins);
  right = HIWORD(margins);
}

std::wstring CSystemMenu::GetString(UINT command) const {
  if (!m_hMenu) return {};
  int n = ::GetMenuStringW(m_hMenu, command, nullptr, 0, MF_BYCOMMAND);
  if (n <= 0) return {};
  std::vector<wchar_t> buf(static_cast<std::size_t>(n) + 1);
  n = ::GetMenuStringW(m_hMenu, command, buf.data(), n + 1, MF_BYCOMMAND);
  return std::wstring(buf.data(), n > 0 ? n : 0);
}

RECT ChildRect(HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void OffsetChildWindow(HWND child, int dx, int dy, int dw, int dh) {
  if (!child) return;
  RECT r = ChildRect(child);
  ::SetWindowPos(child, nullptr, r.left + dx, r.top + dy, r.right - r.left + dw, r.bottom - r.top + dh,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}
