// Error conventions of the support library.
//
// Registry operations and known-folder lookups throw std::system_error with
// the Win32 code (or HRESULT) in the system category and an empty text; the
// security layer and the named kernel objects throw a plain `long` holding an
// HRESULT; broken preconditions throw std::logic_error("logic error").
#pragma once
#include <windows.h>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>

namespace qv {

// HRESULTs the library produces itself.
constexpr long kE_UNEXPECTED = static_cast<long>(0x8000FFFFL);
constexpr long kE_NOTIMPL = static_cast<long>(0x80004001L);
constexpr long kE_OUTOFMEMORY = static_cast<long>(0x8007000EL);
constexpr long kE_INVALIDARG = static_cast<long>(0x80070057L);
constexpr long kE_FAIL = static_cast<long>(0x80004005L);

// A Win32 status code as an HRESULT: zero and negative values pass unchanged,
// a positive code c becomes (c & 0xFFFF) | 0x80070000.
constexpr long hresult_from_win32(long code) {
  return code <= 0 ? code : static_cast<long>((static_cast<unsigned long>(code) & 0xFFFFu) | 0x80070000u);
}

// The HRESULT of the calling thread's last error.
long last_error_hresult();

[[noreturn]] void throw_system_error(long code);
[[noreturn]] void throw_logic_error();

// The system's text for a Win32 code or HRESULT in `language` (0: the
// system's choice), without trailing line breaks. Never fails: a code
// without text gives the text of E_FAIL, and that failing, "Error".
std::wstring system_message(std::uint32_t code, LANGID language = 0);

}  // namespace qv
