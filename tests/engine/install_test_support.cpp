#include "tests/engine/install_test_support.hpp"
#include "app/install_app.hpp"
#include "app/language.hpp"
#include "support/maker_contact.h"
#include "tests/common/test_support.hpp"
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <cstring>

namespace install_test {

void fake_page::AppendLine(const std::wstring& text, bool heading) {
  if (heading && text.empty())
    log += std::wstring(40, L'-') + L"\r\n";
  else
    log += text;
}

void fake_page::SetStatus(const std::wstring& text, bool) { statuses.push_back(text); }

std::wstring fake_page::Message(unsigned id, const std::wstring& arg) { return install_test::text(id, arg); }

std::vector<std::wstring> fake_page::lines() const {
  std::vector<std::wstring> out;
  std::size_t at = 0;
  for (;;) {
    std::size_t end = log.find(L"\r\n", at);
    if (end == std::wstring::npos) {
      if (at < log.size()) out.push_back(log.substr(at));
      return out;
    }
    out.push_back(log.substr(at, end - at));
    at = end + 2;
  }
}

test_settings::test_settings() : install_settings(L"qv_install_test_lock") {}

std::wstring text(unsigned id, const std::wstring& arg) {
  qv::set_language(1);  // English
  return FormatMessageText(id, arg);
}

product_identity identity() {
  qv::set_language(1);
  return current_product_identity();
}

std::wstring folder_of(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::wstring install_folder() { return folder_of(CSIDL_PROGRAM_FILES) + L"\\Quorvane Systems\\Tavimora 2"; }
std::wstring menu_folder() { return folder_of(CSIDL_COMMON_PROGRAMS) + L"\\Quorvane Systems\\Tavimora 2"; }
std::wstring common_folder() { return folder_of(CSIDL_COMMON_APPDATA) + L"\\Quorvane Systems\\Tavimora 2"; }
std::wstring sample_folder() { return folder_of(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tavimora Examples"; }
std::wstring desktop_shortcut() { return folder_of(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tavimora 2.31t.lnk"; }

void reset_machine() {
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_APPDATA})
    qvtest::remove_tree(folder_of(csidl) + L"\\Quorvane Systems");
  qvtest::remove_tree(sample_folder());
  ::SetFileAttributesW(desktop_shortcut().c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(desktop_shortcut().c_str());
  ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavimora 2");
  ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Quorvane Systems");
  ::SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Quorvane Systems");
  ::SHDeleteKeyW(HKEY_CLASSES_ROOT, L".tvm");
  ::SHDeleteKeyW(HKEY_CLASSES_ROOT, L"Tavimora2.Document");
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool read_value(HKEY root, const std::wstring& key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
  HKEY k = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LSTATUS rc = ::RegQueryValueExW(k, name.c_str(), nullptr, &type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    data.assign(size, 0);
    rc = ::RegQueryValueExW(k, name.c_str(), nullptr, &type, data.data(), &size);
    data.resize(size);
  }
  ::RegCloseKey(k);
  return rc == ERROR_SUCCESS;
}

std::wstring read_text(HKEY root, const std::wstring& key, const std::wstring& name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!read_value(root, key, name, type, data)) return L"<missing>";
  if (type != REG_SZ) return L"<type " + std::to_wstring(type) + L">";
  if (data.size() < 2 || data.size() % 2 || data[data.size() - 1] || data[data.size() - 2]) return L"<unterminated>";
  return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2 - 1);
}

DWORD read_number(HKEY root, const std::wstring& key, const std::wstring& name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!read_value(root, key, name, type, data) || type != REG_DWORD || data.size() != 4) return 0xDEADBEEF;
  DWORD v = 0;
  std::memcpy(&v, data.data(), 4);
  return v;
}

bool key_exists(HKEY root, const std::wstring& key) {
  HKEY k = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  ::RegCloseKey(k);
  return true;
}

bool read_shortcut(const std::wstring& link, std::wstring& target, std::wstring& working) {
  ::CoInitialize(nullptr);
  bool ok = false;
  IShellLinkW* shell_link = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&shell_link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
        wchar_t path[MAX_PATH] = {}, folder[MAX_PATH] = {};
        ok = SUCCEEDED(shell_link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
             SUCCEEDED(shell_link->GetWorkingDirectory(folder, MAX_PATH));
        target = path;
        working = folder;
      }
      file->Release();
    }
    shell_link->Release();
  }
  ::CoUninitialize();
  return ok;
}

std::vector<std::wstring> read_ulog(const std::wstring& path) {
  std::vector<std::wstring> lines;
  if (!exists(path)) return lines;
  const std::string bytes = qvtest::read_file(path);
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE)
    return lines;
  std::wstring all(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  std::size_t at = 0;
  for (std::size_t end; (end = all.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
    lines.push_back(all.substr(at, end - at));
  return lines;
}

std::uint32_t crc_of(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

std::vector<expected_value> expected_uninstall_values(const std::wstring& program, const std::wstring& uninstaller,
                                                      DWORD language) {
  return {
      {L"DisplayName", REG_SZ, L"Tavimora 2.31t", 0},
      {L"UninstallString", REG_SZ, uninstaller, 0},
      {L"DisplayIcon", REG_SZ, program + L",0", 0},
      {L"DisplayVersion", REG_SZ, L"2.31.20.1", 0},
      {L"Publisher", REG_SZ, L"Quorvane Systems", 0},
      {L"URLInfoAbout", REG_SZ, QV_MAKER_WEB_ADDRESS, 0},
      {L"HelpLink", REG_SZ, QV_MAKER_WEB_ADDRESS, 0},
      {L"URLUpdateInfo", REG_SZ, QV_MAKER_WEB_ADDRESS, 0},
      {L"HelpTelephone", REG_SZ, QV_MAKER_SUPPORT_TELEPHONE, 0},
      {L"NoModify", REG_DWORD, L"", 1},
      {L"NoRepair", REG_DWORD, L"", 1},
      {L"QvLanguage", REG_DWORD, L"", language},
  };
}

}  // namespace install_test
