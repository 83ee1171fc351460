// Dialogs from resource templates, modal or as child pages, and the data
// exchange that moves values between their controls and members.
#pragma once
#include "framework/wnd.hpp"
#include <stdexcept>
#include <string>

class CDialog;

// Thrown by CDataExchange::Fail after the user was told what is wrong;
// UpdateData catches it and answers FALSE.
struct CUserException : std::exception {
  const char* what() const noexcept override { return "data exchange failed"; }
};

class CDataExchange {
public:
  CDataExchange(CDialog* dialog, BOOL save_and_validate)
      : m_bSaveAndValidate(save_and_validate), m_pDlgWnd(dialog) {}
  // Remembers the control that the next validation speaks of.
  HWND PrepareCtrl(int id);
  HWND PrepareEditCtrl(int id);
  // Gives the focus back to the last prepared control (selecting the text of
  // an edit control) and ends the exchange.
  [[noreturn]] void Fail();

  BOOL m_bSaveAndValidate;
  CDialog* m_pDlgWnd;
  HWND m_hWndLastControl = nullptr;
  bool m_bEditLastControl = false;
};

// Text of a control <-> string.
void DDX_Text(CDataExchange* dx, int id, std::wstring& value);
// Validation after DDX_Text: at most `max_chars` characters. On failure the
// user sees "Enter no more than %1 characters." with the number for %1.
void DDV_MaxChars(CDataExchange* dx, const std::wstring& value, int max_chars);
// Check box state (0 unchecked, 1 checked, 2 indeterminate) <-> int.
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Check(CDataExchange* dx, int id, bool& value);
// Radio group starting at control `id` (a WS_GROUP button): index of the
// checked button, -1 for none <-> int.
void DDX_Radio(CDataExchange* dx, int id, int& value);
// Binds a control of the dialog to a window member, once.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
public:
  CDialog(UINT template_id, CWnd* parent = nullptr) : m_nIDTemplate(template_id), m_pParentWnd(parent) {}
  ~CDialog() override;

  // Runs the dialog modally; the result is what EndDialog received, or -1
  // when the dialog could not be created or the exception barrier ended it
  // (and then at once, without showing it, once the program is ending).
  virtual INT_PTR DoModal();
  // Creates the dialog as a modeless window (a child page of another dialog).
  BOOL Create(UINT template_id, CWnd* parent);
  BOOL DestroyWindow();
  void EndDialog(INT_PTR result);

  // Moves data between controls and members: FALSE when a validation failed.
  BOOL UpdateData(BOOL save_and_validate = TRUE);

  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange* dx) {}
  // The message map: every message of the dialog passes here first.
  // Return TRUE when handled, with *result the value to return.
  virtual BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
  virtual BOOL OnCommand(WPARAM wp, LPARAM lp);

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

private:
  // Every message of every dialog passes the exception barrier here.
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static INT_PTR HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static void EndOnFailure(HWND hwnd) noexcept;
  bool m_bModal = false;
};
