// The installation run's decisions, as tables: what happens to each kind of
// payload entry in each earlier state, the progress bar's position, the
// error code texts, the installed program's command line, and the message
// drain between notifications.
#include "engine/install_run.hpp"
#include <gtest/gtest.h>
#include <windows.h>
#include <vector>

namespace {

using action = file_decision::action;

struct decision_case {
  std::uint32_t kind;
  std::int32_t state;
  bool earlier_file;
  bool exists;
  action what;
  bool record;
  bool copy_flag;
  bool temporary;
};

TEST(HandlerDecision, PerEntryKindAndEarlierState) {
  const std::int32_t none = EarlierState::None, same = EarlierState::SameVersion, older = EarlierState::OlderVersion;
  const std::vector<decision_case> cases = {
      // kind, state, earlier file, exists -> action, BeginFile, copy flag, temporary
      {0, none, false, false, action::copy, true, false, false},  // language
      {0, older, false, true, action::copy, true, false, false},
      {1, none, false, false, action::copy, true, false, false},  // program
      {1, older, true, true, action::copy, true, false, false},
      {2, same, false, true, action::copy, true, false, false},   // uninstaller
      // Common data: never overwritten.
      {3, none, false, false, action::copy, true, true, false},
      {3, none, false, true, action::take_over, true, true, false},
      {3, none, true, true, action::take_over, true, true, false},  // no earlier installation to own it
      {3, same, true, true, action::regrant, false, false, false},
      {3, older, true, true, action::regrant, false, false, false},
      {3, older, true, false, action::regrant, false, false, false},  // recorded earlier, gone since: still left alone
      {3, older, false, true, action::take_over, true, true, false},
      {3, same, false, false, action::copy, true, true, false},
      // Samples: an update keeps the user's.
      {4, none, false, false, action::copy, true, false, false},
      {4, same, false, true, action::copy, true, false, false},
      {4, older, false, false, action::skip, false, false, false},
      {4, EarlierState::NewerVersion, false, false, action::copy, true, false, false},
      // Temporary files: listed for removal, never recorded.
      {5, none, false, false, action::copy, false, false, true},
      {5, older, false, true, action::copy, false, false, true},
      // Unknown kinds are copied like language files.
      {6, older, false, false, action::copy, true, false, false},
      {0xFFFFFFFF, none, false, true, action::copy, true, false, false},
  };
  for (const decision_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " state " << c.state << " earlier " << c.earlier_file
                                    << " exists " << c.exists);
    const file_decision d = decide_file(c.kind, c.state, c.earlier_file, c.exists);
    EXPECT_EQ(static_cast<int>(d.what), static_cast<int>(c.what));
    if (d.what == action::copy || d.what == action::take_over) {
      EXPECT_EQ(d.record, c.record);
      EXPECT_EQ(d.copy_flag, c.copy_flag);
    }
    EXPECT_EQ(d.temporary, c.temporary);
  }
}

TEST(Progress, RoundsAndKeeps100ForTheEnd) {
  struct row {
    std::uint64_t position, total;
    int percent;
  };
  const std::uint64_t big = 7911339;  // the size of the shipped archive
  const std::vector<row> rows = {
      {0, 1000, 0},
      {5480, big, 0},
      {4, 1000, 0},
      {5, 1000, 1},  // 0.5 % rounds up
      {994, 1000, 99},
      {995, 1000, 99},   // 99.5 % rounds to 100, but bytes are still to come
      {999, 1000, 99},
      {1000, 1000, 100},
      {big - 1, big, 99},
      {big, big, 100},
      {199, 200, 99},    // exactly 99.5 %
      {(std::uint64_t{1} << 40) - 1, std::uint64_t{1} << 40, 99},
      {std::uint64_t{1} << 40, std::uint64_t{1} << 40, 100},
      {0xFFFFFFFFFFFFFFFEull, 0xFFFFFFFFFFFFFFFFull, 99},  // equal as doubles, still unfinished
      {12, 0, 0},  // no total: nothing to show yet
  };
  for (const row& r : rows) EXPECT_EQ(progress_percent(r.position, r.total), r.percent) << r.position << "/" << r.total;
}

TEST(ErrorCodeText, PerCategory) {
  struct row {
    std::error_code code;
    const wchar_t* text;
  };
  const std::vector<row> rows = {
      {{5, std::system_category()}, L"1:00000005"},
      {{ERROR_DISK_FULL, std::system_category()}, L"1:00000070"},
      {{static_cast<int>(0x80070005), std::system_category()}, L"1:80070005"},
      {{28, std::generic_category()}, L"2:0000001C"},  // ENOSPC
      {{2, std::generic_category()}, L"2:00000002"},
      {make_error_code(compress_error::invalid_checksum), L"3"},
      {make_error_code(compress_error::invalid_payload), L"4"},
      {make_error_code(compress_error::interrupted), L"5"},
      {make_error_code(compress_error::bzip2_error), L"6"},
      {make_error_code(compress_error::unexpected_error), L"7"},
      {{42, std::iostream_category()}, L"7"},  // any other category
  };
  for (const row& r : rows) EXPECT_EQ(error_code_text(r.code), r.text) << r.code.message();
}

