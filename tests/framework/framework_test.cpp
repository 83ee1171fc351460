// The framework's dialogs: data exchange in both directions, the length
// validation with its message, radio groups, control binding, modal runs,
// and the owner of message boxes.
#include "framework/dialog.hpp"
#include "framework/win_app.hpp"
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

CWinApp g_app(L"FrameworkTest");

class ExchangeDialog : public CDialog {
public:
  ExchangeDialog() : CDialog(100) {}
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Text(dx, 1001, text);
    DDV_MaxChars(dx, text, 5);
    DDX_Check(dx, 1002, checked);
    DDX_Radio(dx, 1003, choice);
    DDX_Control(dx, 1006, other);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (on_init) on_init(*this);
    return TRUE;
  }
  std::wstring text = L"abc";
  bool checked = true;
  int choice = 2;
  CWnd other;
  void (*on_init)(ExchangeDialog&) = nullptr;
};

// What a message box of this process said, answered by a watcher thread.
struct box_watch {
  std::wstring caption, text;
};

BOOL CALLBACK find_own_box(HWND hwnd, LPARAM lp) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[32] = {};
  ::GetClassNameW(hwnd, cls, 32);
  if (pid == ::GetCurrentProcessId() && std::wstring(cls) == L"#32770" && ::GetDlgItem(hwnd, 0xFFFF) &&
      ::IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
  }
  return TRUE;
}

// Finds the first message box of this process, records it and presses OK.
void answer_next_box(box_watch* seen) {
  for (int i = 0; i < 500; ++i) {
    HWND found = nullptr;
    ::EnumWindows(find_own_box, reinterpret_cast<LPARAM>(&found));
    if (found) {
      wchar_t buf[512] = {};
      ::GetWindowTextW(found, buf, 512);
      seen->caption = buf;
      ::GetDlgItemTextW(found, 0xFFFF, buf, 512);
      seen->text = buf;
      ::PostMessageW(found, WM_COMMAND, IDOK, 0);
      return;
    }
    ::Sleep(20);
  }
}

TEST(DataExchange, MovesValuesIntoTheControlsAndBack) {
  ExchangeDialog dlg;
  ASSERT_TRUE(dlg.Create(100, nullptr));
  EXPECT_EQ(dlg.GetDlgItemText(1001), L"abc");
  EXPECT_EQ(::SendDlgItemMessageW(dlg.m_hWnd, 1002, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(::SendDlgItemMessageW(dlg.m_hWnd, 1005, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(::SendDlgItemMessageW(dlg.m_hWnd, 1003, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(dlg.other.m_hWnd, dlg.GetDlgItem(1006)) << "the control member is bound";

  dlg.SetDlgItemText(1001, L"xy");
  ::SendDlgItemMessageW(dlg.m_hWnd, 1002, BM_SETCHECK, BST_UNCHECKED, 0);
  ::SendDlgItemMessageW(dlg.m_hWnd, 1005, BM_SETCHECK, BST_UNCHECKED, 0);
  ::SendDlgItemMessageW(dlg.m_hWnd, 1004, BM_SETCHECK, BST_CHECKED, 0);
  ASSERT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_EQ(dlg.text, L"xy");
  EXPECT_FALSE(dlg.checked);
  EXPECT_EQ(dlg.choice, 1);

  ::SendDlgItemMessageW(dlg.m_hWnd, 1004, BM_SETCHECK, BST_UNCHECKED, 0);
  ASSERT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_EQ(dlg.choice, -1) << "no button of the group checked";
  dlg.DestroyWindow();
}

TEST(DataExchange, TooLongATextIsRefusedWithTheFrameworkMessage) {
  ExchangeDialog dlg;
  ASSERT_TRUE(dlg.Create(100, nullptr));
  dlg.SetDlgItemText(1001, L"abcdefg");
  box_watch seen;
  std::thread watcher(answer_next_box, &seen);
  BOOL ok = dlg.UpdateData(TRUE);
  watcher.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(seen.text, L"Enter no more than 5 characters.");
  EXPECT_EQ(seen.caption, L"FrameworkTest") << "framework boxes carry the application's name";
  EXPECT_EQ(dlg.text, L"abcdefg") << "the value read before the validation stays";
  EXPECT_EQ(::GetFocus(), dlg.GetDlgItem(1001)) << "the focus goes back to the offending control";
  dlg.DestroyWindow();
}

TEST(DataExchange, TheEditControlIsLimitedToTheValidatedLength) {
  ExchangeDialog dlg;
  ASSERT_TRUE(dlg.Create(100, nullptr));
  EXPECT_EQ(::SendDlgItemMessageW(dlg.m_hWnd, 1001, EM_GETLIMITTEXT, 0, 0), 5);
  dlg.DestroyWindow();
}

TEST(ModalDialog, EndsWithTheResultOfItsButtonAndSavesItsData) {
  ExchangeDialog dlg;
  dlg.on_init = [](ExchangeDialog& d) {
    d.SetDlgItemText(1001, L"done");
    ::PostMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  };
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.text, L"done");
  EXPECT_EQ(dlg.m_hWnd, nullptr);

  ExchangeDialog cancelled;
  cancelled.on_init = [](ExchangeDialog& d) {
    d.SetDlgItemText(1001, L"never");
    ::PostMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  };
  EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
  EXPECT_EQ(cancelled.text, L"abc") << "Cancel saves nothing";
}

TEST(SafeOwner, IsTheMainWindowsActivePopupAndDisablesItsTopLevelWindow) {
  ExchangeDialog main_window;
  ASSERT_TRUE(main_window.Create(100, nullptr));
  g_app.m_pMainWnd = &main_window;
  HWND top = nullptr;
  EXPECT_EQ(CWnd::GetSafeOwner(nullptr, &top), main_window.m_hWnd);
  EXPECT_EQ(top, nullptr) << "the owner itself is not disabled";

  // A child control as parent is reduced to its dialog.
  EXPECT_EQ(CWnd::GetSafeOwner(main_window.GetDlgItem(1001), nullptr), main_window.m_hWnd);

  ExchangeDialog popup;
  ASSERT_TRUE(popup.Create(100, &main_window));
  ::SetActiveWindow(popup.m_hWnd);
  HWND owner = CWnd::GetSafeOwner(nullptr, &top);
  EXPECT_EQ(owner, popup.m_hWnd);
  EXPECT_EQ(top, main_window.m_hWnd);
  EXPECT_FALSE(::IsWindowEnabled(main_window.m_hWnd));
  ::EnableWindow(main_window.m_hWnd, TRUE);
  g_app.m_pMainWnd = nullptr;
  popup.DestroyWindow();
  main_window.DestroyWindow();
}

}  // namespace
