// Whole installations by the real setup.exe, its wizard driven from this
// process as a user would (Next, Next, Install on the quick method), in a
// Wine prefix of this program's own (own_prefix.sh): what a finished
// installation leaves on the machine, read back file by file and value by
// value; a payload with a wrong checksum (a copy of setup.exe made by
// e2e_damage_payload) that must leave nothing; Install pressed again after
// a failed run; a product path value the registry refuses; a product that
// does not end with -10. Screenshots of the installation page after the
// run and of the end page go to <build>/screenshots-install.
#include "support/maker_contact.h"
#include "tests/common/box_driver.hpp"
#include "tests/common/test_support.hpp"
#include "tests/e2e/payload_directory.hpp"
#include "tests/e2e/setup_run.hpp"
#include "tests/engine/install_test_support.hpp"
#include "tests/wizard/wizard_driver.hpp"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <shlobj.h>
#include <windows.h>
#include <sddl.h>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

using namespace install_test;

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavimora 2";
const wchar_t kMakerKey[] = L"Software\\Quorvane Systems";
const wchar_t kProgramKey[] = L"Software\\Quorvane Systems\\Tavimora 2";
const wchar_t kSeam[] = L"QV_TAVIMORA_TEST_SEAM";
const DWORD kPolish = 15;  // the wizard's list offers it seventh; the system runs in English

std::wstring program() { return install_folder() + L"\\Tavimora.exe"; }
std::wstring uninstaller() { return install_folder() + L"\\Uninstall.exe"; }
std::wstring ulog() { return install_folder() + L"\\Uninstall.ulog"; }
std::wstring quoted(const std::wstring& path) {
  return path.find(L' ') != std::wstring::npos ? L"\"" + path + L"\"" : path;
}

// The whole text of another process's control. GetWindowText returns ""
// for another process's edit under Wine; WM_GETTEXT is answered by the
// control itself.
std::wstring full_text(HWND control) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::vector<wchar_t> buffer(length + 1);
  DWORD_PTR got = 0;
  if (!::SendMessageTimeoutW(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, 5000, &got))
    return {};
  return std::wstring(buffer.data(), static_cast<std::size_t>(got));
}

std::vector<std::wstring> split_lines(const std::wstring& text) {
  std::vector<std::wstring> out;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
    out.push_back(text.substr(at, end - at));
  if (at < text.size()) out.push_back(text.substr(at));
  return out;
}

// Where a payload file of `kind` lands on this machine.
std::wstring folder_for_kind(std::uint32_t kind) {
  switch (kind) {
    case 0: return install_folder() + L"\\Lang";
    case 1:
    case 2: return install_folder();
    case 3: return common_folder();
    case 4: return sample_folder();
  }
  return {};
}

