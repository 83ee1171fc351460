// Discovery of an earlier installation: the installed program's path as the
// earlier installation recorded it, and where its uninstall log lies. The
// reading of that log is CInstallRecord::ReadLog (earlier_install.cpp).
#pragma once
#include "record/install_record.hpp"
#include <windows.h>
#include <cstddef>
#include <memory>
#include <string>

constexpr wchar_t kUninstallLogName[] = L"Uninstall.ulog";

// The recorded path of the product's main program under the maker's key,
// when it names something that exists; otherwise empty. Never throws.
std::wstring ReadProductPath(unsigned product_id);

// The installed program's path from the product path value when it names
// something that exists, else empty. Computed at the first call (once, even
// when threads race for it); every later call returns the same string.
std::wstring GetProductPath();

// The first existing "Uninstall.ulog" of: the folder of the uninstaller
// named by the uninstall key's "UninstallString", this setup program's own
// folder, the installed program's folder. Empty when none exists. Registry
// errors other than a missing key or value are thrown (std::system_error).
std::wstring FindEarlierLog();
// The same search with the setup program's folder and the installed
// program's path given (either may be empty: that candidate is skipped).
std::wstring FindEarlierLog(const std::wstring& setupFolder, const std::wstring& productPath);
// The folder of this process's executable file.
std::wstring SetupProgramFolder();

// Splits an open log file into lines as ReadLog sees them: UTF-16LE when
// the file starts with FF FE (a line ends after U+000A), else ANSI text of
// the thread's code page (a line ends after the byte 0x0A). Each line is
// gathered in a buffer of kLineBufferBytes that also holds, for the first
// line of a UTF-16 file, the byte-order mark, and always a terminating
// zero code unit. A longer line is never cut: it ends the reading, as do a
// read error, a zero code unit inside a line and text that cannot be
// converted.
class LogLineReader {
public:
  static constexpr std::size_t kLineBufferBytes = 1024;
  enum class Result { Line, End, Stop };

  explicit LogLineReader(HANDLE file) : file_(file) {}
  LogLineReader(const LogLineReader&) = delete;
  LogLineReader& operator=(const LogLineReader&) = delete;

  // The next line with its line end, converted to UTF-16.
  Result Next(std::wstring& line);

private:
  // The next byte of the file; false at its end or on a read error.
  bool NextByte(unsigned char& byte);

  HANDLE file_;
  unsigned char chunk_[4096];
  std::size_t chunkPos_ = 0;
  std::size_t chunkLen_ = 0;
  bool atEnd_ = false;
  bool readError_ = false;
  bool firstLine_ = true;
  bool utf16_ = false;
  unsigned char line_[kLineBufferBytes];
};

// One entry line (without its line end, trailing white space removed) as
// ReadLog parses it with the process-wide locale. Null for a line that
// ends the reading.
std::unique_ptr<RecordItem> ParseLogEntry(const std::wstring& line);
