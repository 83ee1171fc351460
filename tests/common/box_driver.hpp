// Finding and answering message boxes (#32770 top-level windows) of this or
// another process, as a user would: read the caption and the text (control
// 0xFFFF), look for a visible icon, press a button.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace qvtest {

inline std::wstring window_text(HWND window) {
  wchar_t buffer[4096] = {};
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                             &length))
    return {};
  return std::wstring(buffer, static_cast<std::size_t>(length));
}

inline std::wstring class_name(HWND window) {
  wchar_t buffer[256] = {};
  int n = ::GetClassNameW(window, buffer, 256);
  return std::wstring(buffer, n > 0 ? n : 0);
}

struct box_search {
  DWORD pid;
  std::vector<HWND> found;
};

inline BOOL CALLBACK collect_box(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<box_search*>(param);
  DWORD owner_pid = 0;
  ::GetWindowThreadProcessId(window, &owner_pid);
  if ((s->pid == 0 || owner_pid == s->pid) && ::IsWindowVisible(window) && class_name(window) == L"#32770")
    s->found.push_back(window);
  return TRUE;
}

// Visible top-level dialog windows of process `pid` (0: any process).
inline std::vector<HWND> dialog_boxes(DWORD pid) {
  box_search s{pid, {}};
  ::EnumWindows(collect_box, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The first box of `pid` that appears within `timeout_ms`; null otherwise.
// `stop`, when given, ends the wait early once it is signalled (the process
// ended, for example).
inline HWND wait_for_box(DWORD pid, DWORD timeout_ms, HANDLE stop = nullptr) {
  DWORD start = ::GetTickCount();
  for (;;) {
    std::vector<HWND> boxes = dialog_boxes(pid);
    if (!boxes.empty()) return boxes.front();
    if (::GetTickCount() - start > timeout_ms) return nullptr;
    if (stop && ::WaitForSingleObject(stop, 50) == WAIT_OBJECT_0) return nullptr;
    if (!stop) ::Sleep(50);
  }
}

// The text of a message box: its static control 0xFFFF.
inline std::wstring box_text(HWND box) { return window_text(::GetDlgItem(box, 0xFFFF)); }

inline BOOL CALLBACK find_icon(HWND child, LPARAM param) {
  LONG style = ::GetWindowLongW(child, GWL_STYLE);
  if (class_name(child) != L"Static" || (style & SS_TYPEMASK) != SS_ICON || !::IsWindowVisible(child)) return TRUE;
  DWORD_PTR icon = 0;
  if (::SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon) && icon) {
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
  }
  return TRUE;
}

// True when the box shows an icon: a static control of the box holds one.
inline bool box_shows_icon(HWND box) {
  bool found = false;
  ::EnumChildWindows(box, find_icon, reinterpret_cast<LPARAM>(&found));
  return found;
}

inline bool box_has_button(HWND box, int id) {
  HWND button = ::GetDlgItem(box, id);
  return button && ::IsWindowVisible(button);
}

inline void answer_box(HWND box, int id) { ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

}  // namespace qvtest
