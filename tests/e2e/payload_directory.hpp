// The payload resource (type 260, id 134) of a setup.exe on disk, read as
// the test's own code reads it: decompressed and its directory parsed by
// the archive's byte layout, so that a test can check every installed file
// against it and a tool can build a damaged copy of it.
#pragma once
#include <windows.h>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/array.hpp>
#include <boost/iostreams/device/back_inserter.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qvtest {

struct archive_entry {
  std::wstring source, destination;
  std::uint32_t kind = 0;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  std::size_t crc_at = 0;   // offset of the crc field in the archive
  std::size_t data_at = 0;  // offset of the file's bytes
  std::wstring name() const { return source.substr(source.find_last_of(L"\\/") + 1); }
};

struct payload_archive {
  std::string bytes;  // decompressed
  std::vector<archive_entry> entries;
  WORD language = 0;  // of the resource, needed to replace it in place
};

inline BOOL CALLBACK first_language(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  *reinterpret_cast<WORD*>(param) = language;
  return FALSE;
}

// False when the program has no payload or it does not parse.
inline bool read_payload(const std::wstring& exe, payload_archive& out) {
  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  bool ok = false;
  if (HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(134), MAKEINTRESOURCEW(260))) {
    ::EnumResourceLanguagesW(module, MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), first_language,
                             reinterpret_cast<LONG_PTR>(&out.language));
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    const DWORD size = ::SizeofResource(module, found);
    try {
      boost::iostreams::filtering_istreambuf in;
      in.push(boost::iostreams::bzip2_decompressor());
      in.push(boost::iostreams::array_source(data, size));
      out.bytes.clear();
      boost::iostreams::copy(in, boost::iostreams::back_inserter(out.bytes));
      ok = true;
    } catch (...) {
    }
  }
  ::FreeLibrary(module);
  if (!ok || out.bytes.size() < 12) return false;

  const std::string& a = out.bytes;
  auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    if (at + 4 <= a.size()) std::memcpy(&v, a.data() + at, 4);
    return v;
  };
  std::uint64_t directory_size = 0;
  std::memcpy(&directory_size, a.data(), 8);
  std::size_t at = 12, data_at = static_cast<std::size_t>(directory_size);
  const std::uint32_t count = u32(8);
  out.entries.clear();
  for (std::uint32_t i = 0; i < count; ++i) {
    archive_entry e;
    for (std::wstring* text : {&e.source, &e.destination}) {
      const std::uint32_t n = u32(at);
      if (at + 4 + 2ull * n > a.size()) return false;
      text->assign(reinterpret_cast<const wchar_t*>(a.data() + at + 4), n);
      at += 4 + 2 * static_cast<std::size_t>(n);
    }
    if (at + 16 > a.size()) return false;
    e.kind = u32(at);
    std::memcpy(&e.size, a.data() + at + 4, 8);
    e.crc_at = at + 12;
    e.crc = u32(e.crc_at);
    at += 16;
    e.data_at = data_at;
    data_at += static_cast<std::size_t>(e.size);
    out.entries.push_back(e);
  }
  return at == directory_size && data_at == a.size();
}

inline std::string compress_payload(const std::string& archive) {
  std::string compressed;
  boost::iostreams::filtering_ostreambuf out;
  out.push(boost::iostreams::bzip2_compressor());
  out.push(boost::iostreams::back_inserter(compressed));
  boost::iostreams::copy(boost::iostreams::array_source(archive.data(), archive.size()), out);
  return compressed;
}

}  // namespace qvtest
