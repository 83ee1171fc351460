// The installation run for real, in a Wine prefix of this program's own:
// the shipped payload and small payloads of the test's making, installed
// into Program Files with shortcuts, registry entries, the installed program
// started and the uninstall log; and the failures that must leave nothing.
// Also the stand-in product program, the shortcut writer and the registry
// entries on their own.
#include "engine/install_run.hpp"
#include "engine/registry_entries.hpp"
#include "engine/shortcut.hpp"
#include "packer/packer.hpp"
#include "support/app_identity.hpp"
#include "support/handle.hpp"
#include "support/maker_contact.h"
#include "tests/common/test_support.hpp"
#include "tests/engine/install_test_support.hpp"
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/back_inserter.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>

using namespace install_test;

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavimora 2";
const wchar_t kMakerKey[] = L"Software\\Quorvane Systems";
const wchar_t kProgramKey[] = L"Software\\Quorvane Systems\\Tavimora 2";

std::wstring product_bin(const wchar_t* name) { return qvtest::binary_dir() + L"\\product\\bin\\" + name; }

DWORD attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

void set_seam(const wchar_t* value) { ::SetEnvironmentVariableW(L"QV_TAVIMORA_TEST_SEAM", value); }

// --- The stand-in product program.

class ProductProgram : public testing::Test {
protected:
  void SetUp() override { reset_machine(); }
  void TearDown() override {
    set_seam(nullptr);
    reset_machine();
  }
};

TEST_F(ProductProgram, RegisterWritesItsDocumentTypeAndEndsWithMinus10) {
  const std::wstring program = product_bin(L"Tavimora.exe");
  const std::wstring command = qvtest::quote(program) + L" /Register /Background /update=0002001e00050007";
  EXPECT_EQ(qvtest::run_process(command), -10);
  EXPECT_EQ(read_text(HKEY_CURRENT_USER, kProgramKey, L"Last Command Line"), command);
  EXPECT_EQ(read_text(HKEY_CLASSES_ROOT, L".tvm", L""), L"Tavimora2.Document");
  EXPECT_EQ(read_text(HKEY_CLASSES_ROOT, L"Tavimora2.Document\\shell\\open\\command", L""),
            L"\"" + program + L"\" \"%1\"");
  EXPECT_EQ(read_text(HKEY_CLASSES_ROOT, L"Tavimora2.Document\\DefaultIcon", L""), program + L",0");
}

TEST_F(ProductProgram, TestSeamsRefuseOrChangeTheExitCode) {
  const std::wstring command = qvtest::quote(product_bin(L"Tavimora.exe")) + L" /Register /Background";
  set_seam(L"refuse-register");
  EXPECT_EQ(qvtest::run_process(command), 1);
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L".tvm"));
  set_seam(L"exit:3");
  EXPECT_EQ(qvtest::run_process(command), 3);
  EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, L".tvm"));
}

TEST_F(ProductProgram, WithoutArgumentsShowsAWindowAndCountsAsRunning) {
  qv::instance_counter ours(L"Tavimora2" + std::wstring(qv::kInstanceCountSuffix));
  ASSERT_EQ(ours.count(), 1u);
  qvtest::child_process product(qvtest::quote(product_bin(L"Tavimora.exe")));
  ASSERT_TRUE(product.started());
  HWND window = nullptr;
  for (int i = 0; i < 200 && !window; ++i) {
    ::Sleep(50);
    window = ::FindWindowW(L"Tavimora2.MainWindow", nullptr);
  }
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ours.count(), 2u);  // the product holds its unit while it runs
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(product.wait(), 0);
  EXPECT_EQ(ours.count(), 1u);
}

// --- Shortcuts on their own.

