#include "engine/install_run.hpp"
#include "engine/registry_entries.hpp"
#include "engine/shortcut.hpp"
#include "framework/controls.hpp"
#include "support/handle.hpp"
#include "support/security.hpp"
#include <boost/filesystem/operations.hpp>
#include <boost/format.hpp>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <cmath>
#include <cstdio>
#include <optional>
#include <shlobj.h>
#include <shlwapi.h>
#include <vector>

namespace {

// Read, write and delete for BUILT-IN\Users, not inherited: the common-data
// files are shared by every user of the machine.
constexpr DWORD kUsersAccess = 0x13019F;
constexpr DWORD kExitRegistered = static_cast<DWORD>(-10);

enum : unsigned {
  kMsgOk = 1011,
  kMsgFailed = 1012,
  kMsgContinueButton = 1006,
  kMsgSampleFolder = 1018,
  kMsgContinue = 1106,
  kMsgPreparing = 1114,
  kMsgCopying = 1115,
  kMsgShortcuts = 1117,
  kMsgRegistry = 1118,
  kMsgInstallData = 1119,
  kMsgFailedWithCode = 1121,
  kMsgUninstallShortcut = 1013,
};


// The files of kind "temporary" extracted during one run, removed with
// their folder when the run ends, however it ends.
class temporary_files {
public:
  explicit temporary_files(std::wstring folder) : folder_(std::move(folder)) { current_ = this; }
  ~temporary_files() {
    if (current_ == this) current_ = nullptr;
    boost::system::error_code ignored;
    for (const std::wstring& file : files_) boost::filesystem::remove(boost::filesystem::path(file), ignored);
    // Not removed when something else is still in it.
    if (!folder_.empty()) boost::filesystem::remove(boost::filesystem::path(folder_), ignored);
  }
  temporary_files(const temporary_files&) = delete;
  temporary_files& operator=(const temporary_files&) = delete;

