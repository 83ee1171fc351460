// Payload extraction benchmark: prints figures, checks nothing.
//
//   payload_bench [--keep] [work folder]
//
// Builds two payloads with the packer from generated, realistically
// compressible files: one of the shipped size (about 7.9 MB decompressed in
// 33 entries) and one of 256 MB in 1,000 files. For each it times, in fresh
// processes, the pure bzip2 decompression of the stream into memory (what
// the extraction cannot beat) and extract_payload into a new folder, and
// reports their ratio, the MB/s of decompressed output and the peak working
// set of each process.
//
//   payload_bench --run decompress|extract <payload> <folder>
// is one such measurement, run by the benchmark in a child process.
#include "bench/bench_clock.hpp"
#include "engine/payload.hpp"
#include "packer/packer.hpp"
#include "support/handle.hpp"
#include <boost/filesystem/operations.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <cstdio>
#include <cstring>
#include <shlobj.h>
#include <fstream>
#include <random>
#include <string>
#include <vector>
#include <windows.h>
#include <psapi.h>

namespace fs = boost::filesystem;

namespace {

std::uint64_t peak_working_set() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
  return pmc.PeakWorkingSetSize;
}

// --- Generated files: text, numeric tables and incompressible runs, in
// proportions that pack about as the product's files do (2.5 : 1).

const char* const kWords[] = {"survey", "parcel", "boundary", "contour", "station", "layer", "grid", "north",
                              "east", "elevation", "datum", "point", "line", "area", "volume", "section",
                              "profile", "scale", "sheet", "legend", "symbol", "hatch", "colour", "width",
                              "offset", "angle", "radius", "label", "note", "revision", "client", "drawing"};