TEST(Shortcut, TargetAndWorkingFolderReadBack) {
  const std::wstring root = qvtest::scratch_folder(L"shortcut");
  const std::wstring target_folder = root + L"\\With Blanks\\App";
  ::SHCreateDirectoryExW(nullptr, target_folder.c_str(), nullptr);
  const std::wstring target = target_folder + L"\\My Program.exe";
  qvtest::write_file(target, "MZ");

  std::wstring link;
  ASSERT_TRUE(create_shortcut(target, root, nullptr, link));
  EXPECT_EQ(link, root + L"\\My Program.lnk");  // named after the target without extension
  std::wstring read_target, read_working;
  ASSERT_TRUE(read_shortcut(link, read_target, read_working));
  EXPECT_EQ(read_target, target);  // no quotes for the blanks
  EXPECT_EQ(read_working, target_folder);

  // Given a name, and over an existing file of that name.
  qvtest::write_file(root + L"\\Named.lnk", "not a shortcut");
  std::wstring named;
  ASSERT_TRUE(create_shortcut(target, root, L"Named", named));
  EXPECT_EQ(named, root + L"\\Named.lnk");
  ASSERT_TRUE(read_shortcut(named, read_target, read_working));
  EXPECT_EQ(read_target, target);

  // A folder that does not exist: nothing saved, nothing reported back.
  std::wstring untouched = L"unchanged";
  EXPECT_FALSE(create_shortcut(target, root + L"\\missing", L"X", untouched));
  EXPECT_EQ(untouched, L"unchanged");
  // A shortcut path beyond the shell's limit is refused before COM is asked.
  EXPECT_FALSE(create_shortcut(target, root, std::wstring(MAX_PATH, L'n').c_str(), untouched));
  EXPECT_EQ(untouched, L"unchanged");
  qvtest::remove_tree(root);
}

// --- Registry entries on their own.

class RegistryEntries : public testing::Test {
protected:
  void SetUp() override { reset_machine(); }
  void TearDown() override { reset_machine(); }
};


product_identity identity_with(DWORD language) {
  product_identity product = identity();
  product.language = static_cast<std::int32_t>(language);
  return product;
}

// The twelve values with their types and data, in the order written.
void expect_uninstall_values(const std::wstring& program, const std::wstring& uninstaller, DWORD language) {
  const auto expected = expected_uninstall_values(program, uninstaller, language);
  for (const expected_value& e : expected) {
    SCOPED_TRACE(testing::Message() << qvtest::narrow(e.name));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(read_value(HKEY_LOCAL_MACHINE, kUninstallKey, e.name, type, data));
    EXPECT_EQ(type, e.type);
    if (e.type == REG_SZ) {
      EXPECT_EQ(data.size(), (e.text.size() + 1) * 2);  // stored with the terminating zero
      EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kUninstallKey, e.name), e.text);
    } else {
      ASSERT_EQ(data.size(), 4u);
      DWORD number = 0;
      std::memcpy(&number, data.data(), 4);
      EXPECT_EQ(number, e.number);
    }
  }
  // The write order is not observable here: Wine enumerates values sorted
  // by name. The list the entry is written from is checked for it instead.
  const std::vector<registry_value> written = uninstall_values(program, uninstaller, identity_with(language));
  ASSERT_EQ(written.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(written[i].name, expected[i].name);
    EXPECT_EQ(written[i].type, expected[i].type);
  }
}

TEST_F(RegistryEntries, FirstInstallationCreatesTheEntry) {
  CInstallRecord record;
  product_identity product = identity();
  product.language = 2;  // German, whatever the system's language
  const std::wstring program = L"C:\\Program Files\\Quorvane Systems\\Tavimora 2\\Tavimora.exe";
  const std::wstring uninstaller = L"C:\\Program Files\\Quorvane Systems\\Tavimora 2\\Uninstall.exe";
  ASSERT_TRUE(write_uninstall_entry(program, uninstaller, product, record));
  ASSERT_NE(record.items.tail(), nullptr);
  EXPECT_EQ(record.items.tail()->kind, ItemKind::UninstallKey);
  EXPECT_TRUE(record.items.tail()->committed);
  EXPECT_TRUE(record.items.tail()->backupPath.empty());  // new: a rollback deletes it
  EXPECT_FALSE(record.itemOpen);
  expect_uninstall_values(program, uninstaller, 2);

  record.Rollback();
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(RegistryEntries, AnExistingEntryIsSavedAndOverwrittenValueByValue) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t old_name[] = L"Tavimora 2.30";
  ::RegSetValueExW(key, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(old_name), sizeof old_name);
  ::RegSetValueExW(key, L"Comments", 0, REG_SZ, reinterpret_cast<const BYTE*>(old_name), sizeof old_name);
  ::RegCloseKey(key);

  CInstallRecord record;
  ASSERT_TRUE(write_uninstall_entry(L"C:\\P\\Tavimora.exe", L"C:\\P\\Uninstall.exe", identity(), record));
  ASSERT_NE(record.items.tail(), nullptr);
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Tavimora 2.31t");
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kUninstallKey, L"Comments"), old_name);  // not ours: left alone
  // The earlier entry was captured before it was overwritten: a rollback
  // brings back its values and removes the ones it did not have.
  record.Rollback();
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), old_name);
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kUninstallKey, L"Comments"), old_name);
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), L"<missing>");
}

