// Driving the real wizard frame of this process from the test thread while
// its own thread runs it modally: clicks by control id, texts, enabled
// states, the default button, message boxes, and screenshots of a window.
#pragma once
#include "tests/common/box_driver.hpp"
#include <windows.h>
#include <string>
#include <vector>

namespace qvtest {

inline bool enabled(HWND parent, int id) { return ::IsWindowEnabled(::GetDlgItem(parent, id)) != FALSE; }
inline std::wstring item_text(HWND parent, int id) { return window_text(::GetDlgItem(parent, id)); }
// A click that may open a modal box: posted, so that the test thread is free to answer it.
inline void post_click(HWND parent, int id) {
  ::PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(parent, id)));
}
// A click that returns once it has been handled.
inline void click(HWND parent, int id) {
  ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(parent, id)));
}
inline int default_id(HWND dialog) {
  LRESULT r = ::SendMessageW(dialog, DM_GETDEFID, 0, 0);
  return HIWORD(r) == DC_HASDEFID ? LOWORD(r) : 0;
}

// A box (or dialog) of this process other than `except`, owned by `owner`
// when given; waits up to `timeout_ms`.
inline HWND wait_for_owned_dialog(HWND owner, HWND except, DWORD timeout_ms = 10000) {
  DWORD start = ::GetTickCount();
  do {
    for (HWND h : dialog_boxes(::GetCurrentProcessId()))
      if (h != except && (!owner || ::GetWindow(h, GW_OWNER) == owner)) return h;
    ::Sleep(30);
  } while (::GetTickCount() - start < timeout_ms);
  return nullptr;
}

// Waits until the window is gone or hidden.
inline bool wait_gone(HWND window, DWORD timeout_ms = 10000) {
  DWORD start = ::GetTickCount();
  while (::IsWindow(window) && ::IsWindowVisible(window)) {
    if (::GetTickCount() - start > timeout_ms) return false;
    ::Sleep(30);
  }
  return true;
}

// The controls of `dialog` whose text does not fit them, as "id: text":
// static texts (wrapped when they have room for more than one line), check
// boxes, radio buttons, push buttons and group boxes, measured with the
// control's own font.
std::vector<std::wstring> clipped_texts(HWND dialog);

// The window as it is on the screen, written as a 24-bit BMP file.
bool save_window_bitmap(HWND window, const std::wstring& path);

}  // namespace qvtest
