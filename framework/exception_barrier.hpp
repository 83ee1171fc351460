// The exception barrier. With this toolchain an exception cannot unwind
// through user32's frames: one that leaves a window or dialog procedure, or
// that passes a message loop of the system, ends the process in
// std::terminate. So every window and dialog procedure of the framework, and
// the application's InitInstance and message loop, run their code through
// AfxCallGuarded. What it catches is shown once; from then on every modal
// dialog ends as soon as it sees a message, no new one opens, the message
// loop stops, and AfxWinMain returns kExitCodeUncaught.
#pragma once
#include <windows.h>
#include <utility>

// The process exit code after the barrier caught an exception.
constexpr int kExitCodeUncaught = 3;

// Inside a catch block: the code the barrier reports for the exception being
// handled. The value of a std::system_error in the system category (a Win32
// code or HRESULT), a thrown `long` (an HRESULT), else E_UNEXPECTED.
unsigned long AfxCurrentExceptionCode() noexcept;

// Inside a catch block: shows the exception being handled (the first one
// only) and marks the program as ending.
void AfxReportCurrentException() noexcept;

// True once the barrier caught an exception.
bool AfxIsEnding() noexcept;

// Shows the barrier's box for a code. The support library installs one that
// shows the system's text of the code in the program's own message box;
// without one, the framework shows the code in a plain box.
using AfxExceptionReporter = void (*)(unsigned long code);
void AfxSetExceptionReporter(AfxExceptionReporter reporter) noexcept;

// Runs `body` and returns its result; when it throws, reports the exception
// and returns `on_exception`.
template <typename Result, typename Body>
Result AfxCallGuarded(Body&& body, Result on_exception) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    AfxReportCurrentException();
    return on_exception;
  }
}
