// Thin wrappers of the common controls the installer's dialogs bind through
// data exchange (DDX_Control), an owning image list, the system menu and a
// wait cursor.
#pragma once
#include "framework/wnd.hpp"
#include <commctrl.h>
#include <string>

// Owns an image list and destroys it.
class CImageList {
public:
  CImageList() = default;
  ~CImageList() { DeleteImageList(); }
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;

  BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
  // Adds the icon (the list keeps its own copy); the image's index or -1.
  int Add(HICON icon) { return m_hImageList ? ::ImageList_AddIcon(m_hImageList, icon) : -1; }
  int GetImageCount() const { return m_hImageList ? ::ImageList_GetImageCount(m_hImageList) : 0; }
  void DeleteImageList();
  HIMAGELIST GetSafeHandle() const { return m_hImageList; }

  HIMAGELIST m_hImageList = nullptr;
};

// A combo box with images (ComboBoxEx32).
class CComboBoxEx : public CWnd {
public:
  int InsertItem(const COMBOBOXEXITEMW& item) {
    return static_cast<int>(SendMessage(CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  }
  void SetImageList(const CImageList& list) {
    SendMessage(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list.GetSafeHandle()));
  }
  int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
  int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
  int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
  LPARAM GetItemData(int index) const { return static_cast<LPARAM>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index))); }
  // The combo box inside, which draws the drop-down list.
  HWND GetComboBoxCtrl() const { return reinterpret_cast<HWND>(SendMessage(CBEM_GETCOMBOCONTROL)); }
  int SetDroppedWidth(int width);
  void ResetContent() { SendMessage(CB_RESETCONTENT); }
};

class CEdit : public CWnd {
public:
  void SetSel(int start, int end) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end)); }
  void ReplaceSel(const std::wstring& text) { SendMessage(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str())); }
  void LineScroll(int lines) { SendMessage(EM_LINESCROLL, 0, static_cast<LPARAM>(lines)); }
  int GetFirstVisibleLine() const { return static_cast<int>(SendMessage(EM_GETFIRSTVISIBLELINE)); }
  int GetLineCount() const { return static_cast<int>(SendMessage(EM_GETLINECOUNT)); }
  void SetReadOnly(BOOL read_only) { SendMessage(EM_SETREADONLY, read_only); }
  // Left and right margins in pixels.
  void GetMargins(int& left, int& right) const;
};

class CProgressCtrl : public CWnd {
public:
  void SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
  int SetPos(int pos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
  int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

// The window's system menu (not owned: the window destroys it).
class CSystemMenu {
public:
  explicit CSystemMenu(HWND window) : m_hMenu(::GetSystemMenu(window, FALSE)) {}
  HMENU GetSafeHmenu() const { return m_hMenu; }
  BOOL AppendSeparator() { return m_hMenu && ::AppendMenuW(m_hMenu, MF_SEPARATOR, 0, nullptr); }
  BOOL AppendString(UINT command, const std::wstring& text) {
    return m_hMenu && ::AppendMenuW(m_hMenu, MF_STRING, command, text.c_str());
  }
  BOOL SetString(UINT command, const std::wstring& text) {
    return m_hMenu && ::ModifyMenuW(m_hMenu, command, MF_BYCOMMAND | MF_STRING, command, text.c_str());
  }
  BOOL Delete(UINT command) { return m_hMenu && ::DeleteMenu(m_hMenu, command, MF_BYCOMMAND); }
  void Enable(UINT command, bool enabled) {
    if (m_hMenu) ::EnableMenuItem(m_hMenu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  }
  // The item's text, empty when there is none.
  std::wstring GetString(UINT command) const;

private:
  HMENU m_hMenu;
};

// Shows the wait cursor for the holder's lifetime and restores the cursor
// it replaced.
class CWaitCursor {
public:
  CWaitCursor() : m_hPrevious(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~CWaitCursor() { ::SetCursor(m_hPrevious); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
  HCURSOR m_hPrevious;
};

// Moves the child window by (dx, dy) and changes its size by (dw, dh), in
// its parent's client coordinates, without redrawing.
void OffsetChildWindow(HWND child, int dx, int dy, int dw, int dh);
// The child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
