#include "wizard/pages.hpp"
#include "app/language.hpp"
#include "app/product.hpp"
#include "resources/resource_ids.h"
#include "wizard/folder_picker.hpp"
#include "wizard/install_dlg.hpp"
#include "wizard/page_logic.hpp"
#include "support/handle.hpp"
#include "support/version_info.hpp"
#include <shlobj.h>
#include <shlwapi.h>
#include "framework/win_app.hpp"
#include <vector>

namespace {

constexpr int kStatus = IDC_STATUS;
constexpr int kBrowse = IDC_BROWSE;
// The languages of the start page's list, in their order there.
constexpr int kListedLanguages[] = {0, 1, 2, 3, 11, 4, 15, 7, 9};

std::vector<HWND> child_controls(HWND parent) {
  std::vector<HWND> found;
  for (HWND h = ::GetWindow(parent, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) found.push_back(h);
  return found;
}

// Width in pixels of `text` in the window's font.
int text_width(HWND window, const std::wstring& text) {
  HDC dc = ::GetDC(window);
  if (!dc) return 0;
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)));
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(window, dc);
  return size.cx;
}

std::wstring special_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}


}  // namespace

void CWizardPage::LayoutControls(int dx, int dy, std::initializer_list<int> grow) {
  for (HWND control : child_controls(m_hWnd)) {
    const int id = ::GetDlgCtrlID(control);
    bool grows = false;
    for (int g : grow) grows = grows || g == id;
    if (id == kStatus)
      OffsetChildWindow(control, 0, dy, dx, 0);
    else if (id == kBrowse)
      OffsetChildWindow(control, dx, 0, 0, 0);
    else
      OffsetChildWindow(control, 0, 0, dx, grows ? dy : 0);
  }
}

void CWizardPage::Layout(int dx, int dy) { LayoutControls(dx, dy); }

// ---- start page ----

BOOL CDlgStart::OnInitDialog() {
  CDialog::OnInitDialog();
  FillLanguageList();
  return TRUE;
}

void CDlgStart::DoDataExchange(CDataExchange* dx) { DDX_Control(dx, IDC_LANGUAGE_LIST, m_wndLanguages); }

void CDlgStart::FillLanguageList() {
  m_images.Create(18, 12, ILC_COLOR24, 8, 1);
  m_wndLanguages.SetImageList(m_images);
  const int current = qv::get_language_state().index;
  int widest = 0;
  int selected = -1;
  for (int n : kListedLanguages) {
    const qv::unique_icon flag(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                             MAKEINTRESOURCEW(LanguageFlagIcon(n)), IMAGE_ICON, 16,
                                                             12, LR_DEFAULTCOLOR)));
    const int image = flag.get() ? m_images.Add(flag.get()) : -1;
    std::wstring name = qv::language_name(n);
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
    item.iItem = -1;
    item.pszText = &name[0];
    item.iImage = image;
    item.iSelectedImage = image;
    item.lParam = n;
    const int at = m_wndLanguages.InsertItem(item);
    if (n == current) selected = at;
    const int width = text_width(m_hWnd, name);
    if (width > widest) widest = width;
  }
  if (selected >= 0) m_wndLanguages.SetCurSel(selected);
  m_wndLanguages.SetDroppedWidth(widest + 30);
}

BOOL CDlgStart::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  static const message_map_entry<CDlgStart> map[] = {
      OnCommandEntry<CDlgStart>(CBN_SELCHANGE, IDC_LANGUAGE_LIST, &CDlgStart::OnLanguageSelected),
  };
  if (DispatchMessageMap(this, map, msg, wp, lp, result)) return TRUE;
  return CWizardPage::OnWndMsg(msg, wp, lp, result);
}

void CDlgStart::OnLanguageSelected() {
  const int selected = m_wndLanguages.GetCurSel();
  if (selected < 0 || !m_pFrame) return;
  OnLanguageChanged(static_cast<int>(m_wndLanguages.GetItemData(selected)), *m_pFrame);
}

