#include "support/errors.hpp"
#include "support/handle.hpp"

namespace qv {

long last_error_hresult() { return hresult_from_win32(static_cast<long>(::GetLastError())); }

void throw_system_error(long code) {
  throw std::system_error(static_cast<int>(code), std::system_category(), "");
}

void throw_logic_error() { throw std::logic_error("logic error"); }

namespace {
bool format_system_text(std::uint32_t code, LANGID language, std::wstring& out) {
  local_memory<wchar_t> buf;
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  DWORD n = ::FormatMessageW(flags, nullptr, code, language, reinterpret_cast<wchar_t*>(buf.put()), 0, nullptr);
  if (n == 0 && ::GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND && language != 0) {
    n = ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(buf.put()), 0, nullptr);
  }
  if (n == 0 || !buf.get()) return false;
  out.assign(buf.get(), n);
  while (!out.empty() && (out.back() == L'\r' || out.back() == L'\n')) out.pop_back();
  return true;
}
}  // namespace

std::wstring system_message(std::uint32_t code, LANGID language) {
  std::wstring text;
  if (format_system_text(code, language, text) && !text.empty()) return text;
  if (code == static_cast<std::uint32_t>(kE_FAIL)) return L"Error";
  return system_message(static_cast<std::uint32_t>(kE_FAIL), language);
}

}  // namespace qv
