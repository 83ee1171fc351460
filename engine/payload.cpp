#include "engine/payload.hpp"
#include "record/path_utils.hpp"
#include "resources/resource_ids.h"
#include "support/errors.hpp"
#include "support/handle.hpp"
#include "support/security.hpp"
#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/null.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <boost/system/system_error.hpp>
#include <ext/stdio_filebuf.h>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <ostream>
#include <share.h>
#include <shlobj.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

constexpr int kPayloadType = RT_PAYLOAD;
constexpr int kPayloadId = IDR_PAYLOAD;
constexpr std::streamsize kBlockSize = 4096;
// The decompressed blocks are gathered into writes of this size: under Wine
// each write is a round trip through the emulated file layer, and 4096-byte
// writes cost a third of the decompression's own time on a large payload.
constexpr std::size_t kFileBufferSize = 1 << 16;
// Users group: all file access, inherited by files and folders below.
constexpr DWORD kSharedFolderAccess = 0x1F01FF;
constexpr BYTE kSharedFolderInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

class compress_category_impl : public std::error_category {
public:
  const char* name() const noexcept override { return "compress"; }
  std::string message(int value) const override {
    switch (static_cast<compress_error>(value)) {
      case compress_error::invalid_checksum: return "invalid checksum";
      case compress_error::interrupted: return "interrupted";
      case compress_error::bzip2_error: return "bzip2 error";
      case compress_error::unexpected_error: return "unexpected error";
      default: return "unknown error";
    }
  }
};

[[noreturn]] void raise(compress_error e) { throw std::system_error(make_error_code(e)); }

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// `folder` and `element` with exactly one separator between them.
std::wstring join(const std::wstring& folder, std::wstring element) {
  if (folder.empty()) return element;
  std::size_t lead = 0;
  while (lead < element.size() && is_separator(element[lead])) ++lead;
  element.erase(0, lead);
  if (is_separator(folder.back())) return folder + element;
  return folder + L"\\" + element;
}

// The last element of a path written on the building machine.
std::wstring file_name_of(const std::wstring& source) {
  std::size_t slash = source.find_last_of(L"\\/");
  return slash == std::wstring::npos ? source : source.substr(slash + 1);
}

std::wstring folder_with_fallback(const folder_lookup& lookup, int csidl, int fallback) {
  std::wstring folder = lookup(csidl);
  if (folder.empty() && fallback >= 0) folder = lookup(fallback);
  if (folder.empty()) raise(compress_error::unexpected_error);
  return folder;
}

bool is_absolute(const std::wstring& path) {
  fs::path p(path);
  return p.has_root_name() && p.has_root_directory();
}

void add_shared(shared_folder_list& shared, const std::wstring& folder) {
  for (const shared_folder& s : shared)
    if (s.path == folder) return;
  shared.push_back({folder, false});
}

std::error_code from_boost(const boost::system::error_code& code) {
  if (code.category() == boost::system::system_category()) return {code.value(), std::system_category()};
  if (code.category() == boost::system::generic_category()) return {code.value(), std::generic_category()};
  return make_error_code(compress_error::unexpected_error);
}

// Reads `path` once; throws the Windows code of a failed open or read.
std::uint32_t crc_once(const std::wstring& path) {
  qv::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) throw std::system_error(static_cast<int>(::GetLastError()), std::system_category());
  char buffer[kBlockSize];
  std::uint32_t crc = 0;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
      throw std::system_error(static_cast<int>(::GetLastError()), std::system_category());
    if (got == 0) break;
    crc = payload_format::crc32_update(crc, buffer, got);
  }
  return crc;
}

// Sink for Boost.Iostreams' copy that hands every block to the writer.
struct writer_sink {
  typedef char char_type;
  typedef boost::iostreams::sink_tag category;
  payload_writer* writer;
  std::streamsize write(const char* s, std::streamsize n) { return writer->write(s, n); }
};

}  // namespace

// --- Error codes.

const std::error_category& compress_category() {
  static const compress_category_impl instance;
  return instance;
}

std::error_code make_error_code(compress_error e) { return {static_cast<int>(e), compress_category()}; }

