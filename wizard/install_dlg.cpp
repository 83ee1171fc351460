#include "wizard/install_dlg.hpp"
#include "app/language.hpp"
#include "app/product.hpp"
#include "resources/resource_ids.h"
#include "framework/controls.hpp"
#include "framework/message_map.hpp"
#include "framework/win_app.hpp"
#include "support/message_box.hpp"

namespace {
constexpr int kBack = IDC_BACK;
constexpr int kLogoBackground = IDC_LOGO_BACKGROUND;
constexpr int kSeparator = IDC_SEPARATOR;
constexpr UINT kPageTemplates[kPageCount] = {IDD_PAGE_START, IDD_PAGE_MODE, IDD_PAGE_PATH, IDD_PAGE_SHORTCUT, IDD_PAGE_INSTALL, IDD_PAGE_END};
}  // namespace

CInstallDlg::CInstallDlg(install_settings& settings, CWnd* parent)
    : CDialog(IDD_WIZARD, parent),
      m_dlgStart(settings),
      m_dlgMode(settings),
      m_dlgPath(settings),
      m_dlgShortcut(settings),
      m_dlgInstall(settings),
      m_dlgEnd(settings),
      m_settings(settings),
      m_pages{&m_dlgStart, &m_dlgMode, &m_dlgPath, &m_dlgShortcut, &m_dlgInstall, &m_dlgEnd} {
  m_dlgStart.SetFrame(this);
  m_runInstallation = [](CDlgInstall& page) { return page.RunInstallation(); };
}

CInstallDlg::~CInstallDlg() = default;

std::wstring CInstallDlg::AboutText() const {
  return AboutItemText(FormatMessageText(1003, GetInstallerTitle(false)), qv::get_language_state().right_to_left);
}

BOOL CInstallDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(GetInstallerTitle(true));

  CSystemMenu menu(m_hWnd);
  menu.AppendSeparator();
  menu.AppendString(kAboutCommand, AboutText());
  menu.Delete(SC_MAXIMIZE);
  menu.Delete(SC_SIZE);

  const auto& icon_hook = qv::get_message_box_hooks().icon;
  if (icon_hook) {
    if (HICON icon = icon_hook()) SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  }

  for (int n = 0; n < kPageCount; ++n) m_pages[n]->Create(kPageTemplates[n], this);
  LayoutPages();
  UpdateTexts();
  ShowPage(kStartPage);
  if (m_settings.m_nEarlierState == -1) ::EnableWindow(GetDlgItem(IDOK), FALSE);
  // ShowPage has put the focus on the page's default button.
  return FALSE;
}