void CDlgStart::UpdateTexts() {
  const std::wstring version =
      m_settings.m_nEarlierState == 2 || m_settings.m_nEarlierState == -1 ? m_settings.m_strEarlierVersion : L"";
  const start_texts texts = StartPageTexts(m_settings.m_nEarlierState, version);
  SetDlgItemText(IDC_INFORMATION, texts.information);
  SetDlgItemText(kStatus, texts.status);
  SetDlgItemText(IDC_NOTICE, FormatMessageText(1109, GetProductLabel(false)));
  SetDlgItemText(IDC_LANGUAGE_LABEL, LoadMessage(1014));
}

void CDlgStart::Layout(int dx, int dy) {
  // The label keeps its place and size; everything else widens.
  OffsetChildWindow(GetDlgItem(IDC_LANGUAGE_LIST), 0, 0, dx, 0);
  OffsetChildWindow(GetDlgItem(IDC_NOTICE), 0, 0, dx, 0);
  OffsetChildWindow(GetDlgItem(IDC_INFORMATION), 0, 0, dx, dy);
  OffsetChildWindow(GetDlgItem(kStatus), 0, dy, dx, 0);
}

// ---- method page ----

void CDlgMode::DoDataExchange(CDataExchange* dx) {
  if (!dx->m_bSaveAndValidate) m_nMethod = m_settings.m_bAdvanced ? 1 : 0;
  DDX_Radio(dx, IDC_QUICK, m_nMethod);
  if (dx->m_bSaveAndValidate) m_settings.m_bAdvanced = m_nMethod == 1;
}

void CDlgMode::UpdateTexts() {
  SetDlgItemText(IDC_METHOD_GROUP, LoadMessage(1015));
  SetDlgItemText(IDC_QUICK, LoadMessage(1016));
  SetDlgItemText(IDC_ADVANCED, LoadMessage(1017));
  SetDlgItemText(kStatus, FormatMessageText(1106, LoadMessage(1006)));
}

// ---- folder page ----

BOOL CDlgPath::OnInitDialog() {
  CDialog::OnInitDialog();
  if (m_settings.m_nEarlierState != 0) {
    // An update or reinstallation keeps the earlier installation's folder.
    ::EnableWindow(GetDlgItem(IDC_FOLDER_TEXT), FALSE);
    ::EnableWindow(GetDlgItem(kBrowse), FALSE);
    ::SendMessageW(GetDlgItem(IDC_INSTALL_FOLDER), EM_SETREADONLY, TRUE, 0);
  }
  return TRUE;
}

void CDlgPath::DoDataExchange(CDataExchange* dx) {
  if (!dx->m_bSaveAndValidate) m_strFolder = m_settings.m_strInstallFolder;
  DDX_Text(dx, IDC_INSTALL_FOLDER, m_strFolder);
  DDV_MaxChars(dx, m_strFolder, MAX_PATH);
  if (dx->m_bSaveAndValidate) m_settings.m_strInstallFolder = m_strFolder;
}

void CDlgPath::UpdateTexts() {
  SetDlgItemText(IDC_FOLDER_GROUP, LoadMessage(1010));
  SetDlgItemText(IDC_FOLDER_TEXT, FormatMessageText(1111, GetProductLabel(true)));
  SetDlgItemText(kBrowse, LoadMessage(1008));
  SetDlgItemText(kStatus, FormatMessageText(1106, LoadMessage(1006)));
}

BOOL CDlgPath::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  static const message_map_entry<CDlgPath> map[] = {
      OnCommandEntry<CDlgPath>(BN_CLICKED, kBrowse, &CDlgPath::OnBrowse),
  };
  if (DispatchMessageMap(this, map, msg, wp, lp, result)) return TRUE;
  return CWizardPage::OnWndMsg(msg, wp, lp, result);
}

void CDlgPath::OnBrowse() {
  if (!UpdateData(TRUE)) return;
  CFolderPicker picker(FormatMessageText(1111, GetProductLabel(true)));
  if (picker.Browse(m_settings.m_strInstallFolder, GetProductName(kProductId)) && !picker.GetPath().empty()) {
    m_settings.m_strInstallFolder = picker.GetPath();
    UpdateData(FALSE);
  }
}

// ---- shortcut page ----

BOOL CDlgShortcut::OnInitDialog() {
  m_strRoot = special_folder(CSIDL_COMMON_STARTMENU);
  if (m_strRoot.empty()) m_strRoot = special_folder(CSIDL_STARTMENU);
  CDialog::OnInitDialog();
  EnableMenuFolder();
  return TRUE;
}