std::error_code error_code_from_current_exception() {
  try {
    throw;
  } catch (const boost::iostreams::bzip2_error&) {
    // A decompression failure; it shares the stream-failure base class, but
    // no file stream failed, so the runtime's error variables say nothing.
    return make_error_code(compress_error::bzip2_error);
  } catch (const std::ios_base::failure& failure) {
    std::error_code code = last_stream_error();
    if (code) return code;
    return failure.code();
  } catch (const std::system_error& error) {
    return error.code();
  } catch (const boost::system::system_error& error) {
    return from_boost(error.code());
  } catch (...) {
    // Everything else, the bare status codes of the security layer included.
    return make_error_code(compress_error::unexpected_error);
  }
}

// --- Destination resolution.

std::wstring shell_folder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  HWND owner = ::GetForegroundWindow();
  DWORD process = 0;
  if (owner) ::GetWindowThreadProcessId(owner, &process);
  if (process != ::GetCurrentProcessId()) owner = nullptr;  // only a window of ours may own a shell dialog
  ::SHGetFolderPathW(owner, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return buffer;
}

std::wstring resolve_destination(const std::wstring& folder, const destination_folders& folders,
                                 shared_folder_list& shared, const folder_lookup& lookup) {
  std::size_t end = 0;
  while (end < folder.size() && !is_separator(folder[end])) ++end;
  std::wstring first = folder.substr(0, end);
  if (first.size() < 2 || first.front() != L'<' || first.back() != L'>') return folder;

  // The placeholders that name a shell folder: the folder, the folder asked
  // for when it comes back empty (-1: none), and whether the levels below it
  // are shared by all users.
  struct shell_placeholder {
    const wchar_t* name;
    int csidl, fallback;
    bool shared;
  };
  static const shell_placeholder kShellPlaceholders[] = {
      {L"<ProgramFiles>", CSIDL_PROGRAM_FILES, -1, false},
      {L"<ProgramCommon>", CSIDL_PROGRAM_FILES_COMMON, -1, false},
      {L"<CommonData>", CSIDL_COMMON_APPDATA, CSIDL_APPDATA, true},
      {L"<UserData>", CSIDL_APPDATA, -1, false},
      {L"<CommonDocuments>", CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL, true},
      {L"<Documents>", CSIDL_PERSONAL, -1, false},
      {L"<CommonDesktop>", CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true},
      {L"<Desktop>", CSIDL_DESKTOPDIRECTORY, -1, false},
      {L"<WinDir>", CSIDL_WINDOWS, -1, false},
      {L"<System>", CSIDL_SYSTEM, -1, false},
  };

  bool share_levels = false;
  std::wstring result;
  if (first == L"<InstallPath>") {
    result = folders.install;
  } else if (first == L"<SamplePath>") {
    if (folders.sample.empty()) {
      result = folder_with_fallback(lookup, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY);
    } else if (is_absolute(folders.sample)) {
      result = folders.sample;
    } else {
      result = join(folder_with_fallback(lookup, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY),
                    folders.sample);
      add_shared(shared, result);
    }
  } else if (first == L"<Temporary>") {
    result = folders.temporary.empty() ? folders.install : folders.temporary;
  } else {
    const shell_placeholder* known = nullptr;
    for (const shell_placeholder& p : kShellPlaceholders)
      if (first == p.name) known = &p;
    // An unknown placeholder: dropping it would turn the rest into a path
    // relative to whatever the current folder happens to be.
    if (!known) raise(compress_error::unexpected_error);
    result = folder_with_fallback(lookup, known->csidl, known->fallback);
    share_levels = known->shared;
  }
  // An empty install or temporary folder argument names no folder either.
  if (result.empty()) raise(compress_error::unexpected_error);

  std::size_t pos = end;
  while (pos < folder.size()) {
    while (pos < folder.size() && is_separator(folder[pos])) ++pos;
    std::size_t stop = pos;
    while (stop < folder.size() && !is_separator(folder[stop])) ++stop;
    if (stop > pos) {
      result = join(result, folder.substr(pos, stop - pos));
      if (share_levels) add_shared(shared, result);
    }
    pos = stop;
  }
  return result;
}

// --- Destination files.

// The file being written: a runtime-library descriptor opened to deny
// other writers, under a stream that throws on every failed write.
struct payload_writer::file_output {
  __gnu_cxx::stdio_filebuf<char> buffer;
  std::ostream stream;
  file_output(int fd) : buffer(fd, std::ios::out | std::ios::binary, kFileBufferSize), stream(&buffer) {
    stream.exceptions(std::ios::badbit | std::ios::failbit);
  }
  void close() {
    clear_stream_error();
    stream.flush();
    if (!buffer.close()) throw std::ios_base::failure("cannot close a payload file");
  }
};

