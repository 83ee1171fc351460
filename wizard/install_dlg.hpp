// The wizard frame: the maker's logo on the left, one page at a time on the
// right, Back, Next and Exit below. It owns the six pages, follows the page
// sequence of the chosen method and starts the installation run.
#pragma once
#include "engine/install_settings.hpp"
#include "framework/dialog.hpp"
#include "framework/win_app.hpp"
#include "resources/resource_ids.h"
#include "wizard/page_sequence.hpp"
#include "wizard/pages.hpp"
#include <functional>

constexpr UINT kAboutCommand = IDM_ABOUT_BOX;

class CInstallDlg : public CDialog {
public:
  explicit CInstallDlg(install_settings& settings, CWnd* parent = nullptr);
  ~CInstallDlg() override;

  BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  bool ShowPage(int page);
  void UpdateButtons();
  void UpdateTexts();

  int GetCurrentPage() const { return m_nCurrentPage; }
  CWizardPage* GetPage(int n) const { return n >= 0 && n < kPageCount ? m_pages[n] : nullptr; }

  // The installation run as the frame starts it: the installation page's
  // RunInstallation unless something else is put here (tests do).
  std::function<bool(CDlgInstall&)> m_runInstallation;

  CDlgStart m_dlgStart;
  CDlgMode m_dlgMode;
  CDlgPath m_dlgPath;
  CDlgShortcut m_dlgShortcut;
  CDlgInstall m_dlgInstall;
  CDlgEnd m_dlgEnd;

private:
  void OnBack();
  LRESULT OnSysCommand(WPARAM wp, LPARAM lp);
  LRESULT OnGetMinMaxInfo(WPARAM wp, LPARAM lp);
  LRESULT OnInitMenuPopup(WPARAM wp, LPARAM lp);
  void LayoutPages();
  std::wstring AboutText() const;

  install_settings& m_settings;
  CWizardPage* m_pages[kPageCount];
  int m_nCurrentPage = -1;
};

// The reaction to a new choice in the language list: the language becomes
// current (message 1129 first for one without installer texts), the
// application takes the title in it and the frame re-texts everything.
void OnLanguageChanged(int language, CInstallDlg& frame);

// Runs the wizard modally as the application's main window.
void RunWizard(CWinApp& app, install_settings& settings);
