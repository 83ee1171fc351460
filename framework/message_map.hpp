// Message maps: a table per dialog class that routes control notifications
// (WM_COMMAND with a notification code from a control id), WM_NOTIFY
// (NMHDR code from a control id) and plain window messages to member
// functions. A class's OnWndMsg calls DispatchMessageMap with its table
// before handing the message to its base class.
#pragma once
#include <windows.h>
#include <cstddef>

template <class T>
struct message_map_entry {
  enum class kind { command, notify, message };
  kind what;
  UINT msg;   // the message, for kind::message
  UINT code;  // the notification code, for command and notify
  UINT id;    // the control id, for command and notify
  void (T::*on_command)();
  // For notify: (0, the NMHDR pointer); for message: (wParam, lParam).
  // The return value becomes the message's result.
  LRESULT (T::*on_message)(WPARAM, LPARAM);
};

// WM_COMMAND with `code` (BN_CLICKED, CBN_SELCHANGE, ...) from control `id`.
template <class T>
constexpr message_map_entry<T> OnCommandEntry(UINT code, UINT id, void (T::*handler)()) {
  return {message_map_entry<T>::kind::command, WM_COMMAND, code, id, handler, nullptr};
}
// WM_NOTIFY with `code` from control `id`; the handler gets the NMHDR as lParam.
template <class T>
constexpr message_map_entry<T> OnNotifyEntry(UINT code, UINT id, LRESULT (T::*handler)(WPARAM, LPARAM)) {
  return {message_map_entry<T>::kind::notify, WM_NOTIFY, code, id, nullptr, handler};
}
// Any other message. A handler that wants the default processing as well
// is not listed here; it is called from OnWndMsg before the base class.
template <class T>
constexpr message_map_entry<T> OnMessageEntry(UINT msg, LRESULT (T::*handler)(WPARAM, LPARAM)) {
  return {message_map_entry<T>::kind::message, msg, 0, 0, nullptr, handler};
}

// TRUE when an entry of `map` took the message; *result is its value.
template <class T, std::size_t N>
BOOL DispatchMessageMap(T* self, const message_map_entry<T> (&map)[N], UINT msg, WPARAM wp, LPARAM lp,
                        LRESULT* result) {
  using kind = typename message_map_entry<T>::kind;
  for (const message_map_entry<T>& e : map) {
    switch (e.what) {
      case kind::command:
        if (msg == WM_COMMAND && LOWORD(wp) == e.id && HIWORD(wp) == e.code) {
          (self->*e.on_command)();
          *result = 0;
          return TRUE;
        }
        break;
      case kind::notify:
        if (msg == WM_NOTIFY && lp) {
          const NMHDR* header = reinterpret_cast<const NMHDR*>(lp);
          if (header->idFrom == e.id && header->code == e.code) {
            *result = (self->*e.on_message)(0, lp);
            return TRUE;
          }
        }
        break;
      case kind::message:
        if (msg == e.msg) {
          *result = (self->*e.on_message)(wp, lp);
          return TRUE;
        }
        break;
    }
  }
  return FALSE;
}
