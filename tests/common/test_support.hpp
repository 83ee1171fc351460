// Helpers shared by the test programs: scratch folders, files, processes
// and the build's own folders as Windows paths.
#pragma once
#include <windows.h>
#include <string>

namespace qvtest {

// A new empty folder for one test, under the user's temporary folder.
std::wstring scratch_folder(const std::wstring& name);
// Removes a folder tree; read-only files included. Errors are ignored.
void remove_tree(const std::wstring& path);

void write_file(const std::wstring& path, const std::string& bytes);
std::string read_file(const std::wstring& path);

// The build folder and the source folder (set by ctest) as Windows paths.
std::wstring binary_dir();
std::wstring source_dir();
// A Unix path as Wine's Z: drive sees it.
std::wstring unix_to_windows(const std::string& unix_path);

// Runs a command line and waits for it; the exit code, or -1 when it could
// not be started or did not end within the time-out (it is then killed).
long run_process(const std::wstring& command_line, DWORD timeout_ms = 60000);

// A started process that is killed when the object goes away.
class child_process {
public:
  explicit child_process(const std::wstring& command_line);
  ~child_process();
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;
  bool started() const { return process_ != nullptr; }
  DWORD id() const { return id_; }
  HANDLE handle() const { return process_; }
  // The exit code, or -1 on time-out.
  long wait(DWORD timeout_ms = 60000);

private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

std::wstring quote(const std::wstring& path);
std::wstring widen(const std::string& s);
std::string narrow(const std::wstring& s);

}  // namespace qvtest
