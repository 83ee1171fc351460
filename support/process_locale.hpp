// The process locale. This toolchain's standard library knows the "C"
// locale only, so a named locale is built from "C" (numbers, messages) and
// facets of our own that classify characters and convert case through
// Windows for that locale name.
#pragma once
#include <locale>
#include <string>

namespace qv {

// Character classification and case conversion of a Windows locale.
class windows_ctype : public std::ctype<wchar_t> {
public:
  // An empty name stands for the user's default locale.
  explicit windows_ctype(std::wstring locale_name, std::size_t refs = 0);

protected:
  bool do_is(mask m, char_type c) const override;
  const char_type* do_is(const char_type* lo, const char_type* hi, mask* vec) const override;
  const char_type* do_scan_is(mask m, const char_type* lo, const char_type* hi) const override;
  const char_type* do_scan_not(mask m, const char_type* lo, const char_type* hi) const override;
  char_type do_toupper(char_type c) const override;
  const char_type* do_toupper(char_type* lo, const char_type* hi) const override;
  char_type do_tolower(char_type c) const override;
  const char_type* do_tolower(char_type* lo, const char_type* hi) const override;

private:
  mask classify(char_type c) const;
  void map_case(char_type* lo, const char_type* hi, unsigned flags) const;
  std::wstring name_;
};

// "C" with the character classification and case conversion of the named
// Windows locale (empty: the user's default).
std::locale make_windows_locale(const std::wstring& locale_name);

// Installs make_windows_locale(name) as the global locale of the standard
// library and sets the runtime's ctype, collate, time and monetary
// categories to the name (numbers stay "C"; a name the runtime does not
// know leaves them "C"). False when the standard library refuses.
bool install_process_locale(const std::wstring& locale_name);

// The name under which the C runtime knows a Windows locale
// ("German_Germany.1252" for "de-DE"); empty when it cannot be formed.
std::string runtime_locale_name(const std::wstring& locale_name);

}  // namespace qv

// Error mode and process-wide locale, once per process (the support
// library's process set-up). On failure it shows "Initialization Error" and
// ends the process with exit code -11.
bool init_process_locale();
