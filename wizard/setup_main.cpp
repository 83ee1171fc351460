// setup.exe's entry point. It sits at the top of the program, so it is the
// one place that hands the wizard to the application object: the checks
// before the wizard (app/) know nothing of the wizard's windows.
#include "app/install_app.hpp"
#include "framework/win_app.hpp"
#include "wizard/install_dlg.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  GetInstallApp().m_runWizard = [](CInstallApp& app) { RunWizard(app, app); };
  return AfxWinMain(instance);
}
