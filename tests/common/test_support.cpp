#include "tests/common/test_support.hpp"
#include <atomic>
#include <cstdlib>
#include <shellapi.h>
#include <stdexcept>
#include <vector>

namespace qvtest {

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string narrow(const std::wstring& w) {
  if (w.empty()) return {};
  int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring unix_to_windows(const std::string& unix_path) {
  std::wstring w = widen(unix_path);
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  return L"Z:" + w;
}

namespace {
std::wstring env_dir(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) throw std::runtime_error(std::string(name) + " is not set (run the tests through ctest)");
  return unix_to_windows(v);
}
}  // namespace

std::wstring binary_dir() { return env_dir("QV_TEST_BINARY_DIR"); }
std::wstring source_dir() { return env_dir("QV_TEST_SOURCE_DIR"); }

void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryW(path.c_str());
}

std::wstring scratch_folder(const std::wstring& name) {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  std::wstring root = std::wstring(temp) + L"qvtests";
  ::CreateDirectoryW(root.c_str(), nullptr);
  std::wstring folder = root + L"\\" + name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(counter++);
  remove_tree(folder);
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) throw std::runtime_error("cannot create a scratch folder");
  return folder;
}

void write_file(const std::wstring& path, const std::string& bytes) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + narrow(path));
  DWORD written = 0;
  BOOL ok = bytes.empty() || ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(h);
  if (!ok || (!bytes.empty() && written != bytes.size())) throw std::runtime_error("cannot write " + narrow(path));
}

std::string read_file(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + narrow(path));
  std::string bytes;
  char buf[65536];
  DWORD got = 0;
  while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  ::CloseHandle(h);
  return bytes;
}

std::wstring quote(const std::wstring& path) { return L"\"" + path + L"\""; }

child_process::child_process(const std::wstring& command_line) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> cmd(command_line.begin(), command_line.end());
  cmd.push_back(L'\0');
  if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    id_ = pi.dwProcessId;
  }
}

child_process::~child_process() {
  if (!process_) return;
  if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_, 259);
    ::WaitForSingleObject(process_, 5000);
  }
  ::CloseHandle(process_);
}

long child_process::wait(DWORD timeout_ms) {
  if (!process_) return -1;
  if (::WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  return static_cast<long>(code);
}

long run_process(const std::wstring& command_line, DWORD timeout_ms) {
  child_process child(command_line);
  return child.wait(timeout_ms);
}

}  // namespace qvtest