// Folders named "quorvane_{...}" in the user's temporary folder.
std::vector<std::wstring> run_temporary_folders() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((std::wstring(temp) + L"quorvane_{*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do found.push_back(data.cFileName);
  while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return found;
}

std::wstring screenshot_path(const std::wstring& name) {
  const std::wstring folder = qvtest::binary_dir() + L"\\screenshots-install";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\" + name + L".bmp";
}

// One setup.exe (or a copy) and its wizard, driven by messages to the
// frame's buttons: Back 3, Next/Install IDOK, Exit IDCANCEL.
class InstallWizard : public testing::Test {
protected:
  void SetUp() override {
    reset_machine();
    ASSERT_TRUE(qvtest::read_payload(qvtest::setup_path(), payload)) << "the payload of setup.exe parses";
  }
  void TearDown() override {
    if (setup_ && ::WaitForSingleObject(setup_->process(), 0) != WAIT_OBJECT_0)
      qvtest::close_wizard(setup_->pid(), setup_->process());
    setup_.reset();
    ::SetEnvironmentVariableW(kSeam, nullptr);
    reset_machine();
  }

  void start(const std::wstring& exe = qvtest::setup_path()) {
    setup_ = std::make_unique<qvtest::setup_run>(exe);
    ASSERT_NE(setup_->pid(), 0u);
    frame_ = qvtest::find_wizard(setup_->pid(), 60000, setup_->process());
    ASSERT_NE(frame_, nullptr) << "no wizard appeared";
  }
  HWND page(int n) { return qvtest::wizard_page(frame_, n); }
  int current() { return qvtest::current_page(frame_); }
  // A button of the frame pressed; returns when the frame has handled it,
  // which for Install is the end of the whole run.
  bool press(int id, DWORD timeout_ms = 10000) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(frame_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL, timeout_ms,
                                 &result) != 0;
  }
  std::wstring text_of(HWND parent, int id) { return full_text(::GetDlgItem(parent, id)); }

  // On the start page, Polish: the product's language, while the
  // installer announces that it goes on in English.
  void choose_polish() {
    HWND combo = ::GetDlgItem(page(0), 1023);
    ASSERT_EQ(::SendMessageW(combo, CB_SETCURSEL, 6, 0), 6);
    ASSERT_EQ(::SendMessageW(combo, CB_GETITEMDATA, 6, 0), static_cast<LRESULT>(kPolish));
    ::PostMessageW(page(0), WM_COMMAND, MAKEWPARAM(1023, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    HWND box = qvtest::wait_for_owned(setup_->pid(), frame_);
    ASSERT_NE(box, nullptr) << "the English-only announcement";
    qvtest::answer_box(box, IDOK);
    ASSERT_TRUE(qvtest::wait_gone(box));
  }
  // Next, quick, Next: the installation page with Install.
  void to_installation_page() {
    ASSERT_EQ(current(), 0);
    ASSERT_TRUE(press(IDOK));
    ASSERT_EQ(current(), 1);
    ::SendMessageW(::GetDlgItem(page(1), 1018), BM_CLICK, 0, 0);
    ASSERT_TRUE(press(IDOK));
    ASSERT_EQ(current(), 4);
    ASSERT_EQ(text_of(frame_, IDOK), L"Install");
  }
  // Install pressed; the run's lines (those after its line of dashes).
  std::vector<std::wstring> install() {
    EXPECT_TRUE(press(IDOK, 300000)) << "the run ended";
    EXPECT_TRUE(qvtest::enabled(frame_, IDCANCEL)) << "Exit is enabled again after the run";
    const std::vector<std::wstring> all = split_lines(text_of(page(4), 1015));
    std::size_t dashes = all.size();
    for (std::size_t i = 0; i < all.size(); ++i)
      if (all[i].size() > 10 && all[i].find_first_not_of(L'-') == std::wstring::npos) dashes = i;
    EXPECT_LT(dashes, all.size()) << "the run begins with a line of dashes";
    return dashes < all.size() ? std::vector<std::wstring>(all.begin() + dashes + 1, all.end()) : all;
  }
  std::wstring status() { return text_of(page(4), 1003); }

  // The log line of each payload file, in payload order.
  std::vector<std::wstring> copy_lines(const std::wstring& ending) {
    std::vector<std::wstring> out;
    for (const qvtest::archive_entry& e : payload.entries)
      out.push_back(L"Copying File  " + quoted(folder_for_kind(e.kind) + L"\\" + e.name()) + L"..." + ending);
    return out;
  }

  // After a successful run: Next to the end page, then Exit ends the
  // program without a question.
  void finish_on_the_end_page(const std::wstring& screenshot) {
    EXPECT_FALSE(qvtest::enabled(frame_, 3)) << "no way back into a finished run";
    EXPECT_EQ(text_of(frame_, IDOK), L"Next  >");
    EXPECT_EQ(text_of(frame_, IDCANCEL), L"Exit");
    ASSERT_TRUE(press(IDOK));
    ASSERT_EQ(current(), 5);
    EXPECT_EQ(text_of(page(5), 1016), L"Installation is complete.");
    EXPECT_FALSE(qvtest::enabled(frame_, IDOK));
    if (!screenshot.empty()) {
      EXPECT_TRUE(qvtest::save_window_bitmap(frame_, screenshot_path(screenshot)));
    }
    ::PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(setup_->wait(20000), 0) << "Exit ended the program without a question";
  }

  std::unique_ptr<qvtest::setup_run> setup_;
  HWND frame_ = nullptr;
  qvtest::payload_archive payload;
};

TEST_F(InstallWizard, NextNextInstallInstallsEverythingAndExitEndsWithoutAQuestion) {
  start();
  choose_polish();
  to_installation_page();
  const std::vector<std::wstring> lines = install();

  // The log: preparation, one line per file ending in "OK", the three steps.
  std::vector<std::wstring> expected_lines = {L"Preparing Installation...OK"};
  for (const std::wstring& line : copy_lines(L"OK")) expected_lines.push_back(line);
  expected_lines.push_back(L"Shortcuts Creation...OK");
  expected_lines.push_back(L"Registry Data Writing...OK");
  expected_lines.push_back(L"Installation Data Writing...OK");
  EXPECT_EQ(lines, expected_lines);
  EXPECT_EQ(status(), L"Click on 'Next' to continue.");
  EXPECT_EQ(::SendMessageW(::GetDlgItem(page(4), 1014), PBM_GETPOS, 0, 0), 100);
  EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(page(4), 1014)));

  // Every payload file in place with its bytes and CRC.
  ASSERT_EQ(payload.entries.size(), 33u);
  std::map<std::wstring, std::wstring> expected_ulog;  // path -> code and state
  for (const qvtest::archive_entry& e : payload.entries) {
    const std::wstring path = folder_for_kind(e.kind) + L"\\" + e.name();
    SCOPED_TRACE(qvtest::narrow(path));
    ASSERT_FALSE(folder_for_kind(e.kind).empty()) << e.kind;
    const std::string bytes = qvtest::read_file(path);
    EXPECT_EQ(bytes.size(), e.size);
    EXPECT_EQ(crc_of(bytes), e.crc);
    EXPECT_TRUE(bytes == payload.bytes.substr(e.data_at, static_cast<std::size_t>(e.size)));
    wchar_t code[8];
    swprintf(code, 8, L"01%02x:1", e.kind);
    expected_ulog[path] = code;
  }
  EXPECT_TRUE(::GetFileAttributesW(program().c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(::GetFileAttributesW(uninstaller().c_str()) & FILE_ATTRIBUTE_READONLY);

  // Two Start-menu shortcuts and one on the desktop.
  struct shortcut_case {
    std::wstring link, target, code;
  };
  for (const shortcut_case& s : {shortcut_case{menu_folder() + L"\\Tavimora 2.31t.lnk", program(), L"02ff:1"},
                                 shortcut_case{menu_folder() + L"\\Uninstall Tavimora.lnk", uninstaller(), L"03ff:1"},
                                 shortcut_case{desktop_shortcut(), program(), L"04ff:1"}}) {
    SCOPED_TRACE(qvtest::narrow(s.link));
    std::wstring target, working;
    ASSERT_TRUE(read_shortcut(s.link, target, working));
    EXPECT_EQ(target, s.target);
    EXPECT_EQ(working, install_folder());
    expected_ulog[s.link] = s.code;
  }

  // The twelve values of the "Uninstall" entry, and the product path value.
  // QvLanguage is the wizard's language, not the system's.
  const std::vector<expected_value> values = expected_uninstall_values(program(), uninstaller(), kPolish);
  for (const expected_value& v : values) {
    SCOPED_TRACE(qvtest::narrow(v.name));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(read_value(HKEY_LOCAL_MACHINE, kUninstallKey, v.name, type, data));
    EXPECT_EQ(type, v.type);
    if (v.type == REG_SZ)
      EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kUninstallKey, v.name), v.text);
    else
      EXPECT_EQ(read_number(HKEY_LOCAL_MACHINE, kUninstallKey, v.name), v.number);
  }
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path"), program());
  expected_ulog[L"HKEY_LOCAL_MACHINE\\" + std::wstring(kUninstallKey)] = L"05ff:1";

  // The product ran once, with exactly this command line, and registered
  // its document type.
  EXPECT_EQ(read_text(HKEY_CURRENT_USER, kProgramKey, L"Last Command Line"), L"\"" + program() + L"\" /Register /Background");
  EXPECT_EQ(read_text(HKEY_CLASSES_ROOT, L".tvm", L""), L"Tavimora2.Document");
  EXPECT_EQ(read_text(HKEY_CLASSES_ROOT, L"Tavimora2.Document\\shell\\open\\command", L""),
            L"\"" + program() + L"\" \"%1\"");
  EXPECT_EQ(read_text(HKEY_CLASSES_ROOT, L"Tavimora2.Document\\DefaultIcon", L""), program() + L",0");
  expected_ulog[L"HKEY_CLASSES_ROOT\\..."] = L"06ff:1";

  // The uninstall log beside the uninstaller lists exactly what was
  // installed: the files, the folders made for them, the shortcuts and the
  // registry entries.
  const std::wstring programs = folder_of(CSIDL_PROGRAM_FILES) + L"\\Quorvane Systems";
  const std::wstring data_root = folder_of(CSIDL_COMMON_APPDATA) + L"\\Quorvane Systems";
  const std::wstring menu_root = folder_of(CSIDL_COMMON_PROGRAMS) + L"\\Quorvane Systems";
  for (const std::wstring& folder : {programs, install_folder(), install_folder() + L"\\Lang", data_root,
                                     common_folder(), sample_folder(), menu_root, menu_folder()})
    expected_ulog[folder] = L"00ff:1";
  const std::vector<std::wstring> log = read_ulog(ulog());
  ASSERT_GT(log.size(), 6u);
  EXPECT_EQ(log[0], L"// Uninstall Log File v1");
  EXPECT_EQ(log[3], L"// Install Path : " + install_folder());
  std::map<std::wstring, std::wstring> listed;
  for (std::size_t i = 6; i < log.size(); ++i) {
    const std::size_t dash = log[i].find(L" -- ");
    ASSERT_NE(dash, std::wstring::npos) << qvtest::narrow(log[i]);
    ASSERT_GE(dash, 6u);
    EXPECT_TRUE(listed.emplace(log[i].substr(dash + 4), log[i].substr(dash - 6, 6)).second) << qvtest::narrow(log[i]);
  }
  EXPECT_EQ(listed, expected_ulog);
  EXPECT_EQ(run_temporary_folders(), std::vector<std::wstring>{}) << "the run's temporary folder is gone";

  EXPECT_TRUE(qvtest::save_window_bitmap(frame_, screenshot_path(L"installation-done")));
  finish_on_the_end_page(L"end");
}

