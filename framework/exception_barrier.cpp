#include "framework/exception_barrier.hpp"
#include "framework/win_app.hpp"
#include <atomic>
#include <cstdio>
#include <system_error>

namespace {
std::atomic<bool> g_reported{false};
std::atomic<bool> g_ending{false};
std::atomic<AfxExceptionReporter> g_reporter{nullptr};

void show_code(unsigned long code) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", code);
  AfxMessageBox(text, MB_ICONERROR);
}
}  // namespace

unsigned long AfxCurrentExceptionCode() noexcept {
  try {
    throw;
  } catch (const std::system_error& e) {
    if (e.code().category() == std::system_category() && e.code().value() != 0)
      return static_cast<unsigned long>(e.code().value());
  } catch (long hresult) {
    if (hresult != 0) return static_cast<unsigned long>(hresult);
  } catch (...) {
  }
  return static_cast<unsigned long>(E_UNEXPECTED);
}

void AfxReportCurrentException() noexcept {
  const unsigned long code = AfxCurrentExceptionCode();
  // Only the first failure is shown; what follows from it only ends dialogs.
  if (g_reported.exchange(true)) return;
  try {
    AfxExceptionReporter reporter = g_reporter.load();
    (reporter ? reporter : show_code)(code);
  } catch (...) {
    // Nothing more can be said; the exit code still tells.
  }
  // Only now: while the box is open the dialogs under it must stay.
  g_ending.store(true);
  // Wakes a message loop that waits for its next message, so that it ends.
  ::PostMessageW(nullptr, WM_NULL, 0, 0);
}

bool AfxIsEnding() noexcept { return g_ending.load(); }

void AfxSetExceptionReporter(AfxExceptionReporter reporter) noexcept { g_reporter.store(reporter); }