TEST_F(RegistryEntries, ProductPathValue) {
  write_product_path(L"C:\\Program Files\\Quorvane Systems\\Tavimora 2\\Tavimora.exe", identity());
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_TRUE(read_value(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path"),
            L"C:\\Program Files\\Quorvane Systems\\Tavimora 2\\Tavimora.exe");
}

// --- Whole runs.

// A small payload of the test's own: the real program and uninstaller, a
// sample, a common-data file, a language library and a temporary file.
struct small_payload_options {
  bool wrong_language_crc = false;
};

std::string small_payload(const small_payload_options& options = {}) {
  using qv::packer::make_file;
  std::vector<qv::packer::packed_file> files;
  files.push_back(make_file(L"C:\\build\\Demo.tvm", L"<SamplePath>", entry_kind::sample, std::string(3000, 's')));
  files.push_back(make_file(L"C:\\build\\Shared.dat", L"<CommonData>\\Quorvane Systems\\Tavimora 2",
                            entry_kind::common_data, std::string(2000, 'c')));
  files.push_back(make_file(L"C:\\build\\Uninstall.exe", L"<InstallPath>", entry_kind::uninstaller,
                            qvtest::read_file(product_bin(L"Uninstall.exe"))));
  files.push_back(make_file(L"C:\\build\\Tavimora.en.dll", L"<InstallPath>\\Lang", entry_kind::language,
                            std::string(5000, 'l')));
  if (options.wrong_language_crc) files.back().entry.crc ^= 1;
  files.push_back(make_file(L"C:\\build\\helper.bin", L"<Temporary>", entry_kind::temporary, std::string(100, 't')));
  files.push_back(make_file(L"C:\\build\\Tavimora.exe", L"<InstallPath>", entry_kind::program,
                            qvtest::read_file(product_bin(L"Tavimora.exe"))));
  return qv::packer::pack(files);
}

install_run_seams payload_seam(const std::string& compressed) {
  install_run_seams seams;
  seams.open_payload = [&compressed] { return std::make_unique<qv::imemstream>(compressed.data(), compressed.size()); };
  return seams;
}

class InstallRun : public testing::Test {
protected:
  void SetUp() override {
    reset_machine();
    settings.m_strInstallFolder = install_folder();
    settings.m_strMenuFolder = menu_folder();
    settings.m_bMenuShortcut = true;
    settings.m_bDesktopShortcut = true;
    ASSERT_TRUE(settings.m_instanceLock.try_lock());
  }
  void TearDown() override {
    set_seam(nullptr);
    reset_machine();
  }

  std::wstring program() const { return install_folder() + L"\\Tavimora.exe"; }
  std::wstring uninstaller() const { return install_folder() + L"\\Uninstall.exe"; }
  std::wstring ulog() const { return install_folder() + L"\\Uninstall.ulog"; }

  // The product's own note of how it was started; "<missing>" when it never ran.
  std::wstring product_command_line_seen() const {
    return read_text(HKEY_CURRENT_USER, kProgramKey, L"Last Command Line");
  }

  std::vector<std::wstring> lines_starting(const std::wstring& prefix) const {
    std::vector<std::wstring> out;
    for (const std::wstring& line : page.lines())
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
  }

  // Nothing of an installation is left on the machine.
  void expect_nothing_installed() {
    EXPECT_FALSE(exists(program()));
    EXPECT_FALSE(exists(install_folder() + L"\\Lang"));
    EXPECT_FALSE(exists(common_folder()));
    EXPECT_FALSE(exists(folder_of(CSIDL_COMMON_APPDATA) + L"\\Quorvane Systems"));
    EXPECT_FALSE(exists(sample_folder()));
    EXPECT_FALSE(exists(menu_folder()));
    EXPECT_FALSE(exists(desktop_shortcut()));
    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path"), L"<missing>");
    EXPECT_FALSE(exists(ulog()));
    EXPECT_FALSE(exists(settings.m_strTempFolder));
  }

  test_settings settings;
  fake_page page;
  product_identity product = identity();
};

TEST_F(InstallRun, TheShippedPayloadInstallsCompletely) {
  // Pending when the run starts: the page's application sees it during the extraction.
  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_APP + 5, 0, 0));
  ASSERT_TRUE(run_installation(settings, page, product));
  EXPECT_GE(page.pre_translated, 1);

  // The directory of the payload, read here from the resource itself.
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(134), MAKEINTRESOURCEW(260));
  ASSERT_NE(found, nullptr);
  std::string archive;
  {
    boost::iostreams::filtering_istreambuf in;
    in.push(boost::iostreams::bzip2_decompressor());
    in.push(boost::iostreams::array_source(static_cast<const char*>(::LockResource(::LoadResource(self, found))),
                                           ::SizeofResource(self, found)));
    boost::iostreams::copy(in, boost::iostreams::back_inserter(archive));
  }
  auto u32 = [&](std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, archive.data() + at, 4);
    return v;
  };
  std::size_t at = 8;
  const std::uint32_t count = u32(at);
  at += 4;
  ASSERT_EQ(count, 33u);
  std::vector<std::wstring> installed;
  const std::vector<std::wstring> log_lines = page.lines();
  std::size_t data_at = static_cast<std::size_t>(u32(0));
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t n = u32(at);
    std::wstring source(reinterpret_cast<const wchar_t*>(archive.data() + at + 4), n);
    at += 4 + 2 * n;
    n = u32(at);
    std::wstring destination(reinterpret_cast<const wchar_t*>(archive.data() + at + 4), n);
    at += 4 + 2 * n;
    const std::uint32_t kind = u32(at);
    std::uint64_t size;
    std::memcpy(&size, archive.data() + at + 4, 8);
    const std::uint32_t crc = u32(at + 12);
    at += 16;
    const std::wstring name = source.substr(source.find_last_of(L"\\/") + 1);
    std::wstring folder;
    if (kind == 1 || kind == 2) folder = install_folder();
    if (kind == 0) folder = install_folder() + L"\\Lang";
    if (kind == 3) folder = common_folder();
    if (kind == 4) folder = sample_folder();
    ASSERT_FALSE(folder.empty()) << kind;
    const std::wstring path = folder + L"\\" + name;
    SCOPED_TRACE(qvtest::narrow(path));
    ASSERT_TRUE(exists(path));
    const std::string bytes = qvtest::read_file(path);
    EXPECT_EQ(bytes.size(), size);
    EXPECT_EQ(crc_of(bytes), crc);
    EXPECT_EQ(bytes, archive.substr(data_at, static_cast<std::size_t>(size)));
    data_at += static_cast<std::size_t>(size);
    installed.push_back(path);
    // One line per file, ending in "OK".
    EXPECT_EQ(std::count(log_lines.begin(), log_lines.end(),
                         L"Copying File  " + (path.find(L' ') != std::wstring::npos ? L"\"" + path + L"\"" : path) +
                             L"...OK"),
              1);
  }

  const std::vector<std::wstring> lines = page.lines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0].find_first_not_of(L'-'), std::wstring::npos);
  EXPECT_EQ(lines[1], L"Preparing Installation...OK");
  EXPECT_EQ(lines_starting(L"Copying File  ").size(), 33u);
  EXPECT_EQ(lines[lines.size() - 3], L"Shortcuts Creation...OK");
  EXPECT_EQ(lines[lines.size() - 2], L"Registry Data Writing...OK");
  EXPECT_EQ(lines[lines.size() - 1], L"Installation Data Writing...OK");
  EXPECT_EQ(page.status(), L"Click on 'Next' to continue.");

  // The progress bar: shown, never back, 100 only at the end.
  EXPECT_TRUE(page.progress_shown);
  ASSERT_FALSE(page.progress.empty());
  EXPECT_EQ(page.progress.front(), 0);
  EXPECT_EQ(page.progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(page.progress.begin(), page.progress.end()));
  EXPECT_EQ(std::count(page.progress.begin(), page.progress.end(), 100), 1);

  // Program and uninstaller read-only.
  EXPECT_EQ(page.m_strProgramPath, program());
  EXPECT_EQ(page.m_strUninstallerPath, uninstaller());
  EXPECT_TRUE(attributes(program()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(attributes(uninstaller()) & FILE_ATTRIBUTE_READONLY);

  // Shortcuts.
  struct shortcut_case {
    std::wstring link, target;
  };
  for (const shortcut_case& s : {shortcut_case{menu_folder() + L"\\Tavimora 2.31t.lnk", program()},
                                 shortcut_case{menu_folder() + L"\\Uninstall Tavimora.lnk", uninstaller()},
                                 shortcut_case{desktop_shortcut(), program()}}) {
    SCOPED_TRACE(qvtest::narrow(s.link));
    std::wstring target, working;
    ASSERT_TRUE(read_shortcut(s.link, target, working));
    EXPECT_EQ(target, s.target);
    EXPECT_EQ(working, install_folder());
  }

  // Registry.
  expect_uninstall_values(program(), uninstaller(), static_cast<DWORD>(product.language));
  EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path"), program());

  // The product registered itself, started with exactly this command line
  // in its own folder; the installer's mutex is ours again.
  EXPECT_EQ(product_command_line_seen(), L"\"" + program() + L"\" /Register /Background");
  EXPECT_EQ(read_text(HKEY_CURRENT_USER, kProgramKey, L"Last Working Folder"), install_folder());
  EXPECT_EQ(read_number(HKEY_CURRENT_USER, kProgramKey, L"Last Show Command"), static_cast<DWORD>(SW_SHOWNOACTIVATE));
  // The high priority class is asked for, but Wine 8 starts the child at the
  // normal class (its GetPriorityClass answers 0x20), so it cannot be seen here.
  EXPECT_EQ(read_text(HKEY_CLASSES_ROOT, L".tvm", L""), L"Tavimora2.Document");
  EXPECT_TRUE(settings.m_instanceLock.owned());

  // The uninstall log lists exactly what was installed.
  const std::vector<std::wstring> log = read_ulog(ulog());
  ASSERT_GT(log.size(), 6u);
  EXPECT_EQ(log[0], L"// Uninstall Log File v1");
  EXPECT_EQ(log[3], L"// Install Path : " + install_folder());
  std::map<std::wstring, std::wstring> code_of;  // path -> code and state
  for (std::size_t i = 6; i < log.size(); ++i) {
    const std::size_t dash = log[i].find(L" -- ");
    ASSERT_NE(dash, std::wstring::npos) << qvtest::narrow(log[i]);
    code_of[log[i].substr(dash + 4)] = log[i].substr(dash - 6, 6);
  }
  std::size_t files = 0;
  for (const auto& entry : code_of)
    if (entry.second.compare(0, 2, L"01") == 0) ++files;
  EXPECT_EQ(files, installed.size());
  for (const std::wstring& path : installed) {
    ASSERT_TRUE(code_of.count(path)) << qvtest::narrow(path);
    EXPECT_EQ(code_of[path].substr(4), L":1");
  }
  EXPECT_EQ(code_of[menu_folder() + L"\\Tavimora 2.31t.lnk"], L"02ff:1");
  EXPECT_EQ(code_of[menu_folder() + L"\\Uninstall Tavimora.lnk"], L"03ff:1");
  EXPECT_EQ(code_of[desktop_shortcut()], L"04ff:1");
  EXPECT_EQ(code_of[L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavimora 2"],
            L"05ff:1");
  EXPECT_EQ(code_of[L"HKEY_CLASSES_ROOT\\..."], L"06ff:1");
  EXPECT_EQ(code_of[folder_of(CSIDL_PROGRAM_FILES) + L"\\Quorvane Systems"], L"00ff:1");

  // The run's temporary folder is gone.
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring prefix = std::wstring(temp) + L"quorvane_{";
  EXPECT_EQ(settings.m_strTempFolder.compare(0, prefix.size(), prefix), 0) << qvtest::narrow(settings.m_strTempFolder);
  EXPECT_EQ(settings.m_strTempFolder.size(), prefix.size() + 37);  // 36 characters of the UUID and "}"
  EXPECT_EQ(settings.m_strTempFolder.back(), L'}');
  EXPECT_FALSE(exists(settings.m_strTempFolder));
}

TEST_F(InstallRun, NoTemporaryFolderNameNoInstallation) {
  // A temporary folder too long for the run's folder name to follow.
  wchar_t tmp[4096] = {}, temp[4096] = {};
  const DWORD had_tmp = ::GetEnvironmentVariableW(L"TMP", tmp, 4096);
  const DWORD had_temp = ::GetEnvironmentVariableW(L"TEMP", temp, 4096);
  const std::wstring long_folder = L"C:\\" + std::wstring(250, L'a');
  ::SetEnvironmentVariableW(L"TMP", long_folder.c_str());
  ::SetEnvironmentVariableW(L"TEMP", long_folder.c_str());
  const bool result = run_installation(settings, page, product);
  ::SetEnvironmentVariableW(L"TMP", had_tmp ? tmp : nullptr);
  ::SetEnvironmentVariableW(L"TEMP", had_temp ? temp : nullptr);
  EXPECT_FALSE(result);
  const std::vector<std::wstring> lines = page.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], L"0000006f (GetTempPath)");
  EXPECT_EQ(page.status(), L"Installation failed (Error Code 0000006f (GetTempPath)).");
  EXPECT_TRUE(page.progress.empty());
  EXPECT_FALSE(exists(install_folder()));
}