  // The list of the run under way; null between runs.
  static temporary_files* current() { return current_; }
  // Listed before it is written, so that the teardown removes it whatever
  // happens next. The folder is made when its first file arrives (the
  // extraction itself creates no folders, and temporary files are not part
  // of the installation record).
  void add(const std::wstring& file) {
    files_.push_back(file);
    if (!::CreateDirectoryW(folder_.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::system_error(static_cast<int>(::GetLastError()), std::system_category());
  }

private:
  static temporary_files* current_;
  std::wstring folder_;
  std::vector<std::wstring> files_;
};
temporary_files* temporary_files::current_ = nullptr;

// The record's begin operation for a file that is about to be written.
// This is the one place where the record's answer about the backup of an
// earlier file is turned into the end of the extraction (a std::system_error
// thrown here reaches the extraction's error notification unchanged).
void begin_file(CInstallRecord& record, const std::wstring& path, std::uint32_t kind, bool copy) {
  if (const DWORD refused = record.BeginFile(path, static_cast<std::int32_t>(kind), copy)) {
    // The earlier file could not be moved aside: the file is not written.
    // The item is closed as failed (rollback leaves that path alone) and
    // the extraction ends with the system error.
    record.CommitItem(false);
    throw std::system_error(static_cast<int>(refused), std::system_category());
  }
}

// The users' grant on a common-data file. The security layer fails with a
// bare status code, which is no error the extraction knows: it ends the
// extraction as an unexpected error.
void grant_users(const std::wstring& path) {
  try {
    qv::grant_access(path, kUsersAccess, 0);
  } catch (long) {
    throw std::system_error(make_error_code(compress_error::unexpected_error));
  }
}

// The notification handler of the extraction.
class install_handler {
public:
  install_handler(install_settings& settings, install_page& page, qv::imemstream& payload)
      : settings_(settings), page_(page), payload_(payload) {}

  notification::result operator()(notification n) {
    notification::result reply = std::visit([this](auto& alternative) { return handle(alternative); }, n.value);
    // Reached only when nothing above raised an error.
    drain_messages(page_);
    return reply;
  }

private:
  notification::result handle(const notification::start&) {
    page_.SetStatus(page_.Message(kMsgPreparing));
    page_.AppendLine(page_.Message(kMsgPreparing));
    if (!verify_payload(payload_))  // a bzip2 error travels on as it is
      throw std::system_error(make_error_code(compress_error::invalid_payload));
    finish_line(true);
    return notification::result::proceed;
  }

  notification::result handle(const notification::file_begin& begin) {
    const payload_entry& entry = begin.entry;
    const std::wstring& destination = entry.destination;
    if (entry.kind == static_cast<std::uint32_t>(entry_kind::program)) page_.m_strProgramPath = destination;
    if (entry.kind == static_cast<std::uint32_t>(entry_kind::uninstaller)) page_.m_strUninstallerPath = destination;

    const bool common = entry.kind == static_cast<std::uint32_t>(entry_kind::common_data);
    const bool earlier = common && settings_.m_nEarlierState != EarlierState::None &&
                         settings_.m_record.IsEarlierFile(destination);
    const bool exists = common && !earlier && ::PathFileExistsW(destination.c_str());
    const file_decision decision = decide_file(entry.kind, settings_.m_nEarlierState, earlier, exists);

    switch (decision.what) {
      case file_decision::action::skip:
        return notification::result::skip;
      case file_decision::action::regrant:
        grant_users(destination);
        return notification::result::skip;
      case file_decision::action::take_over:
        begin_file(settings_.m_record, destination, entry.kind, decision.copy_flag);
        settings_.m_record.CommitItem(true);
        grant_users(destination);
        return notification::result::skip;
      case file_decision::action::copy:
        break;
    }
    if (decision.temporary) {
      if (temporary_files* list = temporary_files::current()) list->add(destination);
    }
    // The line is shown before the record is asked, so that a file whose
    // earlier version cannot be moved aside ends its own line in "Failed".
    const std::wstring text = page_.Message(kMsgCopying, quote_spaces(destination));
    page_.SetStatus(text, true);
    page_.AppendLine(text);
    if (decision.record) begin_file(settings_.m_record, destination, entry.kind, decision.copy_flag);
    return notification::result::proceed;
  }

  notification::result handle(const notification::file_end& end) {
    const payload_entry& entry = end.entry;
    if (entry.kind == static_cast<std::uint32_t>(entry_kind::common_data)) grant_users(entry.destination);
    if (entry.kind != static_cast<std::uint32_t>(entry_kind::temporary)) settings_.m_record.CommitItem(true);
    finish_line(true);
    return notification::result::proceed;
  }

  notification::result handle(const notification::progress& progress) {
    page_.SetProgress(progress_percent(progress.position, progress.total));
    return notification::result::proceed;
  }

  notification::result handle(const notification::finish&) { return notification::result::proceed; }

  notification::result handle(const notification::error& error) {
    settings_.m_record.CommitItem(false);
    finish_line(false);
    page_.SetStatus(page_.Message(kMsgFailedWithCode, error_code_text(error.code)));
    return notification::result::proceed;
  }

  void finish_line(bool ok) { page_.AppendLine(page_.Message(ok ? kMsgOk : kMsgFailed) + L"\r\n"); }

  install_settings& settings_;
  install_page& page_;
  qv::imemstream& payload_;
};

void finish_line(install_page& page, bool ok) { page.AppendLine(page.Message(ok ? kMsgOk : kMsgFailed) + L"\r\n"); }

void start_step(install_page& page, unsigned message) {
  const std::wstring text = page.Message(message);
  page.SetStatus(text);
  page.AppendLine(text);
}

// The installer's mutex, given up while the installed program runs and
// taken back however the start ends.
class mutex_given_up {
public:
  explicit mutex_given_up(qv::named_mutex& mutex) : mutex_(mutex), was_owned_(mutex.owned()) {
    if (was_owned_) mutex_.unlock();
  }
  ~mutex_given_up() {
    if (was_owned_) mutex_.try_lock();
  }
  mutex_given_up(const mutex_given_up&) = delete;
  mutex_given_up& operator=(const mutex_given_up&) = delete;

private:
  qv::named_mutex& mutex_;
  bool was_owned_;
};

// "Uninstall.ulog" beside the uninstaller; empty when the path cannot be made.
std::wstring uninstall_log_path(const std::wstring& uninstaller_path) {
  if (uninstaller_path.empty() || uninstaller_path.size() >= MAX_PATH) return {};
  wchar_t path[MAX_PATH] = {};
  uninstaller_path.copy(path, uninstaller_path.size());
  if (!::PathRemoveFileSpecW(path) || !::PathAppendW(path, L"Uninstall.ulog")) return {};
  return path;
}

void make_read_only(const std::wstring& path) {
  if (path.empty()) return;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
}

std::wstring random_uuid_text() {
  boost::uuids::random_generator generate;
  return boost::uuids::to_wstring(generate());
}

}  // namespace

// --- The decisions.

file_decision decide_file(std::uint32_t kind, std::int32_t earlier_state, bool earlier_file, bool exists) {
  file_decision d;
  switch (static_cast<entry_kind>(kind)) {
    case entry_kind::common_data:
      // A common-data file that is already there is never overwritten.
      if (earlier_state != EarlierState::None && earlier_file) {
        d.what = file_decision::action::regrant;
        d.record = false;
      } else if (exists) {
        d.what = file_decision::action::take_over;
        d.copy_flag = true;
      } else {
        d.copy_flag = true;
      }
      break;
    case entry_kind::sample:
      // An update keeps the user's samples as they are.
      if (earlier_state == EarlierState::OlderVersion) {
        d.what = file_decision::action::skip;
        d.record = false;
      }
      break;
    case entry_kind::temporary:
      d.record = false;
      d.temporary = true;
      break;
    default:  // the program, the uninstaller, the languages and unknown kinds
      break;
  }
  return d;
}

int progress_percent(std::uint64_t position, std::uint64_t total) {
  if (total == 0) return 0;
  const double quotient = static_cast<double>(position) / static_cast<double>(total);
  double percent = std::floor(quotient * 100.0 + 0.5);
  if (percent > 100.0) percent = 100.0;
  if (percent >= 100.0 && position < total) percent = 99.0;
  return static_cast<int>(percent);
}

std::wstring error_code_text(const std::error_code& code) {
  wchar_t text[32] = {};
  if (code.category() == std::system_category())
    std::swprintf(text, 32, L"1:%08X", static_cast<unsigned>(code.value()));
  else if (code.category() == std::generic_category())
    std::swprintf(text, 32, L"2:%08X", static_cast<unsigned>(code.value()));
  else if (code.category() == compress_category())
    std::swprintf(text, 32, L"%d", code.value());
  else
    std::swprintf(text, 32, L"%d", static_cast<int>(compress_error::unexpected_error));
  return text;
}

std::wstring update_argument(std::uint64_t earlier_version) {
  if (earlier_version == 0) return {};
  return (boost::wformat(L" /update=%|1$016x|") % earlier_version).str();
}

std::wstring quote_spaces(const std::wstring& path) {
  if (path.size() + 2 < MAX_PATH) {
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, path.size());
    ::PathQuoteSpacesW(buffer);
    return buffer;
  }
  // Too long for the shell's buffer: quoted the same way by hand.
  return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

std::wstring product_command_line(const std::wstring& program_path, std::uint64_t earlier_version) {
  return quote_spaces(program_path) + L" /Register /Background" + update_argument(earlier_version);
}

std::wstring temporary_folder_name(const std::wstring& temp_path, const std::wstring& uuid) {
  return temp_path + L"quorvane_{" + uuid + L"}";
}

void drain_messages(install_page& page) {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Left for the message loop that is to end.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!page.PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

// --- Starting the installed program.

bool start_installed_program(install_settings& settings, const std::wstring& program_path) {
  settings.m_record.BeginClassesRootEntries();
  std::wstring command = product_command_line(program_path, settings.m_nEarlierVersion);
  std::vector<wchar_t> command_buffer(command.begin(), command.end());
  command_buffer.push_back(L'\0');
  std::wstring folder = program_path;
  {
    wchar_t buffer[MAX_PATH] = {};
    if (program_path.size() < MAX_PATH) {
      program_path.copy(buffer, program_path.size());
      if (::PathRemoveFileSpecW(buffer)) folder = buffer;
    }
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNOACTIVATE;
  PROCESS_INFORMATION info = {};
  DWORD exit_code = 0;
  bool started = false;
  {
    mutex_given_up given_up(settings.m_instanceLock);
    if (::CreateProcessW(nullptr, command_buffer.data(), nullptr, nullptr, FALSE, HIGH_PRIORITY_CLASS, nullptr,
                         folder.c_str(), &startup, &info)) {
      qv::unique_handle process(info.hProcess);
      qv::unique_handle thread(info.hThread);
      // The run, and the user interface with it, waits for the program.
      ::WaitForSingleObject(process.get(), INFINITE);
      started = ::GetExitCodeProcess(process.get(), &exit_code) != FALSE;
    }
  }  // handles closed, then the mutex is taken back
  const bool registered = started && exit_code == kExitRegistered;
  settings.m_record.CommitItem(registered);
  return registered;
}

// --- The run.

bool run_installation(install_settings& settings, install_page& page, const product_identity& product,
                      const install_run_seams& seams) {
  // The wait cursor from here until the run ends (or until the shell has
  // been told about the new file type); the earlier cursor comes back on
  // every path out.
  std::optional<CWaitCursor> cursor;
  page.m_strProgramPath.clear();
  page.m_strUninstallerPath.clear();
  page.AppendLine(std::wstring(), true);
  cursor.emplace();
  page.SetStatus(page.Message(kMsgPreparing));

  wchar_t temp[MAX_PATH] = {};
  const DWORD temp_length = ::GetTempPathW(MAX_PATH, temp);
  if (temp_length == 0 || temp_length > 246) {
    // A path too long for the folder name to follow counts as a failure
    // with the code the system gives for it.
    const DWORD code = temp_length == 0 ? ::GetLastError() : ERROR_BUFFER_OVERFLOW;
    wchar_t text[64] = {};
    std::swprintf(text, 64, L"%08x (%ls)", static_cast<unsigned>(code), L"GetTempPath");
    page.SetStatus(page.Message(kMsgFailedWithCode, text));
    page.AppendLine(std::wstring(text) + L"\r\n");
    return false;
  }
  settings.m_strTempFolder = temporary_folder_name(temp, random_uuid_text());

  const std::wstring sample_folder = page.Message(kMsgSampleFolder, product.family);
  temporary_files temporaries(settings.m_strTempFolder);
  page.SetProgress(0);
  page.ShowProgress();

  std::unique_ptr<qv::imemstream> payload = seams.open_payload ? seams.open_payload() : open_payload();
  if (!payload) payload = std::make_unique<qv::imemstream>();
  const bool extracted = extract_payload(*payload, settings.m_strInstallFolder, sample_folder,
                                         settings.m_strTempFolder, install_handler(settings, page, *payload));
  if (!extracted) {
    settings.m_record.Rollback();
    return false;
  }

  make_read_only(page.m_strProgramPath);
  make_read_only(page.m_strUninstallerPath);

  if (settings.m_bMenuShortcut || settings.m_bDesktopShortcut) {
    start_step(page, kMsgShortcuts);
    const shortcut_names names{product.label, page.Message(kMsgUninstallShortcut, product.family)};
    finish_line(page, create_product_shortcuts(settings, names, page.m_strProgramPath, page.m_strUninstallerPath,
                                               page.Window()));
  }

  start_step(page, kMsgRegistry);
  const bool registry_ok = write_uninstall_entry(page.m_strProgramPath, page.m_strUninstallerPath, product,
                                                 settings.m_record);
  try {
    if (seams.write_product_path)
      seams.write_product_path(page.m_strProgramPath);
    else
      write_product_path(page.m_strProgramPath, product);
  } catch (...) {
    // Whatever the write raised, the installation cannot be found again
    // by the next setup: it is undone.
    settings.m_record.Rollback();
    finish_line(page, false);
    page.SetStatus(page.Message(kMsgFailedWithCode, L"-1"));
    return false;
  }
  const bool registered = start_installed_program(settings, page.m_strProgramPath);
  if (registered) {
    // The program has registered its file type: let the shell see it.
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    cursor.reset();
  }
  finish_line(page, registry_ok && registered);

  start_step(page, kMsgInstallData);
  const std::wstring log_path = uninstall_log_path(page.m_strUninstallerPath);
  finish_line(page, !log_path.empty() &&
                        settings.m_record.WriteLog(log_path, settings.m_strInstallFolder, settings.m_strMenuFolder));

  page.SetStatus(page.Message(kMsgContinue, page.Message(kMsgContinueButton)));
  return true;
}
