// The installer's languages, the process-wide language state and the
// message catalogue: every text is asked for by its number in the French
// block (1000 to 1129) and comes back in the current language, with English
// standing in for missing translations.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

namespace qv {

struct language_state {
  std::uint32_t mask = 1;  // accepted languages for default_language(0)
  std::int32_t index = 0;  // current language number
  LCID locale = 0;
  std::uint32_t code_page = 1252;
  HMODULE module = nullptr;  // where the support library's own strings come from; null: the program
  bool right_to_left = false;
};

// Created on first use (French), thread-safe.
language_state& get_language_state();
// Makes language n current (not validated).
void set_language(int n);
// The user's Windows language mapped to a language number, restricted to
// `mask` (0: the state's mask); English or French otherwise.
int default_language(std::uint32_t mask);
// The same mapping for a given Windows language identifier (pure).
int map_windows_language(LANGID user_language, std::uint32_t mask);
LANGID language_id(int n);
std::uint32_t language_mask_bit(int n);
bool is_right_to_left(int n);
// Native name of the language, first character upper-cased.
std::wstring language_name(int n);
// The locale name the process locale of language n is built from (the
// user's own locale when it has the same primary language).
std::wstring process_locale_name(int n);

}  // namespace qv

constexpr std::uint32_t kOfferedLanguages = 0x8A9F;
constexpr int kLanguageCount = 20;

bool IsOfferedLanguage(int n);
bool HasInstallerTexts(int n);
// First resource identifier of language n's catalogue block.
unsigned LanguageBlock(int n);
// Flag icon resource of language n.
unsigned LanguageFlagIcon(int n);

// Resource identifier of message m (French-block number) in the current language.
unsigned GetMessageId(unsigned m);
// The rule behind GetMessageId, with the catalogue lookup passed in (pure).
unsigned ResolveMessageId(unsigned m, int language, bool (*is_untranslated)(unsigned id));
std::wstring LoadMessage(unsigned m);
// `text` with %1 and %2 replaced by the arguments (the Windows message
// formatter's semantics for a string).
std::wstring FormatText(const std::wstring& text, const std::wstring& arg1 = {}, const std::wstring& arg2 = {});
std::wstring FormatMessageText(unsigned m, const std::wstring& arg1 = {}, const std::wstring& arg2 = {});
// Message 1000, and with the flag " – Tavimora 2.31t" after it.
std::wstring GetInstallerTitle(bool with_product);
// The language at start: the Windows language among the offered ones, the
// "QvLanguage" value of an earlier installation, English for a language
// without installer texts.
int ChooseInitialLanguage(LANGID user_language, bool has_stored, std::uint32_t stored_language);
// Reads "QvLanguage" from the product's uninstall key: false when missing or not a 4-byte number.
bool ReadStoredLanguage(std::uint32_t& out);
void SetInitialLanguage();
