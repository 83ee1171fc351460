#include "support/language_state.hpp"
#include "support/process_locale.hpp"
#include <clocale>

namespace {
// The Windows language of each language number; the mask bit of language n
// is 1 << n.
constexpr LANGID kLanguageIds[kLanguageCount] = {
    1036,  // 0 French
    1033,  // 1 English
    1031,  // 2 German
    3082,  // 3 Spanish
    2070,  // 4 Portuguese
    1043,  // 5 Dutch
    1030,  // 6 Danish
    1055,  // 7 Turkish
    1026,  // 8 Bulgarian
    1048,  // 9 Romanian
    2052,  // 10 Chinese
    1040,  // 11 Italian
    1029,  // 12 Czech
    1044,  // 13 Norwegian
    1032,  // 14 Greek
    1045,  // 15 Polish
    1037,  // 16 Hebrew
    1066,  // 17 Vietnamese
    1041,  // 18 Japanese
    1038,  // 19 Hungarian
};

bool valid(int n) { return n >= 0 && n < kLanguageCount; }

LCID locale_of(int n) {
  LANGID id = qv::language_id(n);
  LCID user = ::GetUserDefaultLCID();
  return LANGIDFROMLCID(user) == id ? user : MAKELCID(id, SORT_DEFAULT);
}

void apply_state(qv::language_state& state, int n) {
  state.index = n;
  state.locale = locale_of(n);
  state.right_to_left = qv::is_right_to_left(n);
}

void apply_process_locale(int n) { qv::install_process_locale(qv::process_locale_name(n)); }
}  // namespace

namespace qv {

language_state& get_language_state() {
  static language_state state = [] {
    language_state s;
    _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
    apply_process_locale(0);
    apply_state(s, 0);
    s.mask = 1;
    ::SetThreadLocale(s.locale);
    return s;
  }();
  return state;
}

void set_language(int n) {
  language_state& state = get_language_state();
  if (n != state.index) apply_process_locale(n);
  apply_state(state, n);
}

int map_windows_language(LANGID user_language, std::uint32_t mask) {
  int n = -1;
  switch (PRIMARYLANGID(user_language)) {
    case 0x02: n = 8; break;
    case 0x04: {
      WORD sub = SUBLANGID(user_language);
      if (sub == 2 || sub == 4) n = 10;
      break;
    }
    case 0x05: n = 12; break;
    case 0x06: n = 6; break;
    case 0x07: n = 2; break;
    case 0x08: n = 14; break;
    case 0x09: n = 1; break;
    case 0x0A: n = 3; break;
    case 0x0C: n = 0; break;
    case 0x0D: n = 16; break;
    case 0x0E: n = 19; break;
    case 0x10: n = 11; break;
    case 0x11: n = 18; break;
    case 0x13: n = 5; break;
    case 0x14: n = 13; break;
    case 0x15: n = 15; break;
    case 0x16: n = 4; break;
    case 0x18: n = 9; break;
    case 0x1F: n = 7; break;
    case 0x2A: n = 17; break;
    default: break;
  }
  if (n >= 0 && (mask & language_mask_bit(n))) return n;
  return (mask & language_mask_bit(1)) ? 1 : 0;
}

int default_language(std::uint32_t mask) {
  if (mask == 0) mask = get_language_state().mask;
  return map_windows_language(::GetUserDefaultLangID(), mask);
}

LANGID language_id(int n) { return valid(n) ? kLanguageIds[n] : 0; }

std::uint32_t language_mask_bit(int n) { return valid(n) ? (1u << n) : 0; }

bool is_right_to_left(int n) {
  LOCALESIGNATURE signature{};
  if (valid(n) && ::GetLocaleInfoW(MAKELCID(language_id(n), SORT_DEFAULT), LOCALE_FONTSIGNATURE,
                                   reinterpret_cast<wchar_t*>(&signature), sizeof(signature) / sizeof(wchar_t)))
    return (signature.lsUsb[3] & (1u << 27)) != 0;
  return n == 16;
}

std::wstring language_name(int n) {
  wchar_t text[LOCALE_NAME_MAX_LENGTH * 2] = {};
  if (!::GetLocaleInfoW(MAKELCID(language_id(n), SORT_DEFAULT), LOCALE_SNATIVELANGNAME, text,
                        static_cast<int>(sizeof text / sizeof text[0])))
    return {};
  std::wstring name = text;
  if (!name.empty()) ::CharUpperBuffW(&name[0], 1);
  return name;
}

std::wstring process_locale_name(int n) {
  LCID user = ::GetUserDefaultLCID();
  LCID own = MAKELCID(language_id(n), SORT_DEFAULT);
  LCID chosen = (PRIMARYLANGID(LANGIDFROMLCID(user)) == PRIMARYLANGID(LANGIDFROMLCID(own))) ? user : own;
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (!::LCIDToLocaleName(chosen, name, LOCALE_NAME_MAX_LENGTH, 0)) return {};
  return name;
}

}  // namespace qv
