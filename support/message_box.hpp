// The support library's message boxes: they behave like the framework's own
// (owner window, caption, default icon, reading order) and learn about the
// application through one process-wide record of hooks.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <utility>

namespace qv {

struct message_box_hooks {
  // Caption of every box.
  std::function<std::wstring()> title;
  // The application's main icon (the wizard's window icon, too).
  std::function<HICON()> icon;
  // (owner of the box, top-level window disabled for it or null).
  std::function<std::pair<HWND, HWND>()> owner;
  // false when a modal box starts, true when it has ended.
  std::function<void(bool)> enable_modeless;
};

// Created on first use (thread-safe), destroyed at process exit.
message_box_hooks& get_message_box_hooks();

// Installs the defaults (the framework application's name, safe owner and
// modeless switch). Runs once per process during static initialisation; it
// makes sure the support library's start-up has run first.
void install_default_message_box_hooks();

// The box type as shown: with no icon bit, MB_OK and MB_OKCANCEL get the
// exclamation icon, MB_YESNOCANCEL and MB_YESNO the question icon, other
// button sets none; MB_RTLREADING is added for a right-to-left reading order.
UINT complete_box_type(UINT type, bool right_to_left);

// Shows `text` with the hooks' caption and owner; returns MessageBoxW's answer.
int message_box(const std::wstring& text, UINT type);

// The system's text for `code` in an exclamation box with an OK button.
void show_error(unsigned long code);

}  // namespace qv