TEST_F(InstallRun, AnUpdateKeepsSamplesAndExistingCommonDataAndTellsTheVersion) {
  const std::string payload = small_payload();
  // A common-data file that no earlier installation recorded is already there.
  ::SHCreateDirectoryExW(nullptr, common_folder().c_str(), nullptr);
  qvtest::write_file(common_folder() + L"\\Shared.dat", "the user's own");
  settings.m_nEarlierState = EarlierState::OlderVersion;
  settings.m_nEarlierVersion =
      (std::uint64_t{2} << 48) | (std::uint64_t{30} << 32) | (std::uint64_t{5} << 16) | 7;  // 2.30.5.7

  ASSERT_TRUE(run_installation(settings, page, product, payload_seam(payload)));
  EXPECT_FALSE(exists(sample_folder() + L"\\Demo.tvm"));
  EXPECT_EQ(qvtest::read_file(common_folder() + L"\\Shared.dat"), "the user's own");
  // Neither skipped file has a line; the temporary one has, and is gone.
  EXPECT_EQ(lines_starting(L"Copying File  ").size(), 4u);
  for (const std::wstring& line : lines_starting(L"Copying File  ")) {
    EXPECT_EQ(line.find(L"Demo.tvm"), std::wstring::npos);
    EXPECT_EQ(line.find(L"Shared.dat"), std::wstring::npos);
  }
  EXPECT_EQ(lines_starting(L"Copying File  " + settings.m_strTempFolder + L"\\helper.bin...OK").size(), 1u);
  EXPECT_FALSE(exists(settings.m_strTempFolder + L"\\helper.bin"));
  EXPECT_FALSE(exists(settings.m_strTempFolder));

  EXPECT_EQ(product_command_line_seen(), L"\"" + program() + L"\" /Register /Background /update=0002001e00050007");

  // The common-data file is taken over, the temporary one never recorded.
  bool shared_recorded = false;
  for (const std::wstring& line : read_ulog(ulog())) {
    if (line.find(L"helper.bin") != std::wstring::npos) ADD_FAILURE() << qvtest::narrow(line);
    if (line.find(common_folder() + L"\\Shared.dat") != std::wstring::npos) {
      shared_recorded = true;
      EXPECT_EQ(line.substr(4, 7), L":0103:1");
    }
  }
  EXPECT_TRUE(shared_recorded);
}

