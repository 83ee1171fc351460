#include "wizard/folder_picker.hpp"
#include "app/language.hpp"
#include "framework/exception_barrier.hpp"
#include "support/errors.hpp"
#include "support/known_folders.hpp"
#include <shlwapi.h>
#include <vector>

namespace {

std::vector<std::wstring> components(const std::wstring& path) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : path) {
    if (c == L'\\' || c == L'/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool same_text(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// Whether the last components of `path` are `sub[0..count)`.
bool ends_with(const std::vector<std::wstring>& path, const std::vector<std::wstring>& sub, std::size_t count) {
  if (count == 0 || count > path.size()) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (!same_text(path[path.size() - count + i], sub[i])) return false;
  return true;
}

bool valid_path_chars(const std::wstring& text) {
  for (wchar_t c : text)
    if (::PathGetCharTypeW(c) & (GCT_INVALID | GCT_WILD)) return false;
  return true;
}

std::wstring path_append(std::wstring base, const std::wstring& more) {
  if (more.empty()) return base;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  return base + more;
}

std::wstring current_directory(DWORD& error) {
  DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  if (n == 0) {
    error = ::GetLastError();
    return {};
  }
  std::vector<wchar_t> buf(n + 1);
  n = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
  if (n == 0 || n >= buf.size()) {
    error = n == 0 ? ::GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    return {};
  }
  error = 0;
  return std::wstring(buf.data(), n);
}

std::wstring path_of(PCIDLIST_ABSOLUTE item) {
  wchar_t path[MAX_PATH] = {};
  if (!item || !::SHGetPathFromIDListW(item, path)) return {};
  return path;
}

struct edit_search {
  HWND found = nullptr;
};

BOOL CALLBACK find_edit(HWND child, LPARAM lp) {
  wchar_t cls[16] = {};
  ::GetClassNameW(child, cls, 16);
  if (::lstrcmpiW(cls, L"Edit") == 0) {
    reinterpret_cast<edit_search*>(lp)->found = child;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK first_captioned(HWND window, LPARAM lp) {
  HWND root = ::GetAncestor(window, GA_ROOTOWNER);
  if (root && (::GetWindowLongW(root, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
    *reinterpret_cast<HWND*>(lp) = root;
    return FALSE;
  }
  return TRUE;
}


}  // namespace

std::wstring ComposeDisplayPath(const std::wstring& path, const std::wstring& subFolder,
                                const std::wstring& rootParent) {
  std::wstring result = path;
  const std::vector<std::wstring> sub = components(subFolder);
  if (!sub.empty()) {
    const std::vector<std::wstring> have = components(path);
    if (!ends_with(have, sub, sub.size())) {
      // The longest leading part of the sub-folder that the path already ends with.
      std::size_t matched = 0;
      for (std::size_t k = sub.size() - 1; k >= 1; --k) {
        if (ends_with(have, sub, k)) {
          matched = k;
          break;
        }
      }
      for (std::size_t i = matched; i < sub.size(); ++i) result = path_append(result, sub[i]);
    }
  }
  if (!rootParent.empty() && rootParent.size() < MAX_PATH && result.size() < MAX_PATH) {
    wchar_t relative[MAX_PATH] = {};
    wchar_t canonical[MAX_PATH] = {};
    if (::PathRelativePathToW(relative, rootParent.c_str(), FILE_ATTRIBUTE_DIRECTORY, result.c_str(),
                              FILE_ATTRIBUTE_DIRECTORY) &&
        ::PathCanonicalizeW(canonical, relative))
      result = canonical;
  }
  return result;
}

std::wstring InitialPickerPath(const std::wstring& initial, const std::wstring& fallback) {
  std::wstring path = initial;
  if (!path.empty() && ::PathIsRelativeW(path.c_str())) path.clear();
  if (path.empty()) path = fallback;
  if (!path.empty() && path.back() == L':') path += L'\\';
  return path;
}

std::wstring CleanSubFolder(const std::wstring& subFolder) {
  if (!valid_path_chars(subFolder)) return {};
  std::wstring sub = subFolder;
  while (!sub.empty() && sub.back() == L'.') sub.pop_back();
  return sub;
}

DWORD ValidateTypedFolder(const std::wstring& typed, const std::wstring& rootParent, std::wstring& out) {
  if (typed.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  std::wstring text = typed;
  const std::size_t first = text.find_first_not_of(L' ');
  text = first == std::wstring::npos ? std::wstring() : text.substr(first, text.find_last_not_of(L' ') - first + 1);
  if (!text.empty() && text.back() == L'\\') text.pop_back();
  if (text.size() == 2 && text[1] == L':') text += L'\\';
  DWORD error = 0;
  if (text.empty()) {
    text = current_directory(error);
    if (error) return error;
    if (text.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  }

  wchar_t qualified[MAX_PATH] = {};
  BOOL ok = FALSE;
  if (!rootParent.empty()) {
    // Qualify against the root's parent, then give the process its own
    // current directory back.
    const std::wstring saved = current_directory(error);
    if (error) return error;
    if (!::SetCurrentDirectoryW(rootParent.c_str())) return ::GetLastError();
    ok = ::PathSearchAndQualifyW(text.c_str(), qualified, MAX_PATH);
    if (!::SetCurrentDirectoryW(saved.c_str())) return ::GetLastError();
  } else {
    ok = ::PathSearchAndQualifyW(text.c_str(), qualified, MAX_PATH);
  }
  if (!ok) return ERROR_BAD_PATHNAME;
  const std::wstring result = qualified;
  if (!rootParent.empty() &&
      ::PathCommonPrefixW(result.c_str(), rootParent.c_str(), nullptr) != static_cast<int>(rootParent.size()))
    return ERROR_BAD_PATHNAME;
  if (!valid_path_chars(result)) return ERROR_BAD_PATHNAME;
  out = result;
  return 0;
}

HWND PickerOwnerWindow() {
  HWND owner = ::GetActiveWindow();
  if (owner) owner = ::GetAncestor(owner, GA_ROOTOWNER);
  if (!owner) ::EnumThreadWindows(::GetCurrentThreadId(), first_captioned, reinterpret_cast<LPARAM>(&owner));
  if (owner) owner = ::GetLastActivePopup(owner);
  return owner;
}

CFolderPicker::CFolderPicker(std::wstring title) : m_strTitle(std::move(title)) {}

CFolderPicker::~CFolderPicker() = default;

bool CFolderPicker::SetRoot(int csidl) {
  m_bRootParentKnown = false;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, m_pidlRoot.put()))) {
    m_pidlRoot.reset();
    return false;
  }
  return true;
}

std::wstring CFolderPicker::RootPath() const { return path_of(m_pidlRoot.get()); }

const std::wstring& CFolderPicker::RootParent() {
  if (!m_bRootParentKnown) {
    std::wstring root = RootPath();
    if (!root.empty()) {
      wchar_t parent[MAX_PATH] = {};
      root.copy(parent, MAX_PATH - 1);
      ::PathRemoveFileSpecW(parent);
      m_strRootParent = parent;
    }
    m_bRootParentKnown = true;
  }
  return m_strRootParent;
}

void CFolderPicker::ShowError(DWORD code) const {
  bool rtl;
  if (m_hOwner)
    rtl = (::GetWindowLongW(m_hOwner, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
  else
    rtl = qv::get_language_state().right_to_left;
  ::MessageBoxW(m_hOwner, qv::system_message(code).c_str(), L"", MB_OK | MB_ICONEXCLAMATION | (rtl ? MB_RTLREADING : 0));
}

bool CFolderPicker::Browse(const std::wstring& initialFolder, const std::wstring& subFolder) {
  m_hOwner = PickerOwnerWindow();
  if (!m_com) {
    m_com.emplace();
    if (!m_com->ok()) {
      const HRESULT hr = m_com->result();
      m_com.reset();
      ShowError(static_cast<DWORD>(hr));
      return false;
    }
  }
  m_nFlags &= ~(kBrowserInitialised | kTypedAccepted);
  m_hEdit = nullptr;
  m_strSelectedAtStart.clear();

  std::wstring fallback;
  if (m_pidlRoot) {
    fallback = RootPath();
  } else {
    try {
      fallback = qv::documents_folder();
    } catch (const std::exception&) {
      fallback.clear();
    }
  }
  m_strPath = InitialPickerPath(initialFolder, fallback);
  m_strSubFolder = CleanSubFolder(subFolder);
  m_strPath = ComposeDisplayPath(m_strPath, m_strSubFolder, m_pidlRoot ? RootParent() : std::wstring());

  BROWSEINFOW info{};
  info.hwndOwner = m_hOwner;
  info.pidlRoot = m_pidlRoot.get();
  info.lpszTitle = m_strTitle.empty() ? nullptr : m_strTitle.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
  if (!m_strSubFolder.empty()) info.ulFlags |= BIF_EDITBOX | BIF_VALIDATE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  const qv::unique_item_id_list chosen(::SHBrowseForFolderW(&info));
  m_hEdit = nullptr;
  // A typed folder that validation accepted is the answer, whatever item
  // the browser hands back with it.
  if (m_nFlags & kTypedAccepted) return true;
  if (!chosen.get()) return false;
  m_strPath = path_of(chosen.get());
  return !m_strPath.empty();
}

int CALLBACK CFolderPicker::BrowseCallback(HWND hwnd, UINT msg, LPARAM lp, LPARAM data) {
  // Nothing may unwind into the shell's dialog code.
  return AfxCallGuarded([&] { return reinterpret_cast<CFolderPicker*>(data)->OnBrowseMessage(hwnd, msg, lp); }, 0);
}

int CFolderPicker::OnBrowseMessage(HWND hwnd, UINT msg, LPARAM lp) {
  switch (msg) {
    case BFFM_INITIALIZED: OnInitialized(hwnd); return 0;
    case BFFM_SELCHANGED:
      if (m_nFlags & kBrowserInitialised) OnSelectionChanged(hwnd, reinterpret_cast<PCIDLIST_ABSOLUTE>(lp));
      return 0;
    case BFFM_VALIDATEFAILEDW: return OnValidateFailed(hwnd, reinterpret_cast<const wchar_t*>(lp));
    default: return 0;
  }
}

void CFolderPicker::ShowInEdit() {
  if (!m_hEdit) return;
  ::SetWindowTextW(m_hEdit, m_strPath.c_str());
  ::SendMessageW(m_hEdit, EM_SETSEL, 0, -1);
}

void CFolderPicker::OnInitialized(HWND hwnd) {
  m_nFlags |= kBrowserInitialised;
  std::wstring absolute = m_strPath;
  if (m_pidlRoot) absolute = path_append(RootParent(), m_strPath);
  // The nearest folder that exists: the target folder usually does not yet.
  bool reached = false;
  if (absolute.size() < MAX_PATH) {
    wchar_t walk[MAX_PATH] = {};
    absolute.copy(walk, MAX_PATH - 1);
    for (;;) {
      if (walk[0] && ::PathIsDirectoryW(walk)) {
        reached = true;
        break;
      }
      if (!walk[0] || !::PathRemoveFileSpecW(walk)) break;
    }
    if (reached) {
      // Selecting the ancestor may report the selection at once; the edit
      // box is to show the whole target folder all the same.
      const std::wstring target = m_strPath;
      m_strSelectedAtStart = walk;
      ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(walk));
      ::SendMessageW(hwnd, BFFM_SETEXPANDED, TRUE, reinterpret_cast<LPARAM>(walk));
      m_strPath = target;
    }
  }
  if (!m_strSubFolder.empty()) {
    edit_search search;
    ::EnumChildWindows(hwnd, find_edit, reinterpret_cast<LPARAM>(&search));
    m_hEdit = search.found;
  }
  if (reached) ShowInEdit();
}

void CFolderPicker::OnSelectionChanged(HWND hwnd, PCIDLIST_ABSOLUTE item) {
  const std::wstring selected = path_of(item);
  const bool has_path = !selected.empty();
  // The report of the ancestor selected at initialisation (which may come
  // after it) leaves the target folder in the edit box.
  const bool initial = has_path && !m_strSelectedAtStart.empty() && same_text(selected, m_strSelectedAtStart);
  m_strSelectedAtStart.clear();
  if (initial) {
    if (m_strSubFolder.empty()) ::SendMessageW(hwnd, BFFM_ENABLEOK, 0, 1);
    return;
  }
  m_strPath = selected;
  if (has_path) m_strPath = ComposeDisplayPath(m_strPath, m_strSubFolder, m_pidlRoot ? RootParent() : std::wstring());
  ShowInEdit();
  if (m_strSubFolder.empty()) ::SendMessageW(hwnd, BFFM_ENABLEOK, 0, has_path ? 1 : 0);
}

int CFolderPicker::OnValidateFailed(HWND hwnd, const wchar_t* typed) {
  std::wstring folder;
  const DWORD error = ValidateTypedFolder(typed ? typed : L"", m_pidlRoot ? RootParent() : std::wstring(), folder);
  if (error == 0) {
    m_strPath = folder;
    m_nFlags |= kTypedAccepted;
    return 0;  // close the browser as if OK had found the folder
  }
  HWND saved = m_hOwner;
  m_hOwner = hwnd;  // the box belongs to the browser, which stays open
  ShowError(error);
  m_hOwner = saved;
  return 1;
}