void CInstallDlg::LayoutPages() {
  RECT area{};
  ::GetClientRect(m_hWnd, &area);
  area.left = ChildRect(GetDlgItem(kLogoBackground)).right;
  area.bottom = ChildRect(GetDlgItem(kSeparator)).top;

  RECT all = area;
  for (CWizardPage* page : m_pages) {
    ::SetWindowPos(page->m_hWnd, nullptr, area.left, area.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
    RECT r = ChildRect(page->m_hWnd);
    ::UnionRect(&all, &all, &r);
  }
  const int width = all.right - all.left, height = all.bottom - all.top;
  const int dx = width - (area.right - area.left);
  const int dy = height - (area.bottom - area.top);

  RECT frame{};
  ::GetWindowRect(m_hWnd, &frame);
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left + dx, frame.bottom - frame.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  for (CWizardPage* page : m_pages) {
    RECT r = ChildRect(page->m_hWnd);
    ::SetWindowPos(page->m_hWnd, nullptr, all.left, all.top, width, height,
                   SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
    page->Layout(width - (r.right - r.left), height - (r.bottom - r.top));
  }

  OffsetChildWindow(GetDlgItem(kLogoBackground), 0, 0, 0, dy);
  OffsetChildWindow(GetDlgItem(kSeparator), 0, dy, dx, 0);
  for (int id : {kBack, IDOK, IDCANCEL}) OffsetChildWindow(GetDlgItem(id), dx, dy, 0, 0);
}

void CInstallDlg::UpdateTexts() {
  SetWindowText(GetInstallerTitle(true));
  CSystemMenu(m_hWnd).SetString(kAboutCommand, AboutText());
  UpdateButtons();
  for (CWizardPage* page : m_pages) page->UpdateTexts();
}

void CInstallDlg::UpdateButtons() {
  const wizard_buttons b = ButtonsFor(m_nCurrentPage, m_settings.m_bInstalled, m_settings.m_nEarlierState);
  SetDlgItemText(IDOK, b.nextMessage == 1007 ? LoadMessage(1007) : LoadMessage(1006) + L"  >");
  SetDlgItemText(kBack, L"<  " + LoadMessage(1005));
  SetDlgItemText(IDCANCEL, LoadMessage(b.exitMessage));
}

bool CInstallDlg::ShowPage(int target) {
  if (target < 0 || target >= kPageCount) return false;
  if (m_nCurrentPage >= 0) {
    CWizardPage* shown = m_pages[m_nCurrentPage];
    if (!shown->UpdateData(TRUE)) return false;
    shown->ShowWindow(SW_HIDE);
  }
  const int n = ResolvePage(m_nCurrentPage, target, m_settings.m_bAdvanced);
  if (n != m_nCurrentPage) m_pages[n]->UpdateData(FALSE);
  m_nCurrentPage = n;
  m_pages[n]->ShowWindow(SW_SHOW);
  UpdateButtons();

  const wizard_buttons b = ButtonsFor(n, m_settings.m_bInstalled, m_settings.m_nEarlierState);
  ::EnableWindow(GetDlgItem(kBack), b.backEnabled);
  ::EnableWindow(GetDlgItem(IDOK), b.nextEnabled);
  HWND focus = GetDlgItem(b.defaultId);
  SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
  SendMessage(DM_SETDEFID, static_cast<WPARAM>(b.defaultId));
  return true;
}

void CInstallDlg::OnBack() { ShowPage(m_nCurrentPage - 1); }

void CInstallDlg::OnOK() {
  // Enter reaches here also while Next is disabled.
  if (!::IsWindowEnabled(GetDlgItem(IDOK))) return;
  if (!NextRunsInstallation(m_nCurrentPage, m_settings.m_bInstalled)) {
    ShowPage(m_nCurrentPage + 1);
    return;
  }
  for (int id : {kBack, IDOK, IDCANCEL}) ::EnableWindow(GetDlgItem(id), FALSE);
  {
    CWaitCursor wait;
    m_settings.m_bInstalled = m_runInstallation ? m_runInstallation(m_dlgInstall) : false;
  }
  ShowPage(m_nCurrentPage);
  ::EnableWindow(GetDlgItem(IDCANCEL), TRUE);
}

void CInstallDlg::OnCancel() {
  if (ExitAsks(m_nCurrentPage, m_settings.m_bInstalled, m_settings.m_nEarlierState) &&
      AfxMessageBox(LoadMessage(1110), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return;
  EndDialog(m_settings.m_bInstalled ? IDOK : IDCANCEL);
}

LRESULT CInstallDlg::OnSysCommand(WPARAM wp, LPARAM) {
  CAboutDlg about(this);
  about.DoModal();
  return 0;
}

LRESULT CInstallDlg::OnGetMinMaxInfo(WPARAM, LPARAM lp) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lp);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (info && ::GetWindowPlacement(m_hWnd, &placement)) {
    const RECT& normal = placement.rcNormalPosition;
    info->ptMaxSize.x = normal.right - normal.left;
    info->ptMaxSize.y = normal.bottom - normal.top;
    info->ptMaxPosition.x = normal.left;
    info->ptMaxPosition.y = normal.top;
  }
  return 0;
}

LRESULT CInstallDlg::OnInitMenuPopup(WPARAM wp, LPARAM lp) {
  if (!HIWORD(lp)) return 0;  // not the system menu
  CSystemMenu menu(m_hWnd);
  const bool minimised = ::IsIconic(m_hWnd) != FALSE;
  menu.Enable(SC_MINIMIZE, !minimised);
  menu.Enable(SC_RESTORE, minimised);
  return 0;
}

BOOL CInstallDlg::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  static const message_map_entry<CInstallDlg> map[] = {
      OnCommandEntry<CInstallDlg>(BN_CLICKED, kBack, &CInstallDlg::OnBack),
      OnMessageEntry<CInstallDlg>(WM_GETMINMAXINFO, &CInstallDlg::OnGetMinMaxInfo),
      OnMessageEntry<CInstallDlg>(WM_INITMENUPOPUP, &CInstallDlg::OnInitMenuPopup),
  };
  // Only the About command is ours; every other system command gets the
  // default handling.
  if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == kAboutCommand) {
    *result = OnSysCommand(wp, lp);
    return TRUE;
  }
  if (DispatchMessageMap(this, map, msg, wp, lp, result)) return TRUE;
  return CDialog::OnWndMsg(msg, wp, lp, result);
}

void OnLanguageChanged(int language, CInstallDlg& frame) {
  qv::set_language(language);
  // The title first, so that the box below already carries the caption in
  // the language of its text.
  if (CWinApp* app = AfxGetApp()) app->SetAppName(GetInstallerTitle(true));
  if (!HasInstallerTexts(language))
    AfxMessageBox(FormatMessageText(1129, GetProductLabel(true)), MB_OK | MB_ICONINFORMATION);
  frame.UpdateTexts();
}

void RunWizard(CWinApp& app, install_settings& settings) {
  CInstallDlg wizard(settings);
  app.m_pMainWnd = &wizard;
  wizard.DoModal();
  app.m_pMainWnd = nullptr;
}
