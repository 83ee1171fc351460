// The payload packer: builds the archive that setup.exe carries, in the
// layout of engine/payload_format.hpp, and compresses it as one bzip2 stream.
#pragma once
#include "engine/payload_format.hpp"
#include <iosfwd>
#include <string>
#include <vector>

namespace qv::packer {

// One line of a manifest: a file of the building machine, the destination
// folder it is installed to (a placeholder may come first) and its kind.
struct manifest_item {
  std::wstring source;
  std::wstring destination;
  std::uint32_t kind = 0;
};

// Manifest text, UTF-8, one item a line: kind, destination and source
// separated by tabs; the kind by name ("sample") or number. Empty lines and
// lines starting with '#' are ignored. Throws std::runtime_error on a bad line.
std::vector<manifest_item> parse_manifest(const std::string& text);
// The kind's number for a name of entry_kind or a decimal number.
bool parse_kind(const std::string& text, std::uint32_t& kind);

// A file given by its bytes, for archives built in memory.
struct packed_file {
  payload_entry entry;  // size and crc as they go into the directory
  std::string bytes;
};
// A packed file whose size and crc match its bytes.
packed_file make_file(std::wstring source, std::wstring destination, entry_kind kind, std::string bytes);

// The uncompressed archive of these files, directory first.
std::string build_archive(const std::vector<packed_file>& files);
// One bzip2 stream of `data` (block size 9).
std::string compress(const std::string& data);
// build_archive, then compress.
std::string pack(const std::vector<packed_file>& files);

// Packs the manifest's files from disk into `out` as one bzip2 stream,
// reading every file twice (sizes and CRCs for the directory first) and
// never holding more than a buffer of it. Returns the directory.
std::vector<payload_entry> pack_files(const std::vector<manifest_item>& items, std::ostream& out);

}  // namespace qv::packer
