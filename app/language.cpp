#include "app/language.hpp"
#include "app/product.hpp"
#include "record/process_locale.hpp"
#include "support/handle.hpp"
#include <clocale>
#include <mutex>
#include <vector>

namespace {
struct language_row {
  LANGID id;
  unsigned block;
  unsigned flag_icon;
  bool installer_texts;
};

// Indexed by language number; the mask bit of language n is 1 << n.
constexpr language_row kLanguages[kLanguageCount] = {
    {1036, 1000, 144, true},    // 0 French
    {1033, 2000, 145, true},    // 1 English
    {1031, 3000, 141, true},    // 2 German
    {3082, 4000, 143, true},    // 3 Spanish
    {2070, 5000, 148, true},    // 4 Portuguese
    {1043, 7000, 147, false},   // 5 Dutch
    {1030, 8000, 142, false},   // 6 Danish
    {1055, 9000, 149, true},    // 7 Turkish
    {1026, 11000, 150, false},  // 8 Bulgarian
    {1048, 12000, 151, true},   // 9 Romanian
    {2052, 10000, 152, false},  // 10 Chinese
    {1040, 6000, 146, true},    // 11 Italian
    {1029, 13000, 153, false},  // 12 Czech
    {1044, 14000, 154, false},  // 13 Norwegian
    {1032, 15000, 155, false},  // 14 Greek
    {1045, 16000, 156, false},  // 15 Polish
    {1037, 17000, 157, false},  // 16 Hebrew
    {1066, 18000, 158, false},  // 17 Vietnamese
    {1041, 19000, 160, false},  // 18 Japanese
    {1038, 20000, 161, false},  // 19 Hungarian
};

bool valid(int n) { return n >= 0 && n < kLanguageCount; }

LCID locale_of(int n) {
  LANGID id = qv::language_id(n);
  LCID user = ::GetUserDefaultLCID();
  return LANGIDFROMLCID(user) == id ? user : MAKELCID(id, SORT_DEFAULT);
}

std::uint32_t code_page_of(LCID locale) {
  wchar_t text[8] = {};
  std::uint32_t cp = 0;
  if (::GetLocaleInfoW(locale, LOCALE_IDEFAULTANSICODEPAGE, text, 8)) cp = static_cast<std::uint32_t>(_wtoi(text));
  return cp ? cp : ::GetACP();
}

void apply_state(qv::language_state& state, int n) {
  state.index = n;
  state.locale = locale_of(n);
  state.code_page = code_page_of(state.locale);
  state.module = nullptr;
  state.right_to_left = qv::is_right_to_left(n);
}

void apply_process_locale(int n) { qv::install_process_locale(qv::process_locale_name(n)); }

std::wstring load_string(unsigned id) {
  const wchar_t* text = nullptr;
  // With a zero buffer size LoadStringW hands out the resource text in place.
  int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return n > 0 && text ? std::wstring(text, n) : std::wstring();
}

bool is_untranslated(unsigned id) { return load_string(id) == L"#"; }
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

LANGID language_id(int n) { return valid(n) ? kLanguages[n].id : 0; }

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

bool IsOfferedLanguage(int n) { return (qv::language_mask_bit(n) & kOfferedLanguages) != 0; }

bool HasInstallerTexts(int n) { return valid(n) && kLanguages[n].installer_texts; }

unsigned LanguageBlock(int n) { return valid(n) ? kLanguages[n].block : 0; }

unsigned LanguageFlagIcon(int n) { return valid(n) ? kLanguages[n].flag_icon : 0; }

unsigned ResolveMessageId(unsigned m, int language, bool (*untranslated)(unsigned id)) {
  int n = HasInstallerTexts(language) ? language : 1;
  unsigned id = m - 1000 + LanguageBlock(n);
  if (n != 0 && untranslated(id)) {
    unsigned english = m + 1000;
    if (n != 1 && !untranslated(english)) return english;
  }
  return id;
}

unsigned GetMessageId(unsigned m) { return ResolveMessageId(m, qv::get_language_state().index, is_untranslated); }

std::wstring LoadMessage(unsigned m) { return load_string(GetMessageId(m)); }

std::wstring FormatText(const std::wstring& text, const std::wstring& arg1, const std::wstring& arg2) {
  // FormatMessageW reads the inserts as an array of pointer-sized values
  // and trusts the text for how many there are: a translation that names
  // %3 (or any insert up to %99) must not make it read past our two, so the
  // rest of the array holds empty strings.
  static const wchar_t empty[] = L"";
  DWORD_PTR args[99];
  for (DWORD_PTR& a : args) a = reinterpret_cast<DWORD_PTR>(empty);
  args[0] = reinterpret_cast<DWORD_PTR>(arg1.c_str());
  args[1] = reinterpret_cast<DWORD_PTR>(arg2.c_str());
  qv::local_memory<wchar_t> out;
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             text.c_str(), 0, 0, reinterpret_cast<wchar_t*>(out.put()), 0,
                             reinterpret_cast<va_list*>(args));
  if (n == 0 || !out.get()) return text;
  return std::wstring(out.get(), n);
}

std::wstring FormatMessageText(unsigned m, const std::wstring& arg1, const std::wstring& arg2) {
  return FormatText(LoadMessage(m), arg1, arg2);
}

std::wstring GetInstallerTitle(bool with_product) {
  std::wstring title = LoadMessage(1000);
  if (with_product) title += L" \u2013 " + GetProductLabel(false);
  return title;
}

int ChooseInitialLanguage(LANGID user_language, bool has_stored, std::uint32_t stored_language) {
  int n = qv::map_windows_language(user_language, kOfferedLanguages);
  if (has_stored && stored_language < static_cast<std::uint32_t>(kLanguageCount) &&
      IsOfferedLanguage(static_cast<int>(stored_language)))
    n = static_cast<int>(stored_language);
  if (!HasInstallerTexts(n)) n = 1;
  return n;
}

bool ReadStoredLanguage(std::uint32_t& out) {
  std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + GetProductName(kProductId);
  DWORD type = 0, value = 0, size = sizeof value;
  LSTATUS rc = ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"QvLanguage", RRF_RT_ANY, &type, &value, &size);
  // The installation run writes a REG_DWORD; anything else (a string, a
  // binary or a 64-bit value that happens to be readable) is not ours.
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return false;
  out = value;
  return true;
}

void SetInitialLanguage() {
  std::uint32_t stored = 0;
  bool has_stored = ReadStoredLanguage(stored);
  qv::set_language(ChooseInitialLanguage(::GetUserDefaultLangID(), has_stored, stored));
}
