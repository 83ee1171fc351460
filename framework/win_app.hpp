// The application object of the framework: one per process, constructed
// during static initialisation; the framework's entry point calls its
// InitInstance and, when that returns TRUE, runs the message loop.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

class CWnd;

class CWinApp {
public:
  // Without a name the application is named after its executable file
  // (the file name without folder and extension).
  explicit CWinApp(const wchar_t* app_name = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  virtual int Run();
  virtual BOOL PreTranslateMessage(MSG* msg);
  // Tells the application that a modal window starts (FALSE) or has ended.
  virtual void DoEnableModeless(BOOL enable);
  // The box behind AfxMessageBox; applications may route it elsewhere.
  virtual int DoMessageBox(const std::wstring& text, UINT type);

  const std::wstring& GetAppName() const { return m_strAppName; }
  void SetAppName(const std::wstring& name) { m_strAppName = name; }

  HINSTANCE m_hInstance;
  CWnd* m_pMainWnd = nullptr;

protected:
  std::wstring m_strAppName;
  int m_nModalDepth = 0;
};

CWinApp* AfxGetApp();
// The application's name as the framework holds it; the executable's name
// when no application object exists.
std::wstring AfxGetAppName();
// The framework's message box: the application's DoMessageBox.
int AfxMessageBox(const std::wstring& text, UINT type = MB_OK);
// The one way the program shows a message box: `owner` (enabled for the
// time of the box, so that the focus can return to it), inside a
// CModalScope for `reenable` and `enable_modeless`; the framework's own box
// and the support library's both end here. Returns MessageBoxW's answer.
int AfxShowMessageBox(HWND owner, HWND reenable, const std::function<void(bool)>& enable_modeless,
                      const std::wstring& text, const std::wstring& caption, UINT type);
// The full path of the running program's file; empty when it cannot be had
// (or is longer than the 32,767 characters a path can have).
std::wstring AfxGetExecutablePath();
// The framework's entry point, called from wWinMain: InitInstance and the
// message loop behind the exception barrier (exception_barrier.hpp). The
// process exit code: what ExitInstance or the loop gave, or
// kExitCodeUncaught when the barrier caught an exception.
int AfxWinMain(HINSTANCE instance);
