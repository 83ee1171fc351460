#include "framework/dialog.hpp"
#include "framework/exception_barrier.hpp"
#include "framework/win_app.hpp"
#include <vector>

namespace {
constexpr wchar_t kMaxCharsText[] = L"Enter no more than %1 characters.";

std::wstring replace_first_arg(std::wstring text, const std::wstring& arg) {
  std::wstring::size_type at = text.find(L"%1");
  if (at != std::wstring::npos) text.replace(at, 2, arg);
  return text;
}
}  // namespace

HWND CDataExchange::PrepareCtrl(int id) {
  m_hWndLastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
  m_bEditLastControl = false;
  return m_hWndLastControl;
}

HWND CDataExchange::PrepareEditCtrl(int id) {
  HWND h = PrepareCtrl(id);
  m_bEditLastControl = true;
  return h;
}

void CDataExchange::Fail() {
  if (m_bSaveAndValidate && m_hWndLastControl) {
    ::SetFocus(m_hWndLastControl);
    if (m_bEditLastControl) ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
  }
  throw CUserException();
}

void DDX_Text(CDataExchange* dx, int id, std::wstring& value) {
  HWND ctrl = dx->PrepareEditCtrl(id);
  if (dx->m_bSaveAndValidate) {
    int n = ::GetWindowTextLengthW(ctrl);
    std::vector<wchar_t> buf(n + 1);
    int got = n > 0 ? ::GetWindowTextW(ctrl, buf.data(), n + 1) : 0;
    value.assign(buf.data(), got > 0 ? got : 0);
  } else {
    ::SetWindowTextW(ctrl, value.c_str());
  }
}

void DDV_MaxChars(CDataExchange* dx, const std::wstring& value, int max_chars) {
  if (dx->m_bSaveAndValidate) {
    if (static_cast<int>(value.size()) > max_chars) {
      AfxMessageBox(replace_first_arg(kMaxCharsText, std::to_wstring(max_chars)), MB_ICONEXCLAMATION);
      dx->Fail();
    }
  } else if (dx->m_hWndLastControl && dx->m_bEditLastControl) {
    // Keeps the user from typing more than the validation accepts.
    ::SendMessageW(dx->m_hWndLastControl, EM_LIMITTEXT, static_cast<WPARAM>(max_chars), 0);
  }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  HWND ctrl = dx->PrepareCtrl(id);
  if (dx->m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessageW(ctrl, BM_GETCHECK, 0, 0));
  } else {
    ::SendMessageW(ctrl, BM_SETCHECK, static_cast<WPARAM>(value), 0);
  }
}

void DDX_Check(CDataExchange* dx, int id, bool& value) {
  int state = value ? BST_CHECKED : BST_UNCHECKED;
  DDX_Check(dx, id, state);
  if (dx->m_bSaveAndValidate) value = state == BST_CHECKED;
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
  HWND ctrl = dx->PrepareCtrl(id);
  if (dx->m_bSaveAndValidate) value = -1;
  // Walk the group: from the first button to the next WS_GROUP control.
  int index = 0;
  for (HWND h = ctrl; h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    if (h != ctrl && (::GetWindowLongW(h, GWL_STYLE) & WS_GROUP)) break;
    if (::SendMessageW(h, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
      if (dx->m_bSaveAndValidate) {
        if (::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
      } else {
        ::SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      ++index;
    }
  }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (!control.m_hWnd) control.Attach(dx->PrepareCtrl(id));
}

CDialog::~CDialog() {
  if (m_hWnd && !m_bModal) ::DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal() {
  // After the exception barrier caught something the program is ending:
  // no new dialog opens.
  if (AfxIsEnding()) return -1;
  HWND reenable = nullptr;
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : CWnd::GetSafeOwner(nullptr, &reenable);
  CWinApp* app = AfxGetApp();
  CModalScope modal(reenable, [app](bool enable) {
    if (app) app->DoEnableModeless(enable ? TRUE : FALSE);
  });
  m_bModal = true;
  INT_PTR result = ::DialogBoxParamW(app ? app->m_hInstance : ::GetModuleHandleW(nullptr),
                                     MAKEINTRESOURCEW(m_nIDTemplate), owner, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
  m_bModal = false;
  m_hWnd = nullptr;
  return result;
}

BOOL CDialog::Create(UINT template_id, CWnd* parent) {
  m_nIDTemplate = template_id;
  m_pParentWnd = parent;
  CWinApp* app = AfxGetApp();
  HWND h = ::CreateDialogParamW(app ? app->m_hInstance : ::GetModuleHandleW(nullptr),
                                MAKEINTRESOURCEW(template_id), parent ? parent->m_hWnd : nullptr,
                                DialogProc, reinterpret_cast<LPARAM>(this));
  return h != nullptr;
}

BOOL CDialog::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  BOOL ok = ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
  return ok;
}

void CDialog::EndDialog(INT_PTR result) {
  if (m_hWnd) ::EndDialog(m_hWnd, result);
}

BOOL CDialog::UpdateData(BOOL save_and_validate) {
  CDataExchange dx(this, save_and_validate);
  try {
    DoDataExchange(&dx);
  } catch (const CUserException&) {
    return FALSE;
  }
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_COMMAND) return OnCommand(wp, lp);
  return FALSE;
}

BOOL CDialog::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) == BN_CLICKED || lp == 0) {
    switch (LOWORD(wp)) {
      case IDOK: OnOK(); return TRUE;
      case IDCANCEL: OnCancel(); return TRUE;
    }
  }
  return FALSE;
}

INT_PTR CDialog::HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CDialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lp);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->m_hWnd = hwnd;
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!self) return FALSE;
  LRESULT result = 0;
  BOOL handled = self->OnWndMsg(msg, wp, lp, &result);
  if (msg == WM_NCDESTROY) self->m_hWnd = nullptr;
  if (handled && msg != WM_COMMAND) ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
  return handled;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // The exception barrier: nothing our code throws may reach user32.
  INT_PTR answer = AfxCallGuarded([&] { return HandleMessage(hwnd, msg, wp, lp); }, INT_PTR(FALSE));
  if (AfxIsEnding() && msg != WM_NCDESTROY && msg != WM_DESTROY) EndOnFailure(hwnd);
  return answer;
}

void CDialog::EndOnFailure(HWND hwnd) noexcept {
  // A modal dialog ends with -1. A page (a modeless child) cannot end a
  // modal loop; its top-level dialog is woken so that it ends itself.
  auto* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self && self->m_bModal) {
    ::EndDialog(hwnd, -1);
    return;
  }
  HWND root = ::GetAncestor(hwnd, GA_ROOT);
  if (root && root != hwnd) ::PostMessageW(root, WM_NULL, 0, 0);
}