// A file the payload's directory gives a wrong CRC: the program, the last
// file of the payload, after an earlier uninstaller was replaced.
TEST_F(InstallWizard, AWrongChecksumLeavesNothingInstalledAndTheReplacedFileBack) {
  const std::wstring damaged = qvtest::scratch_folder(L"damaged") + L"\\setup.exe";
  const std::wstring tool = qvtest::binary_dir() + L"\\tests\\e2e\\e2e_damage_payload.exe";
  ASSERT_EQ(qvtest::run_process(qvtest::quote(tool) + L" " + qvtest::quote(qvtest::setup_path()) + L" " +
                                qvtest::quote(damaged) + L" Tavimora.exe"),
            0);
  ASSERT_EQ(payload.entries.back().name(), L"Tavimora.exe");
  ASSERT_EQ(payload.entries[payload.entries.size() - 10].name(), L"Uninstall.exe");  // before the languages

  ::SHCreateDirectoryExW(nullptr, install_folder().c_str(), nullptr);
  const std::string earlier = "the earlier uninstaller\r\n";
  qvtest::write_file(uninstaller(), earlier);
  ::SetFileAttributesW(uninstaller().c_str(), FILE_ATTRIBUTE_READONLY);

  start(damaged);
  to_installation_page();
  const std::vector<std::wstring> lines = install();
  std::vector<std::wstring> expected_lines = {L"Preparing Installation...OK"};
  const std::vector<std::wstring> copies = copy_lines(L"OK");
  expected_lines.insert(expected_lines.end(), copies.begin(), copies.end() - 1);
  expected_lines.push_back(L"Copying File  " + quoted(program()) + L"...Failed");
  EXPECT_EQ(lines, expected_lines);
  EXPECT_EQ(status(), L"Installation failed (Error Code 3).");
  EXPECT_EQ(text_of(frame_, IDOK), L"Install") << "the run is offered again";
  EXPECT_TRUE(qvtest::save_window_bitmap(frame_, screenshot_path(L"installation-failed")));

  // Nothing installed remains; the earlier file is back as it was.
  EXPECT_EQ(qvtest::read_file(uninstaller()), earlier);
  EXPECT_TRUE(::GetFileAttributesW(uninstaller().c_str()) & FILE_ATTRIBUTE_READONLY);
  std::vector<std::wstring> left;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((install_folder() + L"\\*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do
    if (data.cFileName[0] != L'.') left.push_back(data.cFileName);
  while (::FindNextFileW(find, &data));
  ::FindClose(find);
  EXPECT_EQ(left, std::vector<std::wstring>{L"Uninstall.exe"});
  EXPECT_FALSE(exists(folder_of(CSIDL_COMMON_APPDATA) + L"\\Quorvane Systems"));
  EXPECT_FALSE(exists(sample_folder()));
  EXPECT_FALSE(exists(folder_of(CSIDL_COMMON_PROGRAMS) + L"\\Quorvane Systems"));
  EXPECT_FALSE(exists(desktop_shortcut()));
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kMakerKey));
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kProgramKey)) << "the product never ran";
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L".tvm"));
  EXPECT_EQ(run_temporary_folders(), std::vector<std::wstring>{});

  // Exit after a failed run asks; Yes ends the program.
  ::PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  HWND box = qvtest::wait_for_owned(setup_->pid(), frame_);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(qvtest::box_text(box), L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
  qvtest::answer_box(box, IDYES);
  EXPECT_EQ(setup_->wait(20000), 0);
}

