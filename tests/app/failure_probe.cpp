// A program that fails the way the exception barrier and the start-up must
// catch: `failure_probe <case> <result file>`.
//
//   init-system    OnInitDialog throws std::system_error(5, system category)
//   click-hresult  button 1001 throws the HRESULT E_OUTOFMEMORY as a long
//   click-other    button 1001 throws std::runtime_error
//   nested         button 1002 opens a second dialog whose OnInitDialog throws
//   construct      the application object's single-instance lock cannot get
//                  its security data (E_OUTOFMEMORY through the seam)
//
// After the dialog's DoModal returns, the result file receives "modal=<r>"
// and, for a second DoModal after the failure, " again=<r>": so the test
// sees that the process lived on past the dialog.
#include "app/install_app.hpp"
#include "framework/dialog.hpp"
#include "framework/win_app.hpp"
#include "support/app_identity.hpp"
#include "support/handle.hpp"
#include "support/message_box.hpp"
#include <shellapi.h>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

std::wstring g_case;

class ProbeDialog : public CDialog {
public:
  explicit ProbeDialog(bool fail_at_init) : CDialog(100), fail_at_init_(fail_at_init) {}
  BOOL OnInitDialog() override {
    if (fail_at_init_) throw std::system_error(ERROR_ACCESS_DENIED, std::system_category());
    return CDialog::OnInitDialog();
  }
  BOOL OnCommand(WPARAM wp, LPARAM lp) override {
    if (LOWORD(wp) == 1001) {
      if (g_case == L"click-hresult") throw static_cast<long>(E_OUTOFMEMORY);
      throw std::runtime_error("not a system error");
    }
    if (LOWORD(wp) == 1002) {
      ProbeDialog inner(true);
      inner_result = inner.DoModal();
      return TRUE;
    }
    return CDialog::OnCommand(wp, lp);
  }
  INT_PTR inner_result = 0;

private:
  bool fail_at_init_;
};

class ProbeApp : public CWinApp {
public:
  ProbeApp() : CWinApp(L"Failure probe") {}
  BOOL InitInstance() override {
    int argc = 0;
    qv::local_memory<LPWSTR> args(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    LPWSTR* argv = args.get();
    if (!argv || argc < 3) return FALSE;
    g_case = argv[1];
    std::wstring result_file = argv[2];
    qv::install_default_message_box_hooks();
    if (g_case == L"construct") {
      qv::fail_object_security_for_test(E_OUTOFMEMORY);
      CInstallApp app;  // ends the process
      return FALSE;
    }
    ProbeDialog dialog(g_case == L"init-system");
    INT_PTR first = dialog.DoModal();
    ProbeDialog again(false);
    INT_PTR second = again.DoModal();
    if (FILE* f = _wfopen(result_file.c_str(), L"w")) {
      std::fprintf(f, "modal=%d again=%d inner=%d", static_cast<int>(first), static_cast<int>(second),
                   static_cast<int>(dialog.inner_result));
      std::fclose(f);
    }
    return FALSE;
  }
};

ProbeApp g_app;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return AfxWinMain(instance); }
