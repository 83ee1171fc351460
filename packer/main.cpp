// payload_packer <manifest> <output>: packs the files a manifest names into
// the payload archive, as one bzip2 stream. Run at build time under Wine.
#include "packer/packer.hpp"
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: payload_packer <manifest> <output>\n", stderr);
    return 2;
  }
  try {
    std::ifstream manifest(argv[1], std::ios::binary);
    if (!manifest) throw std::runtime_error("cannot read the manifest");
    std::ostringstream text;
    text << manifest.rdbuf();
    auto items = qv::packer::parse_manifest(text.str());
    std::wstring temporary = std::wstring(argv[2]) + L".part";
    {
      std::ofstream out(temporary.c_str(), std::ios::binary | std::ios::trunc);
      if (!out) throw std::runtime_error("cannot create the output");
      auto entries = qv::packer::pack_files(items, out);
      out.close();
      if (!out) throw std::runtime_error("cannot write the output");
      std::printf("payload_packer: %u entries\n", static_cast<unsigned>(entries.size()));
    }
    if (!::MoveFileExW(temporary.c_str(), argv[2], MOVEFILE_REPLACE_EXISTING))
      throw std::runtime_error("cannot replace the output");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "payload_packer: %s\n", e.what());
    return 1;
  }
}
