// The wizard's rules as pure functions: which page a move lands on, which
// buttons are enabled and what they say on each page, and when Exit asks.
// The frame (install_dlg.cpp) applies them to its windows.
#pragma once
#include <cstdint>
#include <string>

constexpr int kPageCount = 6;
enum WizardPage : int { kStartPage = 0, kModePage = 1, kPathPage = 2, kShortcutPage = 3, kInstallPage = 4, kEndPage = 5 };

// The page that a move from `current` to `target` shows: the quick method
// skips the folder and shortcut pages in the direction of the move.
int ResolvePage(int current, int target, bool advanced);

struct wizard_buttons {
  bool backEnabled;
  bool nextEnabled;
  int defaultId;         // IDOK (Next) or IDCANCEL (Exit)
  unsigned nextMessage;  // 1007 "Install" or 1006 "Next"
  unsigned exitMessage;  // 1004 "Exit" or 1002 "Cancel"
};
// The buttons on page `current`. With a newer version installed nothing can
// be installed, so Next stays disabled and Exit is the default button.
wizard_buttons ButtonsFor(int current, bool installed, std::int32_t earlierState);

// Whether Exit asks message 1110 first.
bool ExitAsks(int current, bool installed, std::int32_t earlierState);

// Next (OK): true when it runs the installation, false when it moves on.
bool NextRunsInstallation(int current, bool installed);

// The About item of the system menu from message 1003 already formatted:
// "&" in front and "..." behind left to right; "..." in front right to left.
std::wstring AboutItemText(const std::wstring& formatted, bool rightToLeft);
