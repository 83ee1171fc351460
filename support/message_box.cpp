#include "support/message_box.hpp"
#include "app/language.hpp"
#include "framework/win_app.hpp"
#include "framework/wnd.hpp"
#include "support/app_identity.hpp"
#include "support/errors.hpp"

namespace qv {

message_box_hooks& get_message_box_hooks() {
  static message_box_hooks hooks;
  return hooks;
}

void install_default_message_box_hooks() {
  static const bool installed = [] {
    startup();
    message_box_hooks& hooks = get_message_box_hooks();
    hooks.title = [] { return AfxGetAppName(); };
    hooks.owner = [] {
      HWND reenable = nullptr;
      HWND owner = CWnd::GetSafeOwner(nullptr, &reenable);
      return std::make_pair(owner, reenable);
    };
    hooks.enable_modeless = [](bool enable) {
      if (CWinApp* app = AfxGetApp()) app->DoEnableModeless(enable ? TRUE : FALSE);
    };
    return true;
  }();
  (void)installed;
}

UINT complete_box_type(UINT type, bool right_to_left) {
  if ((type & MB_ICONMASK) == 0) {
    switch (type & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL: type |= MB_ICONEXCLAMATION; break;
      case MB_YESNOCANCEL:
      case MB_YESNO: type |= MB_ICONQUESTION; break;
      default: break;
    }
  }
  if (right_to_left) type |= MB_RTLREADING;
  return type;
}

int message_box(const std::wstring& text, UINT type) {
  message_box_hooks& hooks = get_message_box_hooks();
  std::pair<HWND, HWND> owner{nullptr, nullptr};
  if (hooks.owner) owner = hooks.owner();
  if (hooks.enable_modeless) hooks.enable_modeless(false);
  // Focus must be able to return to the owner when the box closes.
  if (owner.first && owner.first != owner.second) ::EnableWindow(owner.first, TRUE);

  bool rtl;
  if (owner.first)
    rtl = (::GetWindowLongW(owner.first, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
  else
    rtl = is_right_to_left(default_language(0));
  std::wstring caption = hooks.title ? hooks.title() : std::wstring();

  int result = ::MessageBoxW(owner.first, text.c_str(), caption.c_str(), complete_box_type(type, rtl));

  if (owner.second) ::EnableWindow(owner.second, TRUE);
  if (hooks.enable_modeless) hooks.enable_modeless(true);
  return result;
}

void show_error(unsigned long code) { message_box(system_message(code, 0), MB_ICONEXCLAMATION); }

}  // namespace qv
