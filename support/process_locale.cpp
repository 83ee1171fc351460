#include "support/process_locale.hpp"
#include <boost/filesystem/path.hpp>
#include <mutex>
#include <windows.h>
#include <clocale>
#include <string>
#include <vector>

namespace qv {

windows_ctype::windows_ctype(std::wstring locale_name, std::size_t refs)
    : std::ctype<wchar_t>(refs), name_(std::move(locale_name)) {}

// Windows' C1 character types, in the standard library's mask bits.
std::ctype<wchar_t>::mask windows_ctype::classify(char_type c) const {
  WORD type = 0;
  if (!::GetStringTypeW(CT_CTYPE1, &c, 1, &type)) return 0;
  mask m = 0;
  if (type & C1_UPPER) m |= upper;
  if (type & C1_LOWER) m |= lower;
  if (type & C1_ALPHA) m |= alpha;
  if (type & C1_DIGIT) m |= digit;
  if (type & C1_XDIGIT) m |= xdigit;
  if (type & C1_SPACE) m |= space;
  if (type & C1_PUNCT) m |= punct;
  if (type & C1_CNTRL) m |= cntrl;
  if (type & C1_BLANK) m |= blank;
  // Printable: every defined character that is not a control character.
  if ((type & C1_DEFINED) && !(type & C1_CNTRL)) m |= print;
  return m;
}

bool windows_ctype::do_is(mask m, char_type c) const { return (classify(c) & m) != 0; }

const wchar_t* windows_ctype::do_is(const char_type* lo, const char_type* hi, mask* vec) const {
  for (; lo < hi; ++lo, ++vec) *vec = classify(*lo);
  return hi;
}

const wchar_t* windows_ctype::do_scan_is(mask m, const char_type* lo, const char_type* hi) const {
  while (lo < hi && !do_is(m, *lo)) ++lo;
  return lo;
}

const wchar_t* windows_ctype::do_scan_not(mask m, const char_type* lo, const char_type* hi) const {
  while (lo < hi && do_is(m, *lo)) ++lo;
  return lo;
}

void windows_ctype::map_case(char_type* lo, const char_type* hi, unsigned flags) const {
  int n = static_cast<int>(hi - lo);
  if (n <= 0) return;
  std::vector<wchar_t> out(n);
  const wchar_t* name = name_.empty() ? LOCALE_NAME_USER_DEFAULT : name_.c_str();
  // Case mapping keeps the length for LCMAP_UPPERCASE/LOWERCASE; anything
  // else leaves the text as it was.
  if (::LCMapStringEx(name, flags, lo, n, out.data(), n, nullptr, nullptr, 0) == n)
    std::copy(out.begin(), out.end(), lo);
}

wchar_t windows_ctype::do_toupper(char_type c) const {
  map_case(&c, &c + 1, LCMAP_UPPERCASE);
  return c;
}

const wchar_t* windows_ctype::do_toupper(char_type* lo, const char_type* hi) const {
  map_case(lo, hi, LCMAP_UPPERCASE);
  return hi;
}

wchar_t windows_ctype::do_tolower(char_type c) const {
  map_case(&c, &c + 1, LCMAP_LOWERCASE);
  return c;
}

const wchar_t* windows_ctype::do_tolower(char_type* lo, const char_type* hi) const {
  map_case(lo, hi, LCMAP_LOWERCASE);
  return hi;
}

std::locale make_windows_locale(const std::wstring& locale_name) {
  return std::locale(std::locale::classic(), new windows_ctype(locale_name));
}

std::string runtime_locale_name(const std::wstring& locale_name) {
  // msvcrt knows locales by English names and code page, not by the names
  // of Windows' locale data: "de-DE" becomes "German_Germany.1252".
  const wchar_t* name = locale_name.empty() ? LOCALE_NAME_USER_DEFAULT : locale_name.c_str();
  wchar_t language[80] = {}, country[80] = {}, code_page[8] = {};
  if (!::GetLocaleInfoEx(name, LOCALE_SENGLISHLANGUAGENAME, language, 80) ||
      !::GetLocaleInfoEx(name, LOCALE_SENGLISHCOUNTRYNAME, country, 80) ||
      !::GetLocaleInfoEx(name, LOCALE_IDEFAULTANSICODEPAGE, code_page, 8))
    return {};
  std::wstring text = std::wstring(language) + L"_" + country + L"." + code_page;
  std::string narrow;
  for (wchar_t c : text) {
    if (c > 0x7F) return {};
    narrow += static_cast<char>(c);
  }
  return narrow;
}

bool install_process_locale(const std::wstring& locale_name) {
  try {
    std::locale::global(make_windows_locale(locale_name));
  } catch (...) {
    return false;
  }
  // The C runtime: numbers stay "C"; the other categories follow the
  // locale when the runtime knows it, and stay "C" when it does not.
  std::setlocale(LC_ALL, "C");
  std::string narrow(locale_name.begin(), locale_name.end());  // locale names are ASCII
  if (!std::setlocale(LC_CTYPE, narrow.c_str())) {
    narrow = runtime_locale_name(locale_name);
    if (narrow.empty() || !std::setlocale(LC_CTYPE, narrow.c_str())) return true;
  }
  for (int category : {LC_COLLATE, LC_TIME, LC_MONETARY}) std::setlocale(category, narrow.c_str());
  return true;
}

}  // namespace qv

namespace {
bool set_up_process_locale() {
  ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  wchar_t name[85] = {};
  if (!::LCIDToLocaleName(LOCALE_USER_DEFAULT, name, 85, 0)) name[0] = L'\0';
  _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
  if (!qv::install_process_locale(name)) return false;
  std::locale global;
  if (!std::has_facet<std::codecvt<wchar_t, char, std::mbstate_t>>(global)) return false;
  // Boost.Filesystem converts narrow paths with its own Windows code-page
  // facet; asking for it proves the path conversion is in place.
  try {
    (void)boost::filesystem::path::codecvt();
  } catch (...) {
    return false;
  }
  return true;
}
}  // namespace

bool init_process_locale() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] {
    ok = set_up_process_locale();
    if (!ok) {
      ::MessageBoxW(nullptr, L"Initialization Error", nullptr, MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
      ::ExitProcess(static_cast<UINT>(-11));
    }
  });
  return ok;
}
