#include "support/message_box.hpp"
#include "framework/exception_barrier.hpp"
#include "framework/win_app.hpp"
#include "framework/wnd.hpp"
#include "support/app_identity.hpp"
#include "support/errors.hpp"
#include "support/language_state.hpp"

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
    // What the exception barrier of a window or dialog catches is shown in
    // the system's words, in this program's own box.
    AfxSetExceptionReporter([](unsigned long code) { message_box(system_message(code, 0), MB_ICONERROR); });
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
  // Everything that may throw runs before the owner hook disables a window;
  // from then on the framework's modal scope enables it again on every path.
  const std::wstring caption = hooks.title ? hooks.title() : std::wstring();
  const bool default_rtl = is_right_to_left(default_language(0));
  std::pair<HWND, HWND> owner{nullptr, nullptr};
  if (hooks.owner) owner = hooks.owner();
  const bool rtl =
      owner.first ? (::GetWindowLongW(owner.first, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0 : default_rtl;
  return AfxShowMessageBox(owner.first, owner.second, hooks.enable_modeless, text, caption,
                           complete_box_type(type, rtl));
}

void show_error(unsigned long code) { message_box(system_message(code, 0), MB_ICONEXCLAMATION); }

}  // namespace qv
