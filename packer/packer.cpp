#include "packer/packer.hpp"
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <boost/iostreams/device/back_inserter.hpp>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <windows.h>

namespace qv::packer {

namespace {
std::wstring from_utf8(const std::string& s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) throw std::runtime_error("manifest: text is not UTF-8");
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

constexpr std::size_t kBuffer = 1 << 16;

std::ifstream open_input(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) throw std::runtime_error("cannot open a payload file");
  return in;
}
}  // namespace

bool parse_kind(const std::string& text, std::uint32_t& kind) {
  static const char* const names[] = {"language", "program", "uninstaller", "common_data", "sample", "temporary"};
  for (std::uint32_t i = 0; i < 6; ++i)
    if (text == names[i]) {
      kind = i;
      return true;
    }
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10) return false;
  unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (v > 0xFFFFFFFFull) return false;
  kind = static_cast<std::uint32_t>(v);
  return true;
}

std::vector<manifest_item> parse_manifest(const std::string& text) {
  std::vector<manifest_item> items;
  std::size_t start = 0, number = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields = split_tabs(line);
    manifest_item item;
    if (fields.size() != 3 || !parse_kind(fields[0], item.kind) || fields[2].empty())
      throw std::runtime_error("manifest line " + std::to_string(number) + ": expected kind, destination, source");
    item.destination = from_utf8(fields[1]);
    item.source = from_utf8(fields[2]);
    items.push_back(std::move(item));
  }
  return items;
}

packed_file make_file(std::wstring source, std::wstring destination, entry_kind kind, std::string bytes) {
  packed_file f;
  f.entry.source = std::move(source);
  f.entry.destination = std::move(destination);
  f.entry.kind = static_cast<std::uint32_t>(kind);
  f.entry.size = bytes.size();
  f.entry.crc = payload_format::crc32_update(0, bytes.data(), bytes.size());
  f.bytes = std::move(bytes);
  return f;
}

std::string build_archive(const std::vector<packed_file>& files) {
  std::vector<payload_entry> entries;
  for (const packed_file& f : files) entries.push_back(f.entry);
  std::string out = payload_format::write_directory(entries);
  for (const packed_file& f : files) out += f.bytes;
  return out;
}

std::string compress(const std::string& data) {
  std::string out;
  {
    boost::iostreams::filtering_ostream z;
    z.push(boost::iostreams::bzip2_compressor());
    z.push(boost::iostreams::back_inserter(out));
    z.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  return out;
}

std::string pack(const std::vector<packed_file>& files) { return compress(build_archive(files)); }

std::vector<payload_entry> pack_files(const std::vector<manifest_item>& items, std::ostream& out) {
  std::vector<payload_entry> entries;
  std::vector<char> buffer(kBuffer);
  for (const manifest_item& item : items) {
    payload_entry e;
    e.source = item.source;
    e.destination = item.destination;
    e.kind = item.kind;
    std::ifstream in = open_input(item.source);
    while (in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      std::streamsize got = in.gcount();
      e.crc = payload_format::crc32_update(e.crc, buffer.data(), static_cast<std::size_t>(got));
      e.size += static_cast<std::uint64_t>(got);
    }
    if (in.bad()) throw std::runtime_error("cannot read a payload file");
    entries.push_back(std::move(e));
  }
  boost::iostreams::filtering_ostream z;
  z.push(boost::iostreams::bzip2_compressor());
  z.push(out);
  z.exceptions(std::ios::badbit | std::ios::failbit);
  std::string directory = payload_format::write_directory(entries);
  z.write(directory.data(), static_cast<std::streamsize>(directory.size()));
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::ifstream in = open_input(items[i].source);
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    while (in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      std::streamsize got = in.gcount();
      crc = payload_format::crc32_update(crc, buffer.data(), static_cast<std::size_t>(got));
      size += static_cast<std::uint64_t>(got);
      z.write(buffer.data(), got);
    }
    if (in.bad() || size != entries[i].size || crc != entries[i].crc)
      throw std::runtime_error("a payload file changed while it was packed");
  }
  z.reset();  // flushes the compressor's last block
  out.flush();
  if (!out) throw std::runtime_error("cannot write the payload");
  return entries;
}

}  // namespace qv::packer