// A run that failed because a file was in use, and Install pressed again
// in the same wizard once the file is free: the second run installs.
TEST_F(InstallWizard, InstallPressedAgainAfterAFailedRunSucceeds) {
  ::SHCreateDirectoryExW(nullptr, install_folder().c_str(), nullptr);
  qvtest::write_file(uninstaller(), "the earlier uninstaller");
  const std::wstring event_name = L"qvtest-e2e-hold-" + std::to_wstring(::GetCurrentProcessId());
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
  ASSERT_NE(ready, nullptr);
  const std::wstring holder_exe = qvtest::binary_dir() + L"\\tests\\engine\\engine_hold_file.exe";
  auto holder = std::make_unique<qvtest::child_process>(qvtest::quote(holder_exe) + L" " + qvtest::quote(uninstaller()) +
                                                        L" 600000 " + event_name + L" exclusive");
  ASSERT_TRUE(holder->started());
  const DWORD held = ::WaitForSingleObject(ready, 20000);
  ::CloseHandle(ready);
  ASSERT_EQ(held, WAIT_OBJECT_0);

  start();
  to_installation_page();
  std::vector<std::wstring> lines = install();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), L"Copying File  " + quoted(uninstaller()) + L"...Failed");
  EXPECT_EQ(status(), L"Installation failed (Error Code 1:00000020).");
  EXPECT_FALSE(exists(sample_folder()));
  EXPECT_EQ(current(), 4);
  EXPECT_EQ(text_of(frame_, IDOK), L"Install");
  EXPECT_TRUE(qvtest::enabled(frame_, IDOK));

  holder.reset();  // the program that held the file ends
  EXPECT_EQ(qvtest::read_file(uninstaller()), "the earlier uninstaller");
  lines = install();
  EXPECT_EQ(lines.size(), 37u);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), L"Installation Data Writing...OK");
  EXPECT_EQ(status(), L"Click on 'Next' to continue.");
  EXPECT_EQ(qvtest::read_file(uninstaller()), qvtest::read_file(qvtest::binary_dir() + L"\\product\\bin\\Uninstall.exe"));
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path"), program());
  EXPECT_TRUE(exists(ulog()));
  finish_on_the_end_page(L"");
}

