// The process-wide language state of the support library: the current
// language number, its locale and reading order, and the mapping from the
// user's Windows language to a language number. The message box reads the
// reading order from here; the catalogue (app/language.hpp) reads the number.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

constexpr int kLanguageCount = 20;

namespace qv {

struct language_state {
  std::uint32_t mask = 1;  // accepted languages for default_language(0)
  std::int32_t index = 0;  // current language number
  LCID locale = 0;
  bool right_to_left = false;  // the current language's reading order
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
