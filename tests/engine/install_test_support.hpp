// Shared by the tests that install the product for real (each program runs
// in a Wine prefix of its own): a page that records what the run shows, the
// folders and keys of an installation, and read-back helpers.
#pragma once
#include "engine/install_run.hpp"
#include <windows.h>
#include <string>
#include <vector>

namespace install_test {

// The installation page as the run sees it, with the real catalogue's
// English texts.
struct fake_page : install_page {
  std::wstring log;
  std::vector<std::wstring> statuses;
  std::vector<int> progress;
  bool progress_shown = false;
  int pre_translated = 0;

  void AppendLine(const std::wstring& text, bool heading) override;
  void SetStatus(const std::wstring& text, bool path) override;
  void ShowProgress() override { progress_shown = true; }
  void SetProgress(int percent) override { progress.push_back(percent); }
  std::wstring Message(unsigned id, const std::wstring& arg) override;
  bool PreTranslateMessage(MSG*) override {
    ++pre_translated;
    return false;
  }
  HWND Window() const override { return nullptr; }

  std::vector<std::wstring> lines() const;  // the log split at "\r\n"
  std::wstring status() const { return statuses.empty() ? std::wstring() : statuses.back(); }
};

struct test_settings : install_settings {
  test_settings();
};

// The English catalogue text of message `id`, "%1" replaced.
std::wstring text(unsigned id, const std::wstring& arg = {});
product_identity identity();

std::wstring folder_of(int csidl);
// The default folders of an installation under Wine, and where its files go.
std::wstring install_folder();    // Program Files\Quorvane Systems\Tavimora 2
std::wstring menu_folder();       // common Programs\Quorvane Systems\Tavimora 2
std::wstring common_folder();     // common application data\Quorvane Systems\Tavimora 2
std::wstring sample_folder();     // all-users desktop\Tavimora Examples
std::wstring desktop_shortcut();  // all-users desktop\Tavimora 2.31t.lnk

// Removes everything an installation can leave: folders, shortcuts,
// registry keys (HKLM uninstall entry, maker's key, HKCU program key,
// HKEY_CLASSES_ROOT entries).
void reset_machine();

bool exists(const std::wstring& path);
// A registry value's type and raw data; false when it is missing.
bool read_value(HKEY root, const std::wstring& key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data);
// A REG_SZ value with its terminator, as text; "<missing>" or "<type n>" otherwise.
std::wstring read_text(HKEY root, const std::wstring& key, const std::wstring& name);
// A REG_DWORD value; 0xDEADBEEF when missing or of another type.
DWORD read_number(HKEY root, const std::wstring& key, const std::wstring& name);
bool key_exists(HKEY root, const std::wstring& key);

// A shortcut file's target and working folder.
bool read_shortcut(const std::wstring& link, std::wstring& target, std::wstring& working);

// The uninstall log's lines (without their line ends); empty when missing.
std::vector<std::wstring> read_ulog(const std::wstring& path);

// CRC-32 of a file's bytes, computed here.
std::uint32_t crc_of(const std::string& bytes);

// One value of the product's "Uninstall" entry as it must read back.
struct expected_value {
  const wchar_t* name;
  DWORD type;
  std::wstring text;  // REG_SZ
  DWORD number;       // REG_DWORD
};
// The twelve values, in the order they are written: UninstallString
// unquoted, DisplayIcon the program's first icon, QvLanguage `language`.
std::vector<expected_value> expected_uninstall_values(const std::wstring& program, const std::wstring& uninstaller,
                                                      DWORD language);

}  // namespace install_test
