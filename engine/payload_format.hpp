// The layout of the payload archive, shared by the extractor in setup.exe
// and by the packer that builds the archive at build time, so that the two
// can never disagree about it.
//
// The decompressed archive, all integers little-endian, no gaps:
//   u64 directory_size   bytes of the directory block, this field included;
//                        also the offset of the first file's data
//   u32 entry_count
//   entry_count entries: u32 source length, source (UTF-16LE code units),
//                        u32 destination length, destination (UTF-16LE),
//                        u32 kind, u64 size, u32 crc (CRC-32 of the file)
//   the bytes of every file, in entry order, back to back
// The archive ends right after the last file's bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a file is for; the extractor carries the value through to its
// handler, the installation decides what each kind means.
enum class entry_kind : std::uint32_t {
  language = 0,
  program = 1,
  uninstaller = 2,
  common_data = 3,
  sample = 4,
  temporary = 5,
};

// One directory entry. After the extractor has read the whole directory,
// `destination` holds the full path of the file on this machine.
struct payload_entry {
  std::wstring source;
  std::wstring destination;
  std::uint32_t kind = 0;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
};

namespace payload_format {

// directory_size and entry_count.
constexpr std::uint64_t header_size = 12;
// An entry with empty strings: two lengths, kind, size, crc.
constexpr std::uint64_t min_entry_size = 4 + 4 + 4 + 8 + 4;
// No real directory comes near this; a larger value can only come from a
// damaged archive, and buffering it would hold the whole payload in memory.
constexpr std::uint64_t max_directory_size = 16u << 20;

// --- CRC-32 (zlib, PKZIP): reflected 0x04C11DB7, initial and final xor 0xFFFFFFFF.

// The 256-entry table, computed on first use; the initialisation of a
// function-local static is safe against concurrent first use.
inline const std::uint32_t* crc32_table() {
  struct table {
    std::uint32_t values[256];
    table() {
      for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        values[n] = c;
      }
    }
  };
  static const table instance;
  return instance.values;
}

// Continues a CRC: start with crc32_update(0, ...), feed the result back in.
inline std::uint32_t crc32_update(std::uint32_t crc, const void* data, std::size_t size) {
  const std::uint32_t* t = crc32_table();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  std::uint32_t c = crc ^ 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) c = t[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// --- Writing (the packer).

inline void put_u32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void put_u64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void put_text(std::string& out, const std::wstring& text) {
  put_u32(out, static_cast<std::uint32_t>(text.size()));
  for (wchar_t ch : text) {
    std::uint32_t unit = static_cast<std::uint16_t>(ch);
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
}

// The whole directory block for these entries, directory_size included.
inline std::string write_directory(const std::vector<payload_entry>& entries) {
  std::string out;
  put_u64(out, 0);
  put_u32(out, static_cast<std::uint32_t>(entries.size()));
  for (const payload_entry& e : entries) {
    put_text(out, e.source);
    put_text(out, e.destination);
    put_u32(out, e.kind);
    put_u64(out, e.size);
    put_u32(out, e.crc);
  }
  std::string size;
  put_u64(size, out.size());
  out.replace(0, 8, size);
  return out;
}

// --- Reading (the extractor). Every read is bounds-checked: a damaged
// directory fails to parse instead of reading past its buffer.

class reader {
public:
  reader(const char* data, std::size_t size) : p_(reinterpret_cast<const unsigned char*>(data)), left_(size) {}
  std::size_t left() const { return left_; }
  bool u32(std::uint32_t& v) { return unsigned_le(v); }
  bool u64(std::uint64_t& v) { return unsigned_le(v); }
  bool text(std::wstring& v) {
    std::uint32_t units = 0;
    if (!u32(units) || units > left_ / 2) return false;
    v.resize(units);
    for (std::uint32_t i = 0; i < units; ++i)
      v[i] = static_cast<wchar_t>(std::uint16_t(p_[2 * i]) | (std::uint16_t(p_[2 * i + 1]) << 8));
    advance(std::size_t(units) * 2);
    return true;
  }

private:
  template <typename T>
  bool unsigned_le(T& v) {
    if (left_ < sizeof(T)) return false;
    v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v |= T(p_[i]) << (8 * i);
    advance(sizeof(T));
    return true;
  }
  void advance(std::size_t n) {
    p_ += n;
    left_ -= n;
  }
  const unsigned char* p_;
  std::size_t left_;
};

// The directory_size field from the first 8 bytes of an archive.
inline std::uint64_t read_directory_size(const char* first8) {
  std::uint64_t v = 0;
  reader(first8, 8).u64(v);
  return v;
}

// A directory_size that a directory block can have.
inline bool plausible_directory_size(std::uint64_t directory_size) {
  return directory_size >= header_size && directory_size <= max_directory_size;
}

// Parses a whole directory block (directory_size bytes, the field included).
// False when the count or a length does not fit the block, or the entries
// do not end exactly at its end; `entries` is then unspecified.
inline bool read_directory(const char* data, std::size_t size, std::vector<payload_entry>& entries) {
  reader in(data, size);
  std::uint64_t directory_size = 0;
  std::uint32_t count = 0;
  if (!in.u64(directory_size) || directory_size != size || !in.u32(count)) return false;
  if (count > in.left() / min_entry_size) return false;
  entries.assign(count, payload_entry{});
  for (payload_entry& e : entries) {
    if (!in.text(e.source) || !in.text(e.destination) || !in.u32(e.kind) || !in.u64(e.size) || !in.u32(e.crc))
      return false;
  }
  return in.left() == 0;
}

}  // namespace payload_format