TEST_F(InstallRun, ShortcutFlags) {
  const std::string payload = small_payload();
  struct flag_case {
    bool menu, desktop;
    std::wstring menu_folder;
  };
  const std::wstring deep = folder_of(CSIDL_COMMON_PROGRAMS) + L"\\Quorvane Systems\\Level One\\Level Two\\Tavimora";
  for (const flag_case& c : {flag_case{false, true, menu_folder()}, flag_case{false, false, menu_folder()},
                             flag_case{true, false, deep}}) {
    SCOPED_TRACE(testing::Message() << "menu " << c.menu << " desktop " << c.desktop);
    reset_machine();
    test_settings s;
    s.m_strInstallFolder = install_folder();
    s.m_strMenuFolder = c.menu_folder;
    s.m_bMenuShortcut = c.menu;
    s.m_bDesktopShortcut = c.desktop;
    fake_page p;
    ASSERT_TRUE(run_installation(s, p, product, payload_seam(payload)));
    EXPECT_EQ(exists(desktop_shortcut()), c.desktop);
    EXPECT_EQ(exists(folder_of(CSIDL_COMMON_PROGRAMS) + L"\\Quorvane Systems"), c.menu);
    std::size_t shortcut_lines = 0;
    for (const std::wstring& line : p.lines()) shortcut_lines += line.rfind(L"Shortcuts Creation...", 0) == 0;
    EXPECT_EQ(shortcut_lines, c.menu || c.desktop ? 1u : 0u);
    if (c.menu) {
      EXPECT_TRUE(exists(deep + L"\\Tavimora 2.31t.lnk"));
      EXPECT_TRUE(exists(deep + L"\\Uninstall Tavimora.lnk"));
      // Each created level recorded, outermost first.
      std::vector<std::wstring> folders;
      for (const std::wstring& line : read_ulog(s.m_strInstallFolder + L"\\Uninstall.ulog"))
        if (line.size() > 17 && line.substr(4, 7) == L":00ff:1" &&
            line.find(folder_of(CSIDL_COMMON_PROGRAMS)) != std::wstring::npos)
          folders.push_back(line.substr(15));
      const std::wstring base = folder_of(CSIDL_COMMON_PROGRAMS) + L"\\Quorvane Systems";
      EXPECT_EQ(folders, (std::vector<std::wstring>{base, base + L"\\Level One", base + L"\\Level One\\Level Two", deep}));
    }
  }
}

