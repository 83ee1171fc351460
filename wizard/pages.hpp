// The wizard's six pages and the About box. Each page is a child dialog of
// the frame, moves its values between its controls and the installation
// settings through data exchange, and puts the current language's texts on
// its controls when asked.
#pragma once
#include "engine/install_run.hpp"
#include "engine/install_settings.hpp"
#include "framework/controls.hpp"
#include "framework/dialog.hpp"
#include "framework/message_map.hpp"
#include "resources/resource_ids.h"
#include <initializer_list>
#include <string>

class CInstallDlg;

class CWizardPage : public CDialog {
public:
  CWizardPage(UINT templateId, install_settings& settings) : CDialog(templateId), m_settings(settings) {}

  virtual void UpdateTexts() = 0;
  // Called once with the difference between the common page size and this
  // page's own: every control widens by dx, the status line also moves
  // down by dy, a Browse button moves right by dx.
  virtual void Layout(int dx, int dy);

  // Enter and Escape belong to the frame, not to a page.
  void OnOK() override {}
  void OnCancel() override {}

protected:
  // The default layout, with the controls in `grow` also growing by dy.
  void LayoutControls(int dx, int dy, std::initializer_list<int> grow = {});
  install_settings& m_settings;
};

class CDlgStart : public CWizardPage {
public:
  explicit CDlgStart(install_settings& settings) : CWizardPage(IDD_PAGE_START, settings) {}
  void SetFrame(CInstallDlg* frame) { m_pFrame = frame; }
  void UpdateTexts() override;
  void Layout(int dx, int dy) override;
  BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

  CComboBoxEx m_wndLanguages;
  CImageList m_images;

private:
  void FillLanguageList();
  void OnLanguageSelected();
  CInstallDlg* m_pFrame = nullptr;
};

class CDlgMode : public CWizardPage {
public:
  explicit CDlgMode(install_settings& settings) : CWizardPage(IDD_PAGE_MODE, settings) {}
  void UpdateTexts() override;
  void DoDataExchange(CDataExchange* dx) override;
  int m_nMethod = -1;  // the radio index: 0 quick, 1 advanced
};

class CDlgPath : public CWizardPage {
public:
  explicit CDlgPath(install_settings& settings) : CWizardPage(IDD_PAGE_PATH, settings) {}
  void UpdateTexts() override;
  BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  std::wstring m_strFolder;

private:
  void OnBrowse();
};

class CDlgShortcut : public CWizardPage {
public:
  explicit CDlgShortcut(install_settings& settings) : CWizardPage(IDD_PAGE_SHORTCUT, settings) {}
  void UpdateTexts() override;
  BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

  int m_nDesktop = 0;
  int m_nMenu = 0;
  std::wstring m_strRelative;
  std::wstring m_strRoot;

private:
  void OnBrowse();
  void OnMenuClicked();
  void EnableMenuFolder();
};

// The installation page is also what the installation run reports through.
class CDlgInstall : public CWizardPage, public install_page {
public:
  explicit CDlgInstall(install_settings& settings) : CWizardPage(IDD_PAGE_INSTALL, settings) {}
  void UpdateTexts() override;
  void Layout(int dx, int dy) override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

  // Adds to the log: a heading (or an empty text) becomes a line of dashes
  // across the log's width; any other text goes in unchanged.
  void AppendLine(const std::wstring& text, bool heading = false) override;
  void SetStatus(const std::wstring& text, bool path = false) override;
  void ShowProgress() override;
  void SetProgress(int percent) override;
  std::wstring Message(unsigned id, const std::wstring& arg = {}) override;
  bool PreTranslateMessage(MSG* msg) override;
  HWND Window() const override { return m_hWnd; }
  // The installation run; true when it succeeded.
  bool RunInstallation();

  CEdit m_wndLog;
  CProgressCtrl m_wndProgress;

private:
  void WriteSummary();
};

class CDlgEnd : public CWizardPage {
public:
  explicit CDlgEnd(install_settings& settings) : CWizardPage(IDD_PAGE_END, settings) {}
  void UpdateTexts() override;
  void Layout(int dx, int dy) override;
  void DoDataExchange(CDataExchange* dx) override;
};

class CAboutDlg : public CDialog {
public:
  explicit CAboutDlg(CWnd* parent = nullptr) : CDialog(IDD_ABOUT_BOX, parent) {}
  BOOL OnInitDialog() override;
};