void payload_writer::open_output(const std::wstring& path) {
  // What stands at the destination is asked about without following links.
  // Only a plain file is overwritten; a link or junction is never written
  // through (the installation record moves it aside before the file is
  // begun). Folders are never created here: the record creates and records
  // them, and a file whose folder is missing fails with ERROR_PATH_NOT_FOUND.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  const bool existing = attributes != INVALID_FILE_ATTRIBUTES;
  if (existing) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      throw std::system_error(ERROR_CANT_ACCESS_FILE, std::system_category());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw std::system_error(ERROR_ACCESS_DENIED, std::system_category());
    make_writable(fs::path(path));
  }
  grant_shared_folders(path);

  clear_stream_error();
  int fd = -1;
  // A new file is created only where nothing is, so a dangling link that the
  // system does not show is not followed to its target either.
  const int flags = existing ? _O_WRONLY | _O_TRUNC | _O_BINARY : _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;
  if (::_wsopen_s(&fd, path.c_str(), flags, _SH_DENYWR, _S_IREAD | _S_IWRITE) != 0 || fd < 0)
    throw std::ios_base::failure("cannot open a payload file");
  file_.reset();
  file_.reset(new file_output(fd));
}

void payload_writer::grant_shared_folders(const std::wstring& file) {
  for (shared_folder& shared : shared_folders_) {
    if (shared.done) continue;
    fs::path folder = fs::path(file).parent_path();
    boost::system::error_code ec;
    while (!folder.empty() && fs::is_directory(folder, ec) && !ec) {
      if (same_path(folder, shared.path)) {
        shared.done = true;
        qv::grant_access(shared.path, kSharedFolderAccess, kSharedFolderInheritance);
        break;
      }
      fs::path parent = folder.parent_path();
      if (parent == folder) break;
      folder = parent;
    }
  }
}

// --- The writer.

payload_writer::payload_writer(destination_folders folders, notification_handler handler, folder_lookup lookup)
    : folders_(std::move(folders)), handler_(std::move(handler)), lookup_(std::move(lookup)) {}

payload_writer::~payload_writer() = default;

void payload_writer::send(notification n) {
  if (handler_(std::move(n)) == notification::result::abort) raise(compress_error::interrupted);
}

std::streamsize payload_writer::write(const char* s, std::streamsize n) {
  if (failed_) return n;
  try {
    return index_ == 0 ? write_directory(s, n) : write_file(s, n);
  } catch (...) {
    failed_ = true;
    throw;
  }
}

std::streamsize payload_writer::write_directory(const char* s, std::streamsize n) {
  std::uint64_t buffered = directory_.size();
  if (buffered < 8) {
    std::streamsize k = std::min<std::streamsize>(n, static_cast<std::streamsize>(8 - buffered));
    directory_.write(s, k);
    if (directory_.size() == 8) {
      directory_size_ = payload_format::read_directory_size(directory_.data());
      if (!payload_format::plausible_directory_size(directory_size_)) raise(compress_error::unexpected_error);
    }
    return k;
  }
  std::streamsize k = static_cast<std::streamsize>(std::min<std::uint64_t>(n, directory_size_ - buffered));
  directory_.write(s, k);
  if (directory_.size() == directory_size_) parse_directory();
  return k;
}

void payload_writer::parse_directory() {
  if (!payload_format::read_directory(directory_.data(), directory_.size(), entries_))
    raise(compress_error::unexpected_error);
  std::uint64_t total = directory_size_;
  for (payload_entry& entry : entries_) {
    if (entry.size > UINT64_MAX - total) raise(compress_error::unexpected_error);
    total += entry.size;
    entry.destination =
        join(resolve_destination(entry.destination, folders_, shared_folders_, lookup_), file_name_of(entry.source));
  }
  directory_.rdbuf()->clear();
  total_ = total;
  position_ = directory_size_;
  send(notification::progress{position_, total_});
  index_ = 1;
}

void payload_writer::begin_entry(const payload_entry& entry) {
  notification::result reply = handler_(notification::file_begin{entry});
  if (reply == notification::result::abort) raise(compress_error::interrupted);
  remaining_ = entry.size;
  started_ = true;
  skipping_ = reply == notification::result::skip;
  if (!skipping_) open_output(entry.destination);
}