TEST_F(InstallRun, AWrongChecksumRollsEverythingBack) {
  // An earlier uninstaller in an existing folder: replaced by the run, then back.
  ::SHCreateDirectoryExW(nullptr, install_folder().c_str(), nullptr);
  qvtest::write_file(uninstaller(), "the earlier uninstaller");
  ::SetFileAttributesW(uninstaller().c_str(), FILE_ATTRIBUTE_READONLY);
  const std::string payload = small_payload({true});

  EXPECT_FALSE(run_installation(settings, page, product, payload_seam(payload)));
  const std::vector<std::wstring> lines = page.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), L"Copying File  \"" + install_folder() + L"\\Lang\\Tavimora.en.dll\"...Failed");
  EXPECT_EQ(page.status(), L"Installation failed (Error Code 3).");

  expect_nothing_installed();
  EXPECT_EQ(qvtest::read_file(uninstaller()), "the earlier uninstaller");
  EXPECT_TRUE(attributes(uninstaller()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(product_command_line_seen(), L"<missing>");

  // Install pressed again, with a sound payload: it goes through.
  fake_page again;
  const std::string sound = small_payload();
  ::SetFileAttributesW(uninstaller().c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(run_installation(settings, again, product, payload_seam(sound)));
  EXPECT_TRUE(exists(program()));
  EXPECT_TRUE(exists(ulog()));
  EXPECT_EQ(again.status(), L"Click on 'Next' to continue.");
}

TEST_F(InstallRun, AnEarlierFileThatCannotBeMovedAsideEndsTheRunAndSurvivesIt) {
  // An update while another process holds the earlier uninstaller without
  // any sharing: it can be neither moved aside nor replaced.
  ::SHCreateDirectoryExW(nullptr, install_folder().c_str(), nullptr);
  qvtest::write_file(uninstaller(), "the earlier uninstaller");
  const std::wstring event_name = L"qvtest-run-hold-" + std::to_wstring(::GetCurrentProcessId());
  qv::unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
  const std::wstring holder_exe = qvtest::binary_dir() + L"\\tests\\engine\\engine_hold_file.exe";
  qvtest::child_process holder(qvtest::quote(holder_exe) + L" " + qvtest::quote(uninstaller()) + L" 6000 " +
                               event_name + L" exclusive");
  ASSERT_TRUE(holder.started());
  ASSERT_EQ(::WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);
  settings.m_nEarlierState = EarlierState::SameVersion;
  const std::string payload = small_payload();

  EXPECT_FALSE(run_installation(settings, page, product, payload_seam(payload)));
  ASSERT_FALSE(page.lines().empty());
  EXPECT_EQ(page.lines().back(), L"Copying File  \"" + uninstaller() + L"\"...Failed");
  EXPECT_EQ(page.status(), L"Installation failed (Error Code 1:00000020).");
  EXPECT_EQ(holder.wait(20000), 0);

  EXPECT_EQ(qvtest::read_file(uninstaller()), "the earlier uninstaller");
  EXPECT_FALSE(exists(sample_folder()));
  EXPECT_FALSE(exists(common_folder()));
  EXPECT_FALSE(exists(ulog()));
  EXPECT_EQ(product_command_line_seen(), L"<missing>");
}

TEST_F(InstallRun, APayloadThatDoesNotDecompressInstallsNothing) {
  std::string payload = small_payload();
  payload.resize(payload.size() / 2);
  EXPECT_FALSE(run_installation(settings, page, product, payload_seam(payload)));
  const std::vector<std::wstring> lines = page.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], L"Preparing Installation...Failed");
  EXPECT_TRUE(page.status() == L"Installation failed (Error Code 4)." ||
              page.status() == L"Installation failed (Error Code 6).")
      << qvtest::narrow(page.status());
  expect_nothing_installed();
}