void CDlgShortcut::DoDataExchange(CDataExchange* dx) {
  if (!dx->m_bSaveAndValidate) {
    m_nDesktop = m_settings.m_bDesktopShortcut ? 1 : 0;
    m_nMenu = m_settings.m_bMenuShortcut ? 1 : 0;
    m_strRelative = MenuFolderRelative(m_strRoot, m_settings.m_strMenuFolder);
  }
  DDX_Check(dx, IDC_DESKTOP_SHORTCUT, m_nDesktop);
  DDX_Check(dx, IDC_MENU_SHORTCUT, m_nMenu);
  DDX_Text(dx, IDC_MENU_FOLDER, m_strRelative);
  DDV_MaxChars(dx, m_strRelative, MAX_PATH);
  if (dx->m_bSaveAndValidate) {
    m_settings.m_bDesktopShortcut = m_nDesktop != 0;
    m_settings.m_bMenuShortcut = m_nMenu != 0;
    m_settings.m_strMenuFolder = MenuFolderFromRelative(m_strRoot, m_strRelative);
  }
}

void CDlgShortcut::UpdateTexts() {
  SetDlgItemText(IDC_MENU_GROUP, LoadMessage(1009));
  SetDlgItemText(IDC_MENU_SHORTCUT, LoadMessage(1112));
  SetDlgItemText(kBrowse, LoadMessage(1008));
  SetDlgItemText(IDC_DESKTOP_SHORTCUT, LoadMessage(1113));
  SetDlgItemText(kStatus, FormatMessageText(1106, LoadMessage(1006)));
}

BOOL CDlgShortcut::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  static const message_map_entry<CDlgShortcut> map[] = {
      OnCommandEntry<CDlgShortcut>(BN_CLICKED, kBrowse, &CDlgShortcut::OnBrowse),
      OnCommandEntry<CDlgShortcut>(BN_CLICKED, IDC_MENU_SHORTCUT, &CDlgShortcut::OnMenuClicked),
  };
  if (DispatchMessageMap(this, map, msg, wp, lp, result)) return TRUE;
  return CWizardPage::OnWndMsg(msg, wp, lp, result);
}

void CDlgShortcut::EnableMenuFolder() {
  const BOOL ticked = ::SendMessageW(GetDlgItem(IDC_MENU_SHORTCUT), BM_GETCHECK, 0, 0) == BST_CHECKED;
  ::EnableWindow(GetDlgItem(IDC_MENU_FOLDER), ticked);
  ::EnableWindow(GetDlgItem(kBrowse), ticked);
}

void CDlgShortcut::OnMenuClicked() { EnableMenuFolder(); }

void CDlgShortcut::OnBrowse() {
  if (!UpdateData(TRUE)) return;
  CFolderPicker picker(LoadMessage(1112));
  picker.SetRoot(CSIDL_COMMON_PROGRAMS);
  if (picker.Browse(m_settings.m_strMenuFolder, GetProductName(kProductId)) && !picker.GetPath().empty()) {
    m_settings.m_strMenuFolder = picker.GetPath();
    UpdateData(FALSE);
  }
}

// ---- installation page ----

BOOL CDlgInstall::OnInitDialog() {
  CDialog::OnInitDialog();
  m_wndProgress.SetRange32(0, 100);
  m_wndProgress.ShowWindow(SW_HIDE);
  return TRUE;
}

void CDlgInstall::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_INSTALL_LOG, m_wndLog);
  DDX_Control(dx, IDC_PROGRESS, m_wndProgress);
  if (!dx->m_bSaveAndValidate && !m_settings.m_bInstalled) WriteSummary();
}

void CDlgInstall::WriteSummary() {
  m_wndLog.SetWindowText(L"");
  const std::wstring label = GetProductLabel(false);
  AppendLine(FormatMessageText(1100, label) + L"\r\n", false);
  AppendLine(LoadMessage(1122), true);
  AppendLine(FormatMessageText(1123, quote_spaces(m_settings.m_strInstallFolder)) + L"\r\n", false);
  if (m_settings.m_bMenuShortcut)
    AppendLine(FormatMessageText(1124, quote_spaces(m_settings.m_strMenuFolder)) + L"\r\n", false);
  if (m_settings.m_bDesktopShortcut) AppendLine(LoadMessage(1125) + L"\r\n", false);
  // Back to the first line; the count only guards against a log that
  // does not scroll.
  for (int guard = 0; m_wndLog.GetFirstVisibleLine() > 0 && guard < 10000; ++guard) m_wndLog.LineScroll(-1);
}