void payload_writer::end_entry(const payload_entry& entry) {
  if (!skipping_) {
    std::unique_ptr<file_output> file = std::move(file_);
    file->close();
    file.reset();
    if (file_crc(entry.destination) != entry.crc) raise(compress_error::invalid_checksum);
    send(notification::file_end{entry});
  }
  started_ = false;
  skipping_ = false;
  ++index_;
}

std::streamsize payload_writer::write_file(const char* s, std::streamsize n) {
  if (index_ - 1 >= entries_.size()) raise(compress_error::unexpected_error);
  const payload_entry& entry = entries_[index_ - 1];
  if (!started_) begin_entry(entry);
  std::streamsize k = static_cast<std::streamsize>(std::min<std::uint64_t>(n, remaining_));
  if (!skipping_ && k > 0) {
    clear_stream_error();
    file_->stream.write(s, k);
  }
  remaining_ -= static_cast<std::uint64_t>(k);
  position_ += static_cast<std::uint64_t>(k);
  send(notification::progress{position_, total_});
  if (remaining_ == 0) end_entry(entry);
  return k;
}

void payload_writer::finish() {
  if (failed_) raise(compress_error::unexpected_error);
  try {
    // Zero-length entries at the very end get no byte that would start
    // them: write, verify and report them like any other.
    if (total_ != 0 && position_ == total_) {
      while (index_ >= 1 && index_ - 1 < entries_.size()) write_file(nullptr, 0);
    }
  } catch (...) {
    failed_ = true;
    throw;
  }
  if (total_ == 0 || position_ != total_) raise(compress_error::unexpected_error);
}

// --- Entry points.

std::unique_ptr<qv::imemstream> open_payload() {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(kPayloadId), MAKEINTRESOURCEW(kPayloadType));
  HGLOBAL loaded = found ? ::LoadResource(self, found) : nullptr;
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  DWORD size = found ? ::SizeofResource(self, found) : 0;
  if (!bytes || size == 0) return std::make_unique<qv::imemstream>();
  return std::make_unique<qv::imemstream>(static_cast<const char*>(bytes), size);
}

bool verify_payload(qv::imemstream& stream) {
  {
    boost::iostreams::filtering_istreambuf in;
    in.push(boost::iostreams::bzip2_decompressor(false, kBlockSize), kBlockSize);
    in.push(stream, kBlockSize);
    boost::iostreams::copy(in, boost::iostreams::null_sink(), kBlockSize);
  }
  if (!stream.good() || stream.rdbuf()->in_avail() > 0) return false;
  stream.clear();
  stream.seekg(0);
  return !stream.fail();
}

bool extract_payload(qv::imemstream& stream, std::wstring install_folder, std::wstring sample_folder,
                     std::wstring temporary_folder, notification_handler handler) {
  if (!handler) qv::throw_logic_error();
  std::unique_ptr<payload_writer> writer;
  try {
    handler(notification::start{});
    writer = std::make_unique<payload_writer>(
        destination_folders{std::move(install_folder), std::move(sample_folder), std::move(temporary_folder)},
        handler);
    std::streamsize copied = 0;
    // An empty stream (no payload resource) has nothing to decompress; the
    // byte count below then reports it, where libbzip2 would only see a
    // stream that ended too early.
    if (stream.rdbuf()->in_avail() > 0) {
      boost::iostreams::filtering_istreambuf in;
      in.push(boost::iostreams::bzip2_decompressor(false, kBlockSize), kBlockSize);
      in.push(stream, kBlockSize);
      copied = boost::iostreams::copy(in, writer_sink{writer.get()}, kBlockSize);
    }
    writer->finish();
    handler(notification::finish{static_cast<std::uint64_t>(copied), writer->total()});
    writer.reset();
    return true;
  } catch (...) {
    std::error_code code = error_code_from_current_exception();
    // Close any file still open before the handler hears of the failure.
    writer.reset();
    try {
      handler(notification::error{code});
    } catch (...) {
      // The failure is already being reported; a handler that fails while
      // it hears of it has nothing left to stop.
    }
    return false;
  }
}

std::uint32_t file_crc(const std::wstring& path) {
  for (int attempt = 0;; ++attempt) {
    try {
      return crc_once(path);
    } catch (const std::system_error& error) {
      if (error.code() != std::error_code(ERROR_SHARING_VIOLATION, std::system_category()) || attempt == 3) throw;
      ::Sleep(1000);
    }
  }
}
