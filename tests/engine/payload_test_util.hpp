// Shared by the payload tests: archives built with the packer's code, a
// handler that records what it is told, and a feed that drives a writer the
// way Boost.Iostreams' copy does.
#pragma once
#include "engine/payload.hpp"
#include "packer/packer.hpp"
#include <shlobj.h>
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace payload_test {

// One notification as recorded.
struct event {
  std::size_t index = 0;
  std::wstring destination;  // file_begin, file_end
  std::uint32_t kind = 0;
  std::uint64_t a = 0, b = 0;  // progress (position, total), finish (transferred, total)
  std::error_code code;        // error
};

enum : std::size_t { start = 0, finish = 1, file_begin = 2, file_end = 3, progress = 4, error = 5 };

struct recorder {
  std::vector<event> events;
  // Decides the reply; proceed when empty.
  std::function<notification::result(const notification&)> reply;
  bool make_folders = true;

  notification_handler handler() {
    return [this](notification n) {
      event e;
      e.index = n.index();
      if (auto* p = n.get<notification::file_begin>()) {
        e.destination = p->entry.destination;
        e.kind = p->entry.kind;
      } else if (auto* p = n.get<notification::file_end>()) {
        e.destination = p->entry.destination;
        e.kind = p->entry.kind;
      } else if (auto* p = n.get<notification::progress>()) {
        e.a = p->position;
        e.b = p->total;
      } else if (auto* p = n.get<notification::finish>()) {
        e.a = p->transferred;
        e.b = p->total;
      } else if (auto* p = n.get<notification::error>()) {
        e.code = p->code;
      }
      events.push_back(e);
      notification::result result = reply ? reply(n) : notification::result::proceed;
      // The writer creates no folder: the installation run's handler has the
      // record create (and record) them when a file is begun. This handler
      // stands in for it unless told not to.
      if (auto* p = n.get<notification::file_begin>(); p && make_folders && result == notification::result::proceed) {
        const std::wstring& d = p->entry.destination;
        std::size_t slash = d.find_last_of(L"\\/");
        wchar_t full[MAX_PATH] = {};
        if (slash != std::wstring::npos && ::GetFullPathNameW(d.substr(0, slash).c_str(), MAX_PATH, full, nullptr))
          ::SHCreateDirectoryExW(nullptr, full, nullptr);
      }
      return result;
    };
  }
  std::size_t count(std::size_t index) const {
    std::size_t n = 0;
    for (const event& e : events) n += e.index == index;
    return n;
  }
  std::vector<std::size_t> indices() const {
    std::vector<std::size_t> out;
    for (const event& e : events) out.push_back(e.index);
    return out;
  }
  // The code of the one error notification (empty when there was none).
  std::error_code error_code() const {
    for (const event& e : events)
      if (e.index == error) return e.code;
    return {};
  }
};

inline qv::packer::packed_file file(const std::wstring& name, const std::wstring& folder, const std::string& bytes,
                                    entry_kind kind = entry_kind::program) {
  return qv::packer::make_file(L"C:\\build\\product\\" + name, folder, kind, bytes);
}

// Deterministic bytes that compress somewhat.
inline std::string bytes_of(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>((x >> 16) % 23 + 'a');
  }
  return s;
}

// Runs extract_payload on a compressed archive.
inline bool extract(const std::string& compressed, recorder& r, const std::wstring& install,
                    const std::wstring& sample = L"", const std::wstring& temporary = L"") {
  qv::imemstream stream(compressed.data(), compressed.size());
  return extract_payload(stream, install, sample, temporary, r.handler());
}

// Hands a decompressed archive to a writer in blocks, offering what it did
// not take again, as the extraction's copy does.
inline void feed(payload_writer& writer, const std::string& archive, std::size_t block = 4096) {
  std::size_t at = 0;
  while (at < archive.size()) {
    std::size_t n = std::min(block, archive.size() - at);
    std::size_t done = 0;
    while (done < n) done += static_cast<std::size_t>(writer.write(archive.data() + at + done, n - done));
    at += n;
  }
  writer.finish();
}

}  // namespace payload_test
