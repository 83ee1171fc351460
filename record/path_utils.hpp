// Path utilities shared by the installation record and the payload
// extraction.
#pragma once
#include <boost/filesystem/path.hpp>
#include <boost/system/error_code.hpp>
#include <system_error>

namespace fs = boost::filesystem;

// True when both paths name the same file or folder: equal spellings, the
// same object on disk, or, when neither exists, the same normalised
// absolute path ignoring case. Never throws.
bool same_path(const fs::path& a, const fs::path& b);
fs::path make_absolute(const fs::path& p);
// Removes "." and ".." elements and writes "\" separators; a path that
// climbs above its root comes back unchanged.
fs::path normalize_path(const fs::path& p);
bool path_exists(const fs::path& p);
// Clears the read-only attribute of a file (following links). Never throws.
void make_writable(const fs::path& p);

// Capture of the runtime library's error variables around file-stream work.
void clear_stream_error();
std::error_code last_stream_error();
// Inside a catch block: rethrows the current exception as a
// filesystem_error that names the two paths, where that adds information.
[[noreturn]] void rethrow_with_paths(const fs::path& first, const fs::path& second);