TEST(CommandLine, UpdateArgumentAndQuoting) {
  EXPECT_EQ(update_argument(0), L"");
  // 2.30.5.7 as a fixed file version.
  const std::uint64_t v2_30 = (std::uint64_t{2} << 48) | (std::uint64_t{30} << 32) | (std::uint64_t{5} << 16) | 7;
  EXPECT_EQ(update_argument(v2_30), L" /update=0002001e00050007");
  EXPECT_EQ(update_argument(1), L" /update=0000000000000001");
  EXPECT_EQ(update_argument(0xFFFFFFFFFFFFFFFFull), L" /update=ffffffffffffffff");
  EXPECT_EQ(update_argument(0x00ABCDEF00000000ull), L" /update=00abcdef00000000");

  EXPECT_EQ(product_command_line(L"C:\\Program Files\\Quorvane Systems\\Tavimora 2\\Tavimora.exe", 0),
            L"\"C:\\Program Files\\Quorvane Systems\\Tavimora 2\\Tavimora.exe\" /Register /Background");
  EXPECT_EQ(product_command_line(L"C:\\Apps\\Tavimora.exe", v2_30),
            L"C:\\Apps\\Tavimora.exe /Register /Background /update=0002001e00050007");

  EXPECT_EQ(quote_spaces(L"C:\\A B\\c.txt"), L"\"C:\\A B\\c.txt\"");
  EXPECT_EQ(quote_spaces(L"C:\\AB\\c.txt"), L"C:\\AB\\c.txt");
  // Longer than the shell's buffer: quoted all the same.
  const std::wstring long_path = L"C:\\" + std::wstring(300, L'a') + L" b";
  EXPECT_EQ(quote_spaces(long_path), L"\"" + long_path + L"\"");
}

TEST(TemporaryFolder, NameInTheUsersTemporaryFolder) {
  EXPECT_EQ(temporary_folder_name(L"C:\\users\\me\\Temp\\", L"0f8fad5b-d9cb-469f-a165-70867728950e"),
            L"C:\\users\\me\\Temp\\quorvane_{0f8fad5b-d9cb-469f-a165-70867728950e}");
}

// A page that only answers PreTranslateMessage.
struct drain_page : install_page {
  std::vector<UINT> offered;
  UINT consume = 0;
  void AppendLine(const std::wstring&, bool) override {}
  void SetStatus(const std::wstring&, bool) override {}
  void ShowProgress() override {}
  void SetProgress(int) override {}
  std::wstring Message(unsigned, const std::wstring&) override { return {}; }
  bool PreTranslateMessage(MSG* msg) override {
    offered.push_back(msg->message);
    return msg->message == consume;
  }
  HWND Window() const override { return nullptr; }
};

LRESULT CALLBACK counting_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= WM_APP) {
    auto* count = reinterpret_cast<std::vector<UINT>*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (count) count->push_back(msg);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(MessageDrain, PreTranslateFirstThenDispatch) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = counting_proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"qv_drain_test";
  ::RegisterClassW(&wc);
  HWND hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  std::vector<UINT> dispatched;
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&dispatched));

  drain_page page;
  page.consume = WM_APP + 1;
  ::PostMessageW(hwnd, WM_APP, 0, 0);
  ::PostMessageW(hwnd, WM_APP + 1, 0, 0);
  ::PostMessageW(hwnd, WM_APP + 2, 0, 0);
  drain_messages(page);
  EXPECT_EQ(page.offered, (std::vector<UINT>{WM_APP, WM_APP + 1, WM_APP + 2}));
  // The message the application took is not dispatched again.
  EXPECT_EQ(dispatched, (std::vector<UINT>{WM_APP, WM_APP + 2}));
  MSG msg;
  EXPECT_FALSE(::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ::DestroyWindow(hwnd);
}

TEST(MessageDrain, QuitIsPostedAgainAndEndsTheDrain) {
  drain_page page;
  const DWORD thread = ::GetCurrentThreadId();
  ASSERT_TRUE(::PostThreadMessageW(thread, WM_QUIT, 42, 0));
  ASSERT_TRUE(::PostThreadMessageW(thread, WM_APP + 7, 0, 0));
  drain_messages(page);
  EXPECT_TRUE(page.offered.empty());  // WM_QUIT is nobody's to translate
  // What came after the quit is still there, and the quit follows with its code.
  MSG msg;
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 7));
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 42u);
  EXPECT_FALSE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

}  // namespace
