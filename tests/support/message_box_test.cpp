// System message texts and the support library's message boxes. The boxes
// are real: a second thread finds each one, reads it as a user would and
// presses a button.
#include "support/errors.hpp"
#include "support/handle.hpp"
#include "support/message_box.hpp"
#include "tests/common/test_support.hpp"
#include "tests/common/box_driver.hpp"
#include <gtest/gtest.h>
#include <functional>
#include <thread>
#include <vector>

namespace {

// FormatMessageW's own answer, untouched; empty when it has none.
std::wstring raw_system_text(DWORD code, LANGID language = 0) {
  qv::local_memory<wchar_t> text;
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             nullptr, code, language, reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
  return n && text ? std::wstring(text.get(), n) : std::wstring();
}

std::wstring without_trailing_breaks(std::wstring text) {
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
  return text;
}

TEST(SystemMessage, AKnownCodesTextLosesItsTrailingLineBreaks) {
  for (DWORD code : {DWORD(ERROR_FILE_NOT_FOUND), DWORD(ERROR_BUSY), DWORD(ERROR_ACCESS_DENIED), DWORD(0x80070005)}) {
    SCOPED_TRACE(code);
    std::wstring raw = raw_system_text(code);
    ASSERT_FALSE(raw.empty());
    std::wstring text = qv::system_message(code);
    EXPECT_EQ(text, without_trailing_breaks(raw));
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'\n');
    EXPECT_NE(text.back(), L'\r');
  }
}

TEST(SystemMessage, ACodeWithoutTextGivesTheTextOfEFail) {
  const DWORD unknown = 0xE0FF1234;  // a customer code no system knows
  ASSERT_TRUE(raw_system_text(unknown).empty());
  std::wstring e_fail = raw_system_text(0x80004005);
  std::wstring expected = e_fail.empty() ? std::wstring(L"Error") : without_trailing_breaks(e_fail);
  EXPECT_EQ(qv::system_message(unknown), expected);
  EXPECT_EQ(qv::system_message(0x80004005), expected);
  EXPECT_EQ(qv::system_message(unknown, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
            qv::system_message(0x80004005, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
}

TEST(SystemMessage, ALanguageWithoutTextsFallsBackToTheSystemsChoice) {
  const LANGID zulu = MAKELANGID(LANG_ZULU, SUBLANG_DEFAULT);
  if (!raw_system_text(ERROR_FILE_NOT_FOUND, zulu).empty()) GTEST_SKIP() << "this system has Zulu texts";
  EXPECT_EQ(qv::system_message(ERROR_FILE_NOT_FOUND, zulu), qv::system_message(ERROR_FILE_NOT_FOUND, 0));
}

TEST(BoxType, IconsAreAddedOnlyWhereTheButtonsCallForThem) {
  struct row {
    UINT type;
    bool rtl;
    UINT expected;
  };
  const row rows[] = {
      {MB_OK, false, MB_OK | MB_ICONEXCLAMATION},
      {MB_OKCANCEL, false, MB_OKCANCEL | MB_ICONEXCLAMATION},
      {MB_YESNO, false, MB_YESNO | MB_ICONQUESTION},
      {MB_YESNOCANCEL, false, MB_YESNOCANCEL | MB_ICONQUESTION},
      {MB_RETRYCANCEL, false, MB_RETRYCANCEL},
      {MB_ABORTRETRYIGNORE, false, MB_ABORTRETRYIGNORE},
      {MB_CANCELTRYCONTINUE, false, MB_CANCELTRYCONTINUE},
      // An explicit icon is never replaced.
      {MB_OK | MB_ICONERROR, false, MB_OK | MB_ICONERROR},
      {MB_YESNO | MB_ICONINFORMATION, false, MB_YESNO | MB_ICONINFORMATION},
      {MB_RETRYCANCEL | MB_ICONEXCLAMATION, false, MB_RETRYCANCEL | MB_ICONEXCLAMATION},
      // Other bits pass through.
      {MB_OK | MB_DEFBUTTON2 | MB_TASKMODAL, false, MB_OK | MB_DEFBUTTON2 | MB_TASKMODAL | MB_ICONEXCLAMATION},
      // Right to left adds the reading order.
      {MB_OK, true, MB_OK | MB_ICONEXCLAMATION | MB_RTLREADING},
      {MB_RETRYCANCEL, true, MB_RETRYCANCEL | MB_RTLREADING},
      {MB_YESNO | MB_ICONSTOP, true, MB_YESNO | MB_ICONSTOP | MB_RTLREADING},
  };
  for (const row& r : rows)
    EXPECT_EQ(qv::complete_box_type(r.type, r.rtl), r.expected) << std::hex << r.type << " rtl " << r.rtl;
}

// What the driving thread saw of one box.
struct seen_box {
  bool found = false;
  std::wstring caption, text;
  bool icon = false;
  HWND owner = nullptr;
  std::vector<int> buttons;
};

// Runs `show` on this thread; another thread waits for the box, reads it
// and presses `answer`. Returns what it saw; `result` gets show's answer.
seen_box drive(const std::function<int()>& show, int answer, int& result) {
  seen_box seen;
  std::thread driver([&] {
    HWND box = qvtest::wait_for_box(::GetCurrentProcessId(), 20000);
    if (!box) return;
    seen.found = true;
    seen.caption = qvtest::window_text(box);
    seen.text = qvtest::box_text(box);
    seen.icon = qvtest::box_shows_icon(box);
    seen.owner = ::GetWindow(box, GW_OWNER);
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO, IDRETRY, IDABORT, IDIGNORE})
      if (qvtest::box_has_button(box, id)) seen.buttons.push_back(id);
    qvtest::answer_box(box, answer);
  });
  result = show();
  driver.join();
  return seen;
}

class MessageBoxes : public ::testing::Test {
protected:
  void SetUp() override {
    qv::message_box_hooks& hooks = qv::get_message_box_hooks();
    saved_ = hooks;
    hooks.title = [] { return std::wstring(L"Caption From The Hook"); };
    hooks.owner = [this] { return std::make_pair(owner_, reenable_); };
    hooks.enable_modeless = [this](bool enable) { modeless_.push_back(enable); };
  }
  void TearDown() override { qv::get_message_box_hooks() = saved_; }

  qv::message_box_hooks saved_;
  HWND owner_ = nullptr, reenable_ = nullptr;
  std::vector<bool> modeless_;
};

TEST_F(MessageBoxes, TheCaptionComesFromTheTitleHook) {
  int result = 0;
  seen_box seen = drive([] { return qv::message_box(L"Some text.", MB_OKCANCEL); }, IDCANCEL, result);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, L"Caption From The Hook");
  EXPECT_EQ(seen.text, L"Some text.");
  EXPECT_TRUE(seen.icon);
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_EQ(seen.buttons, (std::vector<int>{IDOK, IDCANCEL}));
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(modeless_, (std::vector<bool>{false, true}));
}

