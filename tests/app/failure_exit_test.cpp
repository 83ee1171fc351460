// The exception barrier and the failing start-up, seen from outside as a
// user sees them: the probe program fails in a dialog or while its
// application object is built; the test finds the one box, reads it,
// answers it, and checks what the process did afterwards and its exit code.
#include "support/handle.hpp"
#include "tests/common/box_driver.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>

namespace {

// The system's own text of a code, without its line end: what the box must say.
std::wstring system_text(DWORD code) {
  qv::local_memory<wchar_t> buffer;
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
  std::wstring text(buffer.get() ? buffer.get() : L"", n);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
  return text;
}

// What the program shows for a code: the system's text; for a code without
// one (Wine has none for E_UNEXPECTED), the text of E_FAIL, else "Error".
std::wstring shown_text(DWORD code) {
  std::wstring text = system_text(code);
  if (text.empty()) text = system_text(static_cast<DWORD>(E_FAIL));
  return text.empty() ? L"Error" : text;
}

std::wstring probe() { return qvtest::binary_dir() + L"\\tests\\app\\failure_probe.exe"; }

// The error box of the process: a #32770 that has the box's text control.
HWND wait_for_error_box(DWORD pid, HANDLE process) {
  for (int i = 0; i < 400; ++i) {
    for (HWND box : qvtest::dialog_boxes(pid))
      if (::GetDlgItem(box, 0xFFFF)) return box;
    if (::WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

HWND wait_for_dialog(DWORD pid, const std::wstring& caption, HANDLE process) {
  for (int i = 0; i < 400; ++i) {
    for (HWND box : qvtest::dialog_boxes(pid))
      if (qvtest::window_text(box) == caption) return box;
    if (::WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

struct barrier_case {
  const wchar_t* name;
  int button;  // clicked in the probe's dialog; 0: none (the dialog fails at once)
  DWORD code;  // whose system text the box shows
  const char* result;
};

class Barrier : public ::testing::TestWithParam<barrier_case> {};

TEST_P(Barrier, ShowsOneBoxEndsTheDialogAndTheProgramWithExitCode3) {
  const barrier_case& c = GetParam();
  const std::wstring result_file = qvtest::scratch_folder(L"barrier") + L"\\result.txt";
  qvtest::child_process child(qvtest::quote(probe()) + L" " + c.name + L" " + qvtest::quote(result_file));
  ASSERT_TRUE(child.started());
  if (c.button) {
    HWND dialog = wait_for_dialog(child.id(), L"Barrier probe", child.handle());
    ASSERT_NE(dialog, nullptr) << "the probe's dialog did not open";
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, c.button)));
  }
  HWND box = wait_for_error_box(child.id(), child.handle());
  ASSERT_NE(box, nullptr) << "no box";
  EXPECT_EQ(qvtest::box_text(box), shown_text(c.code));
  EXPECT_EQ(qvtest::window_text(box), L"Failure probe") << "the program's own caption";
  EXPECT_TRUE(qvtest::box_shows_icon(box));
  qvtest::answer_box(box, IDOK);
  // No second box: the process ends by itself (it would wait for an answer otherwise).
  EXPECT_EQ(child.wait(20000), 3);
  EXPECT_EQ(qvtest::read_file(result_file), c.result) << "DoModal returned, and the process lived on";
}

INSTANTIATE_TEST_SUITE_P(
    Failures, Barrier,
    ::testing::Values(
        barrier_case{L"init-system", 0, ERROR_ACCESS_DENIED, "modal=-1 again=-1 inner=0"},
        barrier_case{L"click-hresult", 1001, static_cast<DWORD>(E_OUTOFMEMORY), "modal=-1 again=-1 inner=0"},
        barrier_case{L"click-other", 1001, static_cast<DWORD>(E_UNEXPECTED), "modal=-1 again=-1 inner=0"},
        // The inner dialog fails; the outer one ends after it.
        barrier_case{L"nested", 1002, ERROR_ACCESS_DENIED, "modal=-1 again=-1 inner=-1"}),
    [](const ::testing::TestParamInfo<barrier_case>& info) {
      std::string name = qvtest::narrow(info.param.name);
      for (char& ch : name)
        if (ch == '-') ch = '_';
      return name;
    });

TEST(ApplicationObject, ASecurityFailureOfTheLockIsShownAndEndsWithExitCode2) {
  qvtest::child_process child(qvtest::quote(probe()) + L" construct " +
                              qvtest::quote(qvtest::scratch_folder(L"construct") + L"\\unused.txt"));
  ASSERT_TRUE(child.started());
  HWND box = wait_for_error_box(child.id(), child.handle());
  ASSERT_NE(box, nullptr) << "no box";
  EXPECT_EQ(qvtest::box_text(box), shown_text(static_cast<DWORD>(E_OUTOFMEMORY)));
  EXPECT_TRUE(qvtest::box_shows_icon(box));
  qvtest::answer_box(box, IDOK);
  EXPECT_EQ(child.wait(20000), 2);
}

}  // namespace
