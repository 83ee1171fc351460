// The installer's languages and the message catalogue: every text is asked
// for by its number in the French block (1000 to 1129) and comes back in the
// current language, with English standing in for missing translations. The
// process-wide language state is the support library's.
#pragma once
#include "support/language_state.hpp"
#include <windows.h>
#include <cstdint>
#include <string>

constexpr std::uint32_t kOfferedLanguages = 0x8A9F;

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
