#include "app/language.hpp"
#include "resources/resource_ids.h"
#include "support/handle.hpp"
#include "support/product_identity.hpp"
#include <vector>

namespace {
// The catalogue's columns of the language table (the Windows language of
// each number is the support library's, qv::language_id).
struct language_row {
  unsigned block;
  unsigned flag_icon;
  bool installer_texts;
};

// Indexed by language number; the mask bit of language n is 1 << n.
constexpr language_row kLanguages[kLanguageCount] = {
    {1000, IDI_FLAG_FRENCH, true},  // 0 French
    {2000, IDI_FLAG_ENGLISH, true},  // 1 English
    {3000, IDI_FLAG_GERMAN, true},  // 2 German
    {4000, IDI_FLAG_SPANISH, true},  // 3 Spanish
    {5000, IDI_FLAG_PORTUGUESE, true},  // 4 Portuguese
    {7000, IDI_FLAG_DUTCH, false},  // 5 Dutch
    {8000, IDI_FLAG_DANISH, false},  // 6 Danish
    {9000, IDI_FLAG_TURKISH, true},  // 7 Turkish
    {11000, IDI_FLAG_BULGARIAN, false},  // 8 Bulgarian
    {12000, IDI_FLAG_ROMANIAN, true},  // 9 Romanian
    {10000, IDI_FLAG_CHINESE, false},  // 10 Chinese
    {6000, IDI_FLAG_ITALIAN, true},  // 11 Italian
    {13000, IDI_FLAG_CZECH, false},  // 12 Czech
    {14000, IDI_FLAG_NORWEGIAN, false},  // 13 Norwegian
    {15000, IDI_FLAG_GREEK, false},  // 14 Greek
    {16000, IDI_FLAG_POLISH, false},  // 15 Polish
    {17000, IDI_FLAG_HEBREW, false},  // 16 Hebrew
    {18000, IDI_FLAG_VIETNAMESE, false},  // 17 Vietnamese
    {19000, IDI_FLAG_JAPANESE, false},  // 18 Japanese
    {20000, IDI_FLAG_HUNGARIAN, false},  // 19 Hungarian
};

bool valid(int n) { return n >= 0 && n < kLanguageCount; }

std::wstring load_string(unsigned id) {
  const wchar_t* text = nullptr;
  // With a zero buffer size LoadStringW hands out the resource text in place.
  int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return n > 0 && text ? std::wstring(text, n) : std::wstring();
}

bool is_untranslated(unsigned id) { return load_string(id) == L"#"; }
}  // namespace

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
