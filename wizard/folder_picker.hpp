// The dialog behind the Browse buttons: the shell's folder browser with a
// product sub-folder shown appended to the selection, an edit box in which
// the full target folder can be read and typed, validation of a typed
// folder, and an optional tree root whose parent the shown paths are
// relative to. One picker per click.
#pragma once
#include "support/com.hpp"
#include "support/handle.hpp"
#include <windows.h>
#include <shlobj.h>
#include <optional>
#include <string>

// The shown path after a selection: `path` with the missing part of
// `subFolder` appended (compared by components from the end, ignoring case),
// then relative to `rootParent` when one is given and a relative path can be
// formed.
std::wstring ComposeDisplayPath(const std::wstring& path, const std::wstring& subFolder,
                                const std::wstring& rootParent);
// The folder the browser starts from: a relative `initial` is discarded; an
// empty one becomes `fallback` (the root's path, or Documents); a bare drive
// gets its backslash.
std::wstring InitialPickerPath(const std::wstring& initial, const std::wstring& fallback);
// The sub-folder without trailing dots; empty when a character is invalid
// in a path or a wildcard.
std::wstring CleanSubFolder(const std::wstring& subFolder);
// A folder typed in the browser's edit box: 0 and the qualified folder in
// `out`, or the error code (206 too long, 161 bad or outside the root's
// parent, or the system error of the current-directory functions).
// `rootParent` empty: no root.
DWORD ValidateTypedFolder(const std::wstring& typed, const std::wstring& rootParent, std::wstring& out);

class CFolderPicker {
public:
  explicit CFolderPicker(std::wstring title);
  ~CFolderPicker();
  CFolderPicker(const CFolderPicker&) = delete;
  CFolderPicker& operator=(const CFolderPicker&) = delete;

  // The tree's root: a special folder (CSIDL); false when it is unknown.
  bool SetRoot(int csidl);
  // Shows the browser modally: true when a folder was chosen; GetPath then
  // holds it as an absolute path.
  bool Browse(const std::wstring& initialFolder, const std::wstring& subFolder);
  const std::wstring& GetPath() const { return m_strPath; }

private:
  static int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM lp, LPARAM data);
  int OnBrowseMessage(HWND hwnd, UINT msg, LPARAM lp);
  void OnInitialized(HWND hwnd);
  void OnSelectionChanged(HWND hwnd, PCIDLIST_ABSOLUTE item);
  int OnValidateFailed(HWND hwnd, const wchar_t* typed);
  const std::wstring& RootParent();
  std::wstring RootPath() const;
  void ShowError(DWORD code) const;
  void ShowInEdit();

  enum : unsigned { kBrowserInitialised = 2, kTypedAccepted = 4, kCreateTyped = 8 };

  std::wstring m_strPath;
  std::wstring m_strSubFolder;
  std::wstring m_strTitle;
  // COM from the first browse until the picker ends; declared before the
  // root so that the root is freed while COM is still initialised.
  std::optional<qv::com_scope> m_com;
  qv::unique_item_id_list m_pidlRoot;
  std::wstring m_strRootParent;
  bool m_bRootParentKnown = false;
  HWND m_hEdit = nullptr;
  std::wstring m_strSelectedAtStart;  // the existing ancestor selected at initialisation
  HWND m_hOwner = nullptr;
  unsigned m_nFlags = 0;
};

// The owner of a box or browser opened now: the root owner of the active
// window, else of this thread's first window whose root owner has a
// caption; then that window's last active pop-up.
HWND PickerOwnerWindow();