TEST_F(InstallRun, AProductPathValueThatCannotBeWrittenRollsBack) {
  const std::string payload = small_payload();
  install_run_seams seams = payload_seam(payload);
  seams.write_product_path = [](const std::wstring&) {
    throw std::system_error(ERROR_ACCESS_DENIED, std::system_category());
  };
  EXPECT_FALSE(run_installation(settings, page, product, seams));
  const std::vector<std::wstring> lines = page.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), L"Registry Data Writing...Failed");
  EXPECT_EQ(page.status(), L"Installation failed (Error Code -1).");
  expect_nothing_installed();
  EXPECT_FALSE(exists(install_folder()));
  EXPECT_EQ(product_command_line_seen(), L"<missing>");  // never started
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L".tvm"));
}

TEST_F(InstallRun, AProductThatDoesNotRegisterLeavesTheInstallationInPlace) {
  const std::string payload = small_payload();
  for (const wchar_t* seam : {L"exit:3", L"refuse-register"}) {
    SCOPED_TRACE(qvtest::narrow(seam));
    reset_machine();
    set_seam(seam);
    fake_page p;
    EXPECT_TRUE(run_installation(settings, p, product, payload_seam(payload)));
    const std::vector<std::wstring> lines = p.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], L"Registry Data Writing...Failed");
    EXPECT_EQ(lines.back(), L"Installation Data Writing...OK");
    EXPECT_EQ(p.status(), L"Click on 'Next' to continue.");
    EXPECT_TRUE(exists(program()));
    EXPECT_EQ(read_text(HKEY_LOCAL_MACHINE, kMakerKey, L"Tavimora 2 Path"), program());
    bool classes_root_line = false;
    for (const std::wstring& line : read_ulog(ulog()))
      if (line.find(L"HKEY_CLASSES_ROOT") != std::wstring::npos) {
        classes_root_line = true;
        EXPECT_EQ(line.substr(4, 7), L":06ff:0");
      }
    EXPECT_TRUE(classes_root_line);
    EXPECT_TRUE(settings.m_instanceLock.owned());
  }
}

}  // namespace
