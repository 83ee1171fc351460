// The objects whose construction starts the process, all in this one
// translation unit: the language guarantees that they are constructed in the
// order they are defined here, whatever the order in which the linker lays
// out the program's other files (which hold no such objects; everything
// process-wide there is a function-local static created on first use).
//
//   1. the processor check (SSE2, else a three-language message, exit code 1)
//   2. the process locale (else "Initialization Error", exit code -11)
//   3. the support library's start-up
//   4. the default message-box hooks
//   5. the one application object
#include "app/install_app.hpp"
#include "app/startup_trace.hpp"
#include "framework/win_app.hpp"
#include "support/errors.hpp"
#include "support/message_box.hpp"
#include "support/process_locale.hpp"
#include <exception>
#include <string>
#include <windows.h>

namespace {

struct processor_check {
  processor_check() {
    if (!::IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
      ::MessageBoxW(nullptr,
                    L"This Version is not compatible with your Configuration.\n\n"
                    L"Cette version n'est pas compatible avec votre configuration.\n\n"
                    L"Diese Version ist nicht mit Ihrer Konfiguration kompatibel.",
                    nullptr, MB_ICONERROR);
      ::ExitProcess(1);
    }
    TraceStartup(L"processor");
  }
};

struct process_locale {
  process_locale() {
    init_process_locale();  // ends the process itself when it fails
    TraceStartup(L"locale");
  }
};

// The support library's start-up runs before any window exists; what it
// throws (an old common-controls library, an unresolvable known folder, a
// security descriptor that cannot be built) is shown and ends the process.
struct support_startup {
  support_startup() {
    try {
      qv::startup();
    } catch (...) {
      StopAtStartup();
    }
    TraceStartup(L"support");
  }
};

struct default_hooks {
  default_hooks() {
    qv::install_default_message_box_hooks();
    TraceStartup(L"hooks");
  }
};

const processor_check g_processor_check;
const process_locale g_process_locale;
const support_startup g_support_startup;
const default_hooks g_default_hooks;

}  // namespace

// The entry point, wWinMain, is wizard/setup_main.cpp: it gives this object
// the wizard before the framework calls InitInstance.
CInstallApp theApp;
