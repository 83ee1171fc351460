// Shell shortcuts of the installation: the program and the uninstaller in
// the chosen Start-menu folder, the program on the desktop.
#pragma once
#include "engine/install_settings.hpp"
#include <windows.h>
#include <string>

// Writes (or replaces) the shortcut "<folder>\<name>.lnk" to `target`, with
// the target's folder as working folder and nothing else set. Without a name
// (null) the shortcut is named after the target's file name without its
// extension. COM is initialised for this call only. True, with the file's
// path in `shortcut_path`, when the shortcut was saved.
bool create_shortcut(const std::wstring& target, const std::wstring& folder, const wchar_t* name,
                     std::wstring& shortcut_path);

// The folder of the desktop shortcut: the all-users desktop, else the
// user's own; empty when neither can be had.
std::wstring desktop_folder(HWND owner);

// What the shortcut step needs to know besides the settings.
struct shortcut_names {
  std::wstring program;      // the program's shortcut name ("Tavimora 2.31t")
  std::wstring uninstaller;  // the uninstaller's, in the installation language
};

// The shortcuts the settings ask for, in their order: the program's and the
// uninstaller's in m_strMenuFolder when m_bMenuShortcut is set, then the
// program's on the desktop when m_bDesktopShortcut is set; each begun and
// committed in the record. True when every one of them was made.
bool create_product_shortcuts(install_settings& settings, const shortcut_names& names,
                              const std::wstring& program_path, const std::wstring& uninstaller_path, HWND owner);
