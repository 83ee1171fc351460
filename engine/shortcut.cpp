#include "engine/shortcut.hpp"
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <utility>

namespace {

// COM for the length of one call: uninitialised again only when the
// initialisation counted (S_OK, or S_FALSE when the thread had it already).
class com_scope {
public:
  com_scope() : hr_(::CoInitialize(nullptr)) {}
  ~com_scope() {
    if (ok()) ::CoUninitialize();
  }
  com_scope(const com_scope&) = delete;
  com_scope& operator=(const com_scope&) = delete;
  bool ok() const { return hr_ == S_OK || hr_ == S_FALSE; }

private:
  HRESULT hr_;
};

// Owns one interface pointer and releases it.
template <typename T>
class com_ptr {
public:
  com_ptr() = default;
  ~com_ptr() { reset(); }
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  void** put_void() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

private:
  T* p_ = nullptr;
};

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

  com_scope com;
  if (!com.ok()) return false;
  HRESULT hr = E_FAIL;
  {
    com_ptr<IShellLinkW> shell_link;
    hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shell_link.put_void());
    if (SUCCEEDED(hr)) {
      // What the link holds is checked by whether it can be saved.
      shell_link->SetPath(target.c_str());
      shell_link->SetWorkingDirectory(working);
      com_ptr<IPersistFile> file;
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