// The maker's key made to refuse new values by its access list (deny
// KEY_SET_VALUE to everyone), as a locked-down machine may: the product path
// value cannot be written, and the run rolls everything back.
TEST_F(InstallWizard, AProductPathValueThatIsRefusedRollsEverythingBack) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMakerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR refusing = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x2;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                     &refusing, nullptr));
  const LSTATUS set = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, refusing);
  ::LocalFree(refusing);
  ::RegCloseKey(key);
  ASSERT_EQ(set, ERROR_SUCCESS);
  HKEY probe = nullptr;
  const LSTATUS opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_SET_VALUE, &probe);
  if (opened == ERROR_SUCCESS) ::RegCloseKey(probe);
  ASSERT_EQ(opened, ERROR_ACCESS_DENIED) << "the key's access list is enforced";

  start();
  to_installation_page();
  const std::vector<std::wstring> lines = install();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], L"Shortcuts Creation...OK");
  EXPECT_EQ(lines.back(), L"Registry Data Writing...Failed");
  EXPECT_EQ(status(), L"Installation failed (Error Code -1).");
  EXPECT_EQ(text_of(frame_, IDOK), L"Install");

  EXPECT_FALSE(exists(folder_of(CSIDL_PROGRAM_FILES) + L"\\Quorvane Systems"));
  EXPECT_FALSE(exists(folder_of(CSIDL_COMMON_APPDATA) + L"\\Quorvane Systems"));
  EXPECT_FALSE(exists(sample_folder()));
  EXPECT_FALSE(exists(folder_of(CSIDL_COMMON_PROGRAMS) + L"\\Quorvane Systems"));
  EXPECT_FALSE(exists(desktop_shortcut()));
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path"), L"<missing>");
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kProgramKey)) << "the product never ran";
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L".tvm"));
  EXPECT_EQ(run_temporary_folders(), std::vector<std::wstring>{});
}

