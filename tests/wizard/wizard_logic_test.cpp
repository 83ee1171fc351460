// The wizard's rules and computations as tables: the page a move lands on,
// the buttons of each page, when Exit asks, the About item, the summary's
// dashed lines and quoting, the shortcut page's relative folder, and the
// folder picker's display path and typed-folder validation.
#include "wizard/folder_picker.hpp"
#include "wizard/page_logic.hpp"
#include "wizard/page_sequence.hpp"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>

namespace {

TEST(PageSequence, NextAndBackFromEveryPageInBothMethods) {
  struct row {
    bool advanced;
    int current, target, shown;
  };
  const row rows[] = {
      // quick: the folder and shortcut pages are skipped in both directions
      {false, -1, 0, 0}, {false, 0, 1, 1}, {false, 1, 2, 4}, {false, 4, 3, 1}, {false, 4, 5, 5}, {false, 5, 4, 4},
      {false, 1, 0, 0}, {false, 4, 4, 4},
      // advanced: every page in turn
      {true, 0, 1, 1}, {true, 1, 2, 2}, {true, 2, 3, 3}, {true, 3, 4, 4}, {true, 4, 5, 5},
      {true, 5, 4, 4}, {true, 4, 3, 3}, {true, 3, 2, 2}, {true, 2, 1, 1}, {true, 1, 0, 0},
      // a refresh of the current page stays there, also on a skipped page
      {false, 2, 2, 2},
  };
  for (const row& r : rows)
    EXPECT_EQ(ResolvePage(r.current, r.target, r.advanced), r.shown)
        << "advanced " << r.advanced << " from " << r.current << " to " << r.target;
}

TEST(PageSequence, ButtonsOfEachPageBeforeAndAfterARun) {
  struct row {
    int page;
    bool installed;
    int state;
    bool back, next;
    int def;
    unsigned nextText, exitText;
  };
  const row rows[] = {
      {0, false, 0, false, true, IDOK, 1006, 1002},  {1, false, 0, true, true, IDOK, 1006, 1002},
      {2, false, 0, true, true, IDOK, 1006, 1002},   {3, false, 0, true, true, IDOK, 1006, 1002},
      {4, false, 0, true, true, IDOK, 1007, 1002},   {4, true, 0, false, true, IDOK, 1006, 1004},
      {5, true, 0, true, false, IDCANCEL, 1006, 1004}, {5, false, 0, true, false, IDCANCEL, 1006, 1002},
      // a newer version installed: only Exit
      {0, false, -1, false, false, IDCANCEL, 1006, 1002},
      {0, false, 1, false, true, IDOK, 1006, 1002},  {0, false, 2, false, true, IDOK, 1006, 1002},
  };
  for (const row& r : rows) {
    const wizard_buttons b = ButtonsFor(r.page, r.installed, r.state);
    SCOPED_TRACE(testing::Message() << "page " << r.page << " installed " << r.installed << " state " << r.state);
    EXPECT_EQ(b.backEnabled, r.back);
    EXPECT_EQ(b.nextEnabled, r.next);
    EXPECT_EQ(b.defaultId, r.def);
    EXPECT_EQ(b.nextMessage, r.nextText);
    EXPECT_EQ(b.exitMessage, r.exitText);
  }
}

TEST(PageSequence, ExitAsksOnlyBeforeASuccessfulRunAndNotForANewerOrTheSameVersionAtTheStart) {
  struct row {
    int page;
    bool installed;
    int state;
    bool asks;
  };
  const row rows[] = {
      {0, false, 0, true},  {1, false, 0, true},  {4, false, 0, true},  {4, true, 0, false}, {5, true, 0, false},
      {0, false, 1, false}, {1, false, 1, true},  {0, false, -1, false}, {0, false, 2, true}, {4, false, 2, true},
  };
  for (const row& r : rows)
    EXPECT_EQ(ExitAsks(r.page, r.installed, r.state), r.asks)
        << "page " << r.page << " installed " << r.installed << " state " << r.state;
  EXPECT_TRUE(NextRunsInstallation(4, false));
  EXPECT_FALSE(NextRunsInstallation(4, true));
  EXPECT_FALSE(NextRunsInstallation(3, false));
}

TEST(PageSequence, AboutItemCarriesItsEllipsisByReadingOrder) {
  EXPECT_EQ(AboutItemText(L"About 'Installer'", false), L"&About 'Installer'...");
  EXPECT_EQ(AboutItemText(L"About 'Installer'", true), L"...About 'Installer'");
}

TEST(Summary, DashedLinesCentreAHeadingAndFillTheWidth) {
  struct row {
    std::wstring text;
    int available, framed, dash;
    std::wstring expected;
  };
  const row rows[] = {
      {L"", 40, 0, 4, L"----------\r\n"},           // a rule: 10 dashes
      {L"", 41, 0, 4, L"----------\r\n"},           // the fraction is dropped
      {L"Options", 60, 30, 4, L"--- Options ----\r\n"},  // 7 dashes: 3 in front, 4 behind
      {L"Options", 62, 30, 4, L"---- Options ----\r\n"},  // 8 dashes
      {L"Options", 20, 30, 4, L" Options \r\n"},    // wider than the log: no dashes
      {L"Options", 30, 30, 4, L" Options \r\n"},
  };
  for (const row& r : rows)
    EXPECT_EQ(DashedLine(r.text, r.available, r.framed, r.dash), r.expected) << r.available;
}

TEST(ShortcutPage, MenuFolderRelativeToTheStartMenuAndBack) {
  const std::wstring root = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
  struct row {
    std::wstring folder, relative, back;
  };
  const row rows[] = {
      {root + L"\\Programs\\Quorvane Systems\\Tavimora 2", L"Programs\\Quorvane Systems\\Tavimora 2",
       root + L"\\Programs\\Quorvane Systems\\Tavimora 2"},
      {root, L"", root},
      {root + L"\\", L"", root},
      {L"D:\\Menus\\Tavimora 2", L"D:\\Menus\\Tavimora 2", L"D:\\Menus\\Tavimora 2"},  // another drive
  };
  for (const row& r : rows) {
    EXPECT_EQ(MenuFolderRelative(root, r.folder), r.relative) << std::string(r.folder.begin(), r.folder.end());
    EXPECT_EQ(MenuFolderFromRelative(root, r.relative), r.back) << std::string(r.folder.begin(), r.folder.end());
  }
}

TEST(FolderPicker, DisplayPathAppendsTheSubFolderOnce) {
  struct row {
    std::wstring path, sub, rootParent, shown;
  };
  const std::wstring start = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
  const row rows[] = {
      {L"D:\\Apps", L"Tavimora 2", L"", L"D:\\Apps\\Tavimora 2"},
      {L"D:\\Apps\\", L"Tavimora 2", L"", L"D:\\Apps\\Tavimora 2"},
      {L"D:\\Apps\\Tavimora 2", L"Tavimora 2", L"", L"D:\\Apps\\Tavimora 2"},
      {L"D:\\Apps\\TAVIMORA 2\\", L"Tavimora 2", L"", L"D:\\Apps\\TAVIMORA 2\\"},  // case-insensitive
      {L"D:\\", L"Tavimora 2", L"", L"D:\\Tavimora 2"},
      // the longest leading part of the sub-folder that the path ends with
      {L"D:\\Apps\\Quorvane Systems", L"Quorvane Systems\\Tavimora 2", L"", L"D:\\Apps\\Quorvane Systems\\Tavimora 2"},
      {L"D:\\Apps", L"Quorvane Systems\\Tavimora 2", L"", L"D:\\Apps\\Quorvane Systems\\Tavimora 2"},
      {L"D:\\Quorvane Systems\\Tavimora 2", L"Quorvane Systems\\Tavimora 2", L"", L"D:\\Quorvane Systems\\Tavimora 2"},
      {L"D:\\Apps", L"", L"", L"D:\\Apps"},
      // relative to the root's parent
      {start + L"\\Programs\\Quorvane Systems", L"Tavimora 2", start, L"Programs\\Quorvane Systems\\Tavimora 2"},
      {start + L"\\Programs", L"Tavimora 2", start, L"Programs\\Tavimora 2"},
      {L"D:\\Elsewhere", L"Tavimora 2", start, L"D:\\Elsewhere\\Tavimora 2"},  // another drive stays absolute
  };
  for (const row& r : rows) EXPECT_EQ(ComposeDisplayPath(r.path, r.sub, r.rootParent), r.shown) << std::string(r.path.begin(), r.path.end());
}

TEST(FolderPicker, InitialFolderAndSubFolderSetUp) {
  const std::wstring documents = L"C:\\users\\me\\Documents";
  EXPECT_EQ(InitialPickerPath(L"Apps\\Tavimora 2", documents), documents);  // relative: replaced
  EXPECT_EQ(InitialPickerPath(L"", documents), documents);
  EXPECT_EQ(InitialPickerPath(L"C:", documents), L"C:\\");
  EXPECT_EQ(InitialPickerPath(L"D:\\Apps", documents), L"D:\\Apps");
  EXPECT_EQ(CleanSubFolder(L"Tavimora 2"), L"Tavimora 2");
  EXPECT_EQ(CleanSubFolder(L"Tavimora 2..."), L"Tavimora 2");
  EXPECT_EQ(CleanSubFolder(L"Tavi*mora"), L"");  // a wildcard: no sub-folder
  EXPECT_EQ(CleanSubFolder(L"Tavi?mora"), L"");
}

TEST(FolderPicker, TypedFolderValidation) {
  wchar_t programs[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs)));
  std::wstring root_parent = programs;
  root_parent.erase(root_parent.find_last_of(L'\\'));
  wchar_t cwd[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, cwd);

  struct row {
    std::wstring typed, rootParent;
    DWORD error;
    std::wstring folder;
  };
  const row rows[] = {
      {L"C:", L"", 0, L"C:\\"},
      {L"  D:\\Apps\\Tavimora 2\\ ", L"", 0, L"D:\\Apps\\Tavimora 2"},
      {L"D:\\Apps\\..\\Tavimora 2", L"", 0, L"D:\\Tavimora 2"},
      {L"D:\\" + std::wstring(257, L'x'), L"", ERROR_FILENAME_EXCED_RANGE, L""},  // 260 characters
      {L"D:\\Apps\\Tavi*mora", L"", ERROR_BAD_PATHNAME, L""},
      // with the Programs root: relative to the Start menu, and nothing outside it
      {L"Programs\\Quorvane Systems\\Tavimora 2", root_parent, 0, root_parent + L"\\Programs\\Quorvane Systems\\Tavimora 2"},
      {L"D:\\Menus", root_parent, ERROR_BAD_PATHNAME, L""},
      {L"..\\..\\Elsewhere", root_parent, ERROR_BAD_PATHNAME, L""},
  };
  for (const row& r : rows) {
    std::wstring folder;
    EXPECT_EQ(ValidateTypedFolder(r.typed, r.rootParent, folder), r.error) << std::string(r.typed.begin(), r.typed.end());
    EXPECT_EQ(folder, r.folder) << std::string(r.typed.begin(), r.typed.end());
    wchar_t after[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_STREQ(after, cwd) << "the current directory is given back";
  }
  std::wstring folder;
  EXPECT_EQ(ValidateTypedFolder(L"", L"", folder), 0u);  // the current directory
  std::wstring expected = cwd;
  if (expected.size() > 3 && expected.back() == L'\\') expected.pop_back();
  EXPECT_EQ(folder, expected);
}

}  // namespace
