// The payload: the product's files, carried inside setup.exe as one bzip2
// stream (resource type 260, id 134) of the archive laid out in
// payload_format.hpp, and its extraction.
//
// The extraction streams the resource through a bzip2 decompressor into a
// writer that parses the directory, resolves every destination folder,
// writes each file, reads it back for its CRC-32 and reports every step to a
// handler, which can skip a file or stop. It shows nothing to the user.
#pragma once
#include "engine/payload_format.hpp"
#include "support/memstream.hpp"
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>
#include <variant>
#include <vector>

// --- Error codes of the extraction.

enum class compress_error : int {
  invalid_checksum = 3,
  invalid_payload = 4,  // raised by the installation's handler, never here
  interrupted = 5,
  bzip2_error = 6,
  unexpected_error = 7,
};

// The category "compress", one instance per process.
const std::error_category& compress_category();
std::error_code make_error_code(compress_error e);

namespace std {
template <>
struct is_error_code_enum<compress_error> : true_type {};
}  // namespace std

// --- What the extraction tells its handler.

struct notification {
  enum class result : std::uint32_t { proceed = 0, abort = 1, skip = 2 };

  struct start {};
  struct finish {
    std::uint64_t transferred;
    std::uint64_t total;
  };
  struct file_begin {
    const payload_entry& entry;
  };
  struct file_end {
    const payload_entry& entry;
  };
  struct progress {
    std::uint64_t position;
    std::uint64_t total;
  };
  struct error {
    std::error_code code;
  };

  using value_type = std::variant<start, finish, file_begin, file_end, progress, error>;
  value_type value;

  template <typename T, typename = std::enable_if_t<!std::is_same_v<std::decay_t<T>, notification>>>
  notification(T alternative) : value(std::move(alternative)) {}
  // 0 start, 1 finish, 2 file_begin, 3 file_end, 4 progress, 5 error.
  std::size_t index() const { return value.index(); }
  template <typename T>
  const T* get() const {
    return std::get_if<T>(&value);
  }
};

using notification_handler = std::function<notification::result(notification)>;

// --- Entry points.

// The payload resource of this executable, read in place. Empty when the
// resource is missing, cannot be loaded or has no bytes.
std::unique_ptr<qv::imemstream> open_payload();

// Decompresses the whole stream and discards the output. True, with the
// stream rewound to its start, when it decompressed cleanly and completely;
// a bzip2 error is thrown (boost::iostreams::bzip2_error).
bool verify_payload(qv::imemstream& stream);

// Unpacks the archive in `stream`. True when every file was written and
// verified; on failure the handler has received exactly one
// notification::error. Nothing already written is removed.
bool extract_payload(qv::imemstream& stream, std::wstring install_folder, std::wstring sample_folder,
                     std::wstring temporary_folder, notification_handler handler);

// CRC-32 of a file's contents on disk. Throws std::system_error with the
// Windows code; a sharing violation is retried three times, a second apart.
std::uint32_t file_crc(const std::wstring& path);

// --- Destination resolution, on its own for the tests.

// A folder that every user of the machine must be able to write to.
struct shared_folder {
  std::wstring path;
  bool done = false;
};
using shared_folder_list = std::vector<shared_folder>;

// Looks up a CSIDL folder; empty text when there is none.
using folder_lookup = std::function<std::wstring(int csidl)>;
// SHGetFolderPathW, current value, owned by the program's foremost window.
std::wstring shell_folder(int csidl);

struct destination_folders {
  std::wstring install;
  std::wstring sample;
  std::wstring temporary;
};

// Resolves a destination folder whose first element may be a placeholder
// ("<InstallPath>\Lang"); a folder without one comes back unchanged. Adds
// the folders of all-users placeholders to `shared`. Throws
// compress_error::unexpected_error for a bracketed first element that is no
// known placeholder, and when the folder it names cannot be found.
std::wstring resolve_destination(const std::wstring& folder, const destination_folders& folders,
                                 shared_folder_list& shared, const folder_lookup& lookup = shell_folder);

// --- The writer that receives the decompressed bytes.

class payload_writer {
public:
  payload_writer(destination_folders folders, notification_handler handler, folder_lookup lookup = shell_folder);
  ~payload_writer();
  payload_writer(const payload_writer&) = delete;
  payload_writer& operator=(const payload_writer&) = delete;

  // Takes up to n bytes, never crossing the end of the directory or of an
  // entry; returns how many it took (0 for a zero-length entry, whose
  // bytes are then offered again for the next one).
  std::streamsize write(const char* s, std::streamsize n);
  // After the last byte: deals with zero-length entries at the very end,
  // then throws compress_error::unexpected_error unless every byte came.
  void finish();

  std::uint64_t position() const { return position_; }
  std::uint64_t total() const { return total_; }
  const std::vector<payload_entry>& entries() const { return entries_; }
  const shared_folder_list& shared_folders() const { return shared_folders_; }

private:
  struct file_output;

  std::streamsize write_directory(const char* s, std::streamsize n);
  void parse_directory();
  std::streamsize write_file(const char* s, std::streamsize n);
  void begin_entry(const payload_entry& entry);
  void end_entry(const payload_entry& entry);
  void open_output(const std::wstring& path);
  void grant_shared_folders(const std::wstring& file);
  void send(notification n);

  destination_folders folders_;
  notification_handler handler_;
  folder_lookup lookup_;
  std::vector<payload_entry> entries_;
  std::uint64_t directory_size_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t total_ = 0;
  qv::memstream directory_;
  std::unique_ptr<file_output> file_;
  std::uint32_t index_ = 0;
  std::uint64_t remaining_ = 0;
  bool started_ = false;
  bool skipping_ = false;
  bool failed_ = false;
  shared_folder_list shared_folders_;
};

// The code an extraction failure is reported with; call inside a catch block.
std::error_code error_code_from_current_exception();