// setup.exe hands its environment to the product; the product's seam makes
// it end with 5 in place of -10.
TEST_F(InstallWizard, AProductThatEndsWithAnotherCodeKeepsTheInstallation) {
  ::SetEnvironmentVariableW(kSeam, L"exit:5");
  start();
  to_installation_page();
  const std::vector<std::wstring> lines = install();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], L"Shortcuts Creation...OK");
  EXPECT_EQ(lines[lines.size() - 2], L"Registry Data Writing...Failed");
  EXPECT_EQ(lines.back(), L"Installation Data Writing...OK");
  EXPECT_EQ(status(), L"Click on 'Next' to continue.");
  EXPECT_EQ(read_text(HKEY_CURRENT_USER, kProgramKey, L"Last Command Line"), L"\"" + program() + L"\" /Register /Background");
  EXPECT_TRUE(exists(program()));
  EXPECT_TRUE(exists(desktop_shortcut()));
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path"), program());
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Tavimora 2.31t");
  bool classes_root_line = false;
  for (const std::wstring& line : read_ulog(ulog()))
    if (line.find(L"HKEY_CLASSES_ROOT") != std::wstring::npos) {
      classes_root_line = true;
      EXPECT_EQ(line.substr(line.find(L" -- ") - 6, 6), L"06ff:0") << "recorded as not done";
    }
  EXPECT_TRUE(classes_root_line);
  finish_on_the_end_page(L"");
}

}  // namespace
