#include "engine/shortcut.hpp"
#include "support/com.hpp"
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

namespace {

// The path in a MAX_PATH buffer; false when it does not fit.
bool to_buffer(const std::wstring& path, wchar_t (&buffer)[MAX_PATH]) {
  if (path.size() >= MAX_PATH) return false;
  path.copy(buffer, path.size());
  buffer[path.size()] = L'\0';
  return true;
}

}  // namespace

bool create_shortcut(const std::wstring& target, const std::wstring& folder, const wchar_t* name,
                     std::wstring& shortcut_path) {
  wchar_t working[MAX_PATH] = {};
  if (!to_buffer(target, working) || !::PathRemoveFileSpecW(working)) return false;

  std::wstring link_name;
  if (name) {
    link_name = name;
  } else {
    wchar_t file_name[MAX_PATH] = {};
    if (!to_buffer(::PathFindFileNameW(target.c_str()), file_name)) return false;
    ::PathRemoveExtensionW(file_name);
    link_name = file_name;
  }

  wchar_t link[MAX_PATH] = {};
  if (!to_buffer(folder, link) || !::PathAppendW(link, link_name.c_str())) return false;
  const std::wstring link_path = std::wstring(link) + L".lnk";

  qv::com_scope com;
  if (!com.ok()) return false;
  HRESULT hr = E_FAIL;
  {
    qv::com_ptr<IShellLinkW> shell_link;
    hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shell_link.put_void());
    if (SUCCEEDED(hr)) {
      // What the link holds is checked by whether it can be saved.
      shell_link->SetPath(target.c_str());
      shell_link->SetWorkingDirectory(working);
      qv::com_ptr<IPersistFile> file;
      hr = shell_link->QueryInterface(IID_IPersistFile, file.put_void());
      if (SUCCEEDED(hr)) hr = file->Save(link_path.c_str(), TRUE);
    }
  }  // both interfaces are released before COM goes
  if (FAILED(hr)) return false;
  shortcut_path = link_path;
  return true;
}

std::wstring desktop_folder(HWND owner) {
  wchar_t path[MAX_PATH] = {};
  if (::SHGetSpecialFolderPathW(owner, path, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE)) return path;
  if (::SHGetSpecialFolderPathW(owner, path, CSIDL_DESKTOPDIRECTORY, FALSE)) return path;
  return {};
}

namespace {

bool place_shortcut(CInstallRecord& record, int which, const std::wstring& folder, const std::wstring& target,
                    const std::wstring& name) {
  if (record.BeginShortcut(which, folder) != ERROR_SUCCESS) {
    // The earlier shortcut could not be moved aside: it stays as it is.
    record.CommitItem(false);
    return false;
  }
  std::wstring shortcut_path;
  // Without a desktop folder there is nowhere to put the shortcut.
  const bool made = !folder.empty() && create_shortcut(target, folder, name.c_str(), shortcut_path);
  if (made)
    record.CommitItem(true, shortcut_path.c_str());
  else
    record.CommitItem(false);
  return made;
}

}  // namespace

bool create_product_shortcuts(install_settings& settings, const shortcut_names& names,
                              const std::wstring& program_path, const std::wstring& uninstaller_path, HWND owner) {
  bool all_made = true;
  if (settings.m_bMenuShortcut) {
    all_made &= place_shortcut(settings.m_record, 0, settings.m_strMenuFolder, program_path, names.program);
    all_made &= place_shortcut(settings.m_record, 1, settings.m_strMenuFolder, uninstaller_path, names.uninstaller);
  }
  if (settings.m_bDesktopShortcut)
    all_made &= place_shortcut(settings.m_record, 2, desktop_folder(owner), program_path, names.program);
  return all_made;
}
