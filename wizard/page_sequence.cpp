#include "wizard/page_sequence.hpp"
#include <windows.h>

int ResolvePage(int current, int target, bool advanced) {
  int n = target;
  if (!advanced && target != current) {
    const int step = target - current < 1 ? -1 : 1;
    while (n == kPathPage || n == kShortcutPage) n += step;
  }
  return n;
}

wizard_buttons ButtonsFor(int current, bool installed, std::int32_t earlierState) {
  wizard_buttons b{};
  b.backEnabled = (current > kStartPage && !installed) || current > kInstallPage;
  b.nextEnabled = current < kEndPage && earlierState != -1;
  b.defaultId = b.nextEnabled ? IDOK : IDCANCEL;
  b.nextMessage = current == kInstallPage && !installed ? 1007 : 1006;
  b.exitMessage = installed ? 1004 : 1002;
  return b;
}

bool ExitAsks(int current, bool installed, std::int32_t earlierState) {
  return !installed && earlierState != -1 && !(earlierState == 1 && current == kStartPage);
}

bool NextRunsInstallation(int current, bool installed) { return current == kInstallPage && !installed; }

std::wstring AboutItemText(const std::wstring& formatted, bool rightToLeft) {
  return rightToLeft ? L"..." + formatted : L"&" + formatted + L"...";
}