std::string generate(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out;
  out.reserve(size + 4096);
  while (out.size() < size) {
    unsigned pick = rng() % 100;
    if (pick < 55) {  // text lines
      for (int line = 0; line < 20; ++line) {
        out += std::to_string(rng() % 10000);
        int words = 4 + static_cast<int>(rng() % 10);
        for (int w = 0; w < words; ++w) {
          out += ' ';
          out += kWords[rng() % (sizeof kWords / sizeof *kWords)];
        }
        out += ";\r\n";
      }
    } else if (pick < 85) {  // numeric records: slowly varying coordinates
      std::int32_t x = static_cast<std::int32_t>(rng() % 100000), y = static_cast<std::int32_t>(rng() % 100000);
      for (int r = 0; r < 64; ++r) {
        x += static_cast<std::int32_t>(rng() % 64) - 32;
        y += static_cast<std::int32_t>(rng() % 64) - 32;
        std::uint16_t flags = static_cast<std::uint16_t>(rng() % 4);
        out.append(reinterpret_cast<const char*>(&x), 4);
        out.append(reinterpret_cast<const char*>(&y), 4);
        out.append(reinterpret_cast<const char*>(&flags), 2);
      }
    } else {  // already-compressed data (images, embedded archives)
      for (int i = 0; i < 256; ++i) {
        std::uint32_t v = rng();
        out.append(reinterpret_cast<const char*>(&v), 4);
      }
    }
  }
  out.resize(size);
  return out;
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

struct payload_spec {
  const char* name;
  std::vector<std::size_t> sizes;
};

// The shipped layout's sizes: 23 documents, the uninstaller, 8 libraries and
// the program, 7,911,339 bytes together.
payload_spec shipped_size() {
  payload_spec spec{"shipped size", {}};
  std::mt19937 rng(33);
  for (int i = 0; i < 23; ++i) spec.sizes.push_back(60000 + rng() % 120000);
  spec.sizes.push_back(420000);
  for (int i = 0; i < 8; ++i) spec.sizes.push_back(180000 + rng() % 40000);
  std::size_t sum = 0;
  for (std::size_t s : spec.sizes) sum += s;
  spec.sizes.push_back(7911339 - sum);
  return spec;
}

payload_spec large_size() {
  payload_spec spec{"256 MB", {}};
  std::mt19937 rng(1000);
  const std::size_t total = std::size_t(256) << 20;
  std::vector<double> weights;
  double weight_sum = 0;
  for (int i = 0; i < 1000; ++i) {
    weights.push_back(16384 + rng() % 520000);
    weight_sum += weights.back();
  }
  std::size_t sum = 0;
  for (int i = 0; i < 999; ++i) {
    spec.sizes.push_back(static_cast<std::size_t>(weights[i] / weight_sum * double(total)));
    sum += spec.sizes.back();
  }
  spec.sizes.push_back(total - sum);
  return spec;
}

// Writes the files, packs them; returns the payload's path.
fs::path build_payload(const payload_spec& spec, const fs::path& work, std::uint64_t& decompressed) {
  fs::path sources = work / (std::string(spec.name) == "256 MB" ? "large-src" : "small-src");
  fs::create_directories(sources);
  std::vector<qv::packer::manifest_item> items;
  decompressed = 0;
  for (std::size_t i = 0; i < spec.sizes.size(); ++i) {
    fs::path file = sources / ("file" + std::to_string(i) + ".bin");
    write_file(file, generate(spec.sizes[i], static_cast<std::uint32_t>(i * 7919 + spec.sizes.size())));
    qv::packer::manifest_item item;
    item.source = file.wstring();
    // Forty files a folder, as a product of that many files is laid out.
    item.destination = L"<InstallPath>\\Data\\Part" + std::to_wstring(i / 40);
    item.kind = static_cast<std::uint32_t>(i % 6);
    items.push_back(item);
  }
  fs::path payload = work / (sources.filename().string() + ".bz2");
  std::ofstream out(payload.c_str(), std::ios::binary | std::ios::trunc);
  std::vector<payload_entry> entries = qv::packer::pack_files(items, out);
  out.close();
  decompressed = payload_format::write_directory(entries).size();
  for (const payload_entry& e : entries) decompressed += e.size;
  fs::remove_all(sources);
  return payload;
}

// --- One measurement, in its own process.

struct counting_sink {
  typedef char char_type;
  typedef boost::iostreams::sink_tag category;
  std::uint64_t* count;
  char* memory;
  std::streamsize write(const char* s, std::streamsize n) {
    std::memcpy(memory, s, static_cast<std::size_t>(n));
    *count += static_cast<std::uint64_t>(n);
    return n;
  }
};

int run_one(const std::wstring& mode, const std::wstring& payload, const std::wstring& folder) {
  // The payload is mapped and read in place, as setup.exe reads its resource.
  qv::unique_file file(::CreateFileW(payload.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  if (!file) return 10;
  LARGE_INTEGER size{};
  ::GetFileSizeEx(file.get(), &size);
  qv::unique_handle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return 11;
  const char* view = static_cast<const char*>(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) return 12;
  qv::imemstream stream(view, static_cast<std::size_t>(size.QuadPart));

  std::uint64_t bytes = 0;
  double begin = now_seconds();
  bool ok = true;
  if (mode == L"decompress") {
    static char memory[4096];
    boost::iostreams::filtering_istreambuf in;
    in.push(boost::iostreams::bzip2_decompressor(false, 4096), 4096);
    in.push(stream, 4096);
    boost::iostreams::copy(in, counting_sink{&bytes, memory}, 4096);
  } else {
    // "skip" answers every file_begin with skip: the extraction without its file work.
    bool skip = mode == L"skip";
    ok = extract_payload(stream, folder, L"", L"", [&](notification n) {
      if (auto* f = n.get<notification::finish>()) bytes = f->transferred;
      if (skip && n.index() == 2) return notification::result::skip;
      // The writer creates no folder; the installation record does, in the run.
      if (auto* b = n.get<notification::file_begin>()) {
        const std::wstring& d = b->entry.destination;
        ::SHCreateDirectoryExW(nullptr, d.substr(0, d.find_last_of(L'\\')).c_str(), nullptr);
      }
      if (auto* e = n.get<notification::error>()) std::fprintf(stderr, "error %s\n", e->code.message().c_str());
      return notification::result::proceed;
    });
  }
  double seconds = now_seconds() - begin;
  ::UnmapViewOfFile(view);
  std::printf("%.4f %llu %llu %llu\n", seconds, static_cast<unsigned long long>(bytes),
              static_cast<unsigned long long>(peak_working_set()), static_cast<unsigned long long>(size.QuadPart));
  return ok ? 0 : 1;
}

struct measurement {
  double seconds = 0;
  std::uint64_t bytes = 0, peak = 0, input = 0;
};

measurement measure(const std::wstring& self, const wchar_t* mode, const fs::path& payload, const fs::path& folder) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &sa, 0)) throw std::runtime_error("pipe");
  qv::unique_handle reader(read_end), writer(write_end);
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  std::wstring command = L"\"" + self + L"\" --run " + mode + L" \"" + payload.wstring() + L"\" \"" +
                         folder.wstring() + L"\"";
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(0);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    throw std::runtime_error("cannot start a measurement");
  qv::unique_handle process(pi.hProcess), thread(pi.hThread);
  writer.reset();
  std::string output;
  char buffer[256];
  DWORD got = 0;
  while (::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(process.get(), &code);
  measurement m;
  unsigned long long bytes = 0, peak = 0, input = 0;
  if (code != 0 || std::sscanf(output.c_str(), "%lf %llu %llu %llu", &m.seconds, &bytes, &peak, &input) != 4)
    throw std::runtime_error("a measurement failed: " + output);
  m.bytes = bytes;
  m.peak = peak;
  m.input = input;
  return m;
}

std::string mb(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", double(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    if (argc == 5 && std::wstring(argv[1]) == L"--run") return run_one(argv[2], argv[3], argv[4]);

    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    bool keep = argc >= 2 && std::wstring(argv[1]) == L"--keep";  // leaves the payloads for --run
    int first_arg = keep ? 2 : 1;
    fs::path work = argc > first_arg ? fs::path(argv[first_arg]) : fs::path(temp) / "qvbench";
    fs::remove_all(work);
    fs::create_directories(work);

    const int kRepeats = 3;
    for (const payload_spec& spec : {shipped_size(), large_size()}) {
      std::uint64_t decompressed = 0;
      double begin = now_seconds();
      fs::path payload = build_payload(spec, work, decompressed);
      std::printf("%s: %zu entries, %s MB decompressed, %s MB compressed (packed in %.1f s)\n", spec.name,
                  spec.sizes.size(), mb(decompressed).c_str(), mb(fs::file_size(payload)).c_str(),
                  now_seconds() - begin);
      measurement best_d, best_e;
      for (int i = 0; i < kRepeats; ++i) {
        fs::path out = work / ("out" + std::to_string(i));
        measurement d = measure(self, L"decompress", payload, out);
        measurement e = measure(self, L"extract", payload, out);
        fs::remove_all(out);
        if (d.bytes != decompressed || e.bytes != decompressed) throw std::runtime_error("byte count differs");
        if (i == 0 || d.seconds < best_d.seconds) best_d = d;
        if (i == 0 || e.seconds < best_e.seconds) best_e = e;
      }
      double mbytes = double(decompressed) / (1024.0 * 1024.0);
      std::printf("  pure decompression: %.3f s, %.1f MB/s, peak working set %s MB\n", best_d.seconds,
                  mbytes / best_d.seconds, mb(best_d.peak).c_str());
      std::printf("  extract_payload:    %.3f s, %.1f MB/s, peak working set %s MB\n", best_e.seconds,
                  mbytes / best_e.seconds, mb(best_e.peak).c_str());
      std::printf("  ratio extraction / decompression: %.3f\n", best_e.seconds / best_d.seconds);
      std::printf("  peak working set less the mapped payload (%s MB): decompression %s MB, extraction %s MB\n",
                  mb(best_e.input).c_str(), mb(best_d.peak - best_d.input).c_str(),
                  mb(best_e.peak - best_e.input).c_str());
      if (!keep) fs::remove(payload);
    }
    if (!keep) fs::remove_all(work);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "payload_bench: %s\n", e.what());
    return 1;
  }
}