TEST_F(MessageBoxes, RetryCancelWithoutIconBitShowsNoIcon) {
  int result = 0;
  seen_box seen = drive([] { return qv::message_box(L"Retry?", MB_RETRYCANCEL); }, IDRETRY, result);
  ASSERT_TRUE(seen.found);
  EXPECT_FALSE(seen.icon);
  EXPECT_EQ(seen.buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
  EXPECT_EQ(result, IDRETRY);
}

TEST_F(MessageBoxes, ShowErrorShowsTheSystemTextWithAnIcon) {
  int result = 0;
  seen_box seen = drive(
      [] {
        qv::show_error(ERROR_BUSY);
        return 0;
      },
      IDOK, result);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.text, qv::system_message(ERROR_BUSY));
  EXPECT_EQ(seen.caption, L"Caption From The Hook");
  EXPECT_TRUE(seen.icon);
  EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
}

TEST_F(MessageBoxes, TheBoxIsOwnedAndBothWindowsAreEnabledAfterwards) {
  // The owner hook hands out a disabled owner and another disabled
  // top-level window. The box disables its owner while it is shown and
  // enables it again only when it was enabled when the box came up.
  HWND owner = ::CreateWindowExW(0, L"Static", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HWND top = ::CreateWindowExW(0, L"Static", L"top", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(owner && top);
  ::EnableWindow(owner, FALSE);
  ::EnableWindow(top, FALSE);
  owner_ = owner;
  reenable_ = top;
  int result = 0;
  seen_box seen = drive([] { return qv::message_box(L"Owned.", MB_OK); }, IDOK, result);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, owner);
  EXPECT_TRUE(::IsWindowEnabled(owner));
  EXPECT_TRUE(::IsWindowEnabled(top));
  EXPECT_EQ(result, IDOK);
  ::DestroyWindow(owner);
  ::DestroyWindow(top);
}

TEST_F(MessageBoxes, AFailedBoxStillRestoresTheApplication) {
  HWND top = ::CreateWindowExW(0, L"Static", L"top", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ::EnableWindow(top, FALSE);
  // An owner that is no window: MessageBoxW fails and returns 0.
  owner_ = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7FFF1234));
  reenable_ = top;
  // Windows answers 0, Wine -1: never a button.
  EXPECT_LE(qv::message_box(L"Never shown.", MB_OK), 0);
  EXPECT_TRUE(::IsWindowEnabled(top));
  EXPECT_EQ(modeless_, (std::vector<bool>{false, true}));
  ::DestroyWindow(top);
}

}  // namespace
