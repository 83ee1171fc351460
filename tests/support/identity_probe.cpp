// Helper of the tests: runs the support library's start-up and writes the
// application identifier it computed into the file named by its argument.
#include "support/app_identity.hpp"
#include <windows.h>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 10;
  try {
    qv::startup();
  } catch (...) {
    return 11;
  }
  const std::wstring& id = qv::application_id();
  int n = ::WideCharToMultiByte(CP_UTF8, 0, id.data(), static_cast<int>(id.size()), nullptr, 0, nullptr, nullptr);
  std::string text(n, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, id.data(), static_cast<int>(id.size()), &text[0], n, nullptr, nullptr);
  HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 12;
  DWORD written = 0;
  BOOL ok = text.empty() || ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok ? 0 : 13;
}
