// The payload built by this project, as setup.exe carries it: this test
// program embeds the same resource and unpacks it into a scratch folder.
#include "engine/payload.hpp"
#include "support/version_info.hpp"
#include "tests/common/test_support.hpp"
#include "tests/engine/payload_test_util.hpp"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

using namespace payload_test;

namespace {

TEST(ShippedPayload, LayoutAndExtraction) {
  std::unique_ptr<qv::imemstream> stream = open_payload();
  ASSERT_GT(stream->size(), 0u);
  // Read in place, not copied out of the module.
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(134), MAKEINTRESOURCEW(260));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(stream->data(), ::LockResource(::LoadResource(self, found)));
  ASSERT_TRUE(verify_payload(*stream));

  std::wstring root = qvtest::scratch_folder(L"shipped");
  std::wstring install = root + L"\\Tavimora 2";
  recorder r;
  // Keep the all-users folders out of it: samples go to an absolute folder,
  // common data is skipped (its destination is still checked).
  std::vector<std::pair<std::wstring, std::uint32_t>> begun;
  r.reply = [&](const notification& n) {
    if (auto* p = n.get<notification::file_begin>()) {
      begun.push_back({p->entry.destination, p->entry.kind});
      if (p->entry.kind == 3) return notification::result::skip;
    }
    return notification::result::proceed;
  };
  ASSERT_TRUE(extract_payload(*stream, install, root + L"\\Examples", L"", r.handler())) << r.error_code().message();

  ASSERT_EQ(begun.size(), 33u);
  auto folder_of = [](const std::wstring& p) { return p.substr(0, p.find_last_of(L'\\')); };
  wchar_t common[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
  for (std::size_t i = 0; i < 23; ++i) {
    if (i % 2 == 0) {
      EXPECT_EQ(begun[i].second, 4u) << i;
      EXPECT_EQ(folder_of(begun[i].first), root + L"\\Examples") << i;
    } else {
      EXPECT_EQ(begun[i].second, 3u) << i;
      EXPECT_EQ(folder_of(begun[i].first), std::wstring(common) + L"\\Quorvane Systems\\Tavimora 2") << i;
    }
  }
  EXPECT_EQ(begun[23], std::make_pair(install + L"\\Uninstall.exe", 2u));
  const wchar_t* languages[] = {L"de", L"en", L"es", L"it", L"pl", L"pt", L"ro", L"tk"};
  for (std::size_t i = 0; i < 8; ++i)
    EXPECT_EQ(begun[24 + i], std::make_pair(install + L"\\Lang\\Tavimora." + languages[i] + L".dll", 0u));
  EXPECT_EQ(begun[32], std::make_pair(install + L"\\Tavimora.exe", 1u));
  EXPECT_EQ(r.count(file_end), 22u);

  // The programs carry the product's version resource and run.
  for (const wchar_t* program : {L"Tavimora.exe", L"Uninstall.exe"}) {
    std::wstring p = install + L"\\" + program;
    qv::version_info info(p);
    EXPECT_EQ(info.query(L"ProductName"), L"Tavimora 2");
    EXPECT_EQ(info.query(L"ProductVersion"), L"2.31t");
    EXPECT_EQ(info.query(L"FileVersion"), L"2.31.20.1");
    EXPECT_EQ(info.query(L"ApplicationId"), L"Tavimora2");
    if (std::wstring(program) == L"Uninstall.exe") {
      EXPECT_EQ(qvtest::run_process(qvtest::quote(p)), 0) << qvtest::narrow(program);
      continue;
    }
    // Without arguments the program shows its window until it is closed.
    qvtest::child_process child(qvtest::quote(p));
    ASSERT_TRUE(child.started());
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
      ::Sleep(50);
      window = ::FindWindowW(L"Tavimora2.MainWindow", nullptr);
    }
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(child.wait(), 0);
  }
  // The language libraries load as resource-only modules.
  for (const wchar_t* code : languages) {
    std::wstring p = install + L"\\Lang\\Tavimora." + code + L".dll";
    HMODULE m = ::LoadLibraryExW(p.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr) << qvtest::narrow(p);
    wchar_t text[64] = {};
    EXPECT_GT(::LoadStringW(m, 3, text, 64), 0);
    EXPECT_EQ(std::wstring(text), code);
    ::FreeLibrary(m);
  }
  qvtest::remove_tree(root);
}

}  // namespace
