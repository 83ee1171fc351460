// The installation run: unpacks the payload with a handler that decides per
// file what is written and records it, makes the shortcuts, writes the
// registry entries, starts the installed program once so that it registers
// itself, and writes the uninstall log. A failed extraction (or a product
// path value that cannot be written) rolls everything back.
//
// It reports to the user only through the installation page, which it
// reaches through `install_page`: one log line per step ending in "OK" or
// "Failed", the progress bar and the status line.
#pragma once
#include "engine/install_settings.hpp"
#include "engine/payload.hpp"
#include "engine/installed_product.hpp"
#include <windows.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

// What the run needs of the installation page.
class install_page {
public:
  virtual ~install_page() = default;
  // With `heading` false, `text` goes at the end of the log without a line
  // break; with `heading` true and no text, a full line of dashes and "\r\n".
  virtual void AppendLine(const std::wstring& text, bool heading = false) = 0;
  // The status line; with `path` set the text is a path line, compacted to
  // fit the control.
  virtual void SetStatus(const std::wstring& text, bool path = false) = 0;
  virtual void ShowProgress() = 0;
  virtual void SetProgress(int percent) = 0;
  // Message `id` of the catalogue in the current language, "%1" replaced.
  virtual std::wstring Message(unsigned id, const std::wstring& arg = {}) = 0;
  // The application's PreTranslateMessage: true when it consumed the message.
  virtual bool PreTranslateMessage(MSG* msg) = 0;
  // The owner of shell calls (the page's window; may be null).
  virtual HWND Window() const = 0;

  // Filled during the extraction; emptied at the start of every run.
  std::wstring m_strProgramPath;
  std::wstring m_strUninstallerPath;
};

// Places where tests put in a payload or a failure of their own.
struct install_run_seams {
  std::function<std::unique_ptr<qv::imemstream>()> open_payload;       // default: the resource
  std::function<void(const std::wstring& program)> write_product_path;  // default: the registry
};

// Runs the installation. True when the product's files were installed
// (whatever the later steps reported), false when nothing was installed.
bool run_installation(install_settings& settings, install_page& page, const product_identity& product,
                      const install_run_seams& seams = {});

// --- The decisions of the run, on their own.

// What the handler does with a payload entry as it begins.
struct file_decision {
  enum class action {
    copy,       // write the file
    skip,       // leave it out
    take_over,  // leave an existing file in place, but record it as installed (and grant Users access)
    regrant,    // leave the earlier installation's file in place, only grant Users access again
  };
  action what = action::copy;
  bool record = true;     // BeginFile before it is written (copy only)
  bool copy_flag = false; // BeginFile backs up by copying (common data) rather than moving
  bool temporary = false; // listed for removal at the end of the run
};

// `earlier_file`: the earlier installation installed this very path;
// `exists`: a file is at the destination now.
file_decision decide_file(std::uint32_t kind, std::int32_t earlier_state, bool earlier_file, bool exists);

// The progress bar's position for a byte position of the extraction:
// floor(position / total * 100 + 0.5), but 99 while bytes are still to come.
int progress_percent(std::uint64_t position, std::uint64_t total);

// How an error code reaches the user in message 1121: "1:%08X" for a
// Windows code, "2:%08X" for an errno value, the plain number for the
// extraction's own codes, 7 for anything else.
std::wstring error_code_text(const std::error_code& code);

// " /update=" and the earlier version as 16 lower-case hexadecimal digits;
// empty for version 0.
std::wstring update_argument(std::uint64_t earlier_version);

// The path in double quotes when it contains a blank.
std::wstring quote_spaces(const std::wstring& path);

// The installed program's command line: its quoted path, " /Register
// /Background" and the update argument.
std::wstring product_command_line(const std::wstring& program_path, std::uint64_t earlier_version);

// The temporary folder of one run: "<temp>quorvane_{uuid}", from the user's
// temporary folder as GetTempPathW gives it (with its trailing separator).
std::wstring temporary_folder_name(const std::wstring& temp_path, const std::wstring& uuid);

// Dispatches the thread's pending messages, each offered to the page's
// PreTranslateMessage first; a WM_QUIT is posted again and ends the draining.
void drain_messages(install_page& page);

// Starts the installed program with product_command_line, its folder as
// working folder, and waits for it to end, with the installer's mutex given
// up for exactly that time. The record's HKEY_CLASSES_ROOT item is begun
// before and committed with the outcome. True when it ended with -10.
bool start_installed_program(install_settings& settings, const std::wstring& program_path);