void CDlgInstall::AppendLine(const std::wstring& text, bool heading) {
  std::wstring line = text;
  if (text.empty() || heading) {
    RECT client{};
    ::GetClientRect(m_wndLog, &client);
    int left = 0, right = 0;
    m_wndLog.GetMargins(left, right);
    const int available = client.right - client.left - left - right - 2;
    const int framed = text.empty() ? 0 : text_width(m_hWnd, L" " + text + L" ");
    line = DashedLine(text, available, framed, text_width(m_hWnd, L"-"));
  }
  const int end = ::GetWindowTextLengthW(m_wndLog);
  m_wndLog.SetSel(end, end);
  m_wndLog.ReplaceSel(line);
  m_wndLog.LineScroll(1);
}

bool CDlgInstall::RunInstallation() { return run_installation(m_settings, *this, current_product_identity()); }

void CDlgInstall::SetStatus(const std::wstring& text, bool path) {
  HWND status = GetDlgItem(kStatus);
  if (!path || text.size() >= MAX_PATH) {
    ::SetWindowTextW(status, text.c_str());
    return;
  }
  // A path is shortened with an ellipsis to the width of the line.
  wchar_t compact[MAX_PATH] = {};
  text.copy(compact, MAX_PATH - 1);
  RECT client{};
  ::GetClientRect(status, &client);
  HDC dc = ::GetDC(status);
  if (dc) {
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(status, WM_GETFONT, 0, 0)));
    ::PathCompactPathW(dc, compact, static_cast<UINT>(client.right - client.left));
    ::SelectObject(dc, old);
    ::ReleaseDC(status, dc);
  }
  ::SetWindowTextW(status, compact);
}

void CDlgInstall::ShowProgress() { m_wndProgress.ShowWindow(SW_SHOW); }

void CDlgInstall::SetProgress(int percent) { m_wndProgress.SetPos(percent); }

std::wstring CDlgInstall::Message(unsigned id, const std::wstring& arg) { return FormatMessageText(id, arg); }

bool CDlgInstall::PreTranslateMessage(MSG* msg) {
  CWinApp* app = AfxGetApp();
  return app && app->PreTranslateMessage(msg);
}

void CDlgInstall::UpdateTexts() { SetDlgItemText(kStatus, FormatMessageText(1108, LoadMessage(1007))); }

void CDlgInstall::Layout(int dx, int dy) {
  OffsetChildWindow(GetDlgItem(IDC_INSTALL_LOG), 0, 0, dx, dy);
  OffsetChildWindow(GetDlgItem(IDC_PROGRESS), 0, dy, dx, 0);
  OffsetChildWindow(GetDlgItem(kStatus), 0, dy, dx, 0);
}

// ---- end page ----

void CDlgEnd::DoDataExchange(CDataExchange* dx) {
  if (!dx->m_bSaveAndValidate && m_settings.m_bInstalled) SetDlgItemText(IDC_INFORMATION, LoadMessage(1120));
}

void CDlgEnd::UpdateTexts() {
  SetDlgItemText(IDC_INFORMATION, L"");
  SetDlgItemText(kStatus, FormatMessageText(1107, LoadMessage(1004)));
}

void CDlgEnd::Layout(int dx, int dy) { LayoutControls(dx, dy, {IDC_INFORMATION}); }

// ---- About box ----

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  std::wstring caption = LoadMessage(1003);
  if (caption.empty()) caption = GetWindowText();
  SetWindowText(FormatText(caption, GetInstallerTitle(false)));
  qv::version_info own;
  const std::wstring version = own.display_text();
  if (!version.empty()) SetDlgItemText(IDC_VERSION_LINE, version);
  const std::wstring legal = own.legal_copyright();
  if (!legal.empty()) SetDlgItemText(IDC_LEGAL_NOTICE, legal);
  SetDlgItemText(IDOK, LoadMessage(1001));
  return TRUE;
}
