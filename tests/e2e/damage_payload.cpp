// Test tool: makes a copy of setup.exe whose payload directory carries a
// wrong CRC for one file, by replacing resource 260/134 in the copy.
//   e2e_damage_payload <setup.exe> <copy.exe> <file name>
// Exit code 0 when the copy was written; 2 for bad arguments, 3 when the
// payload cannot be read or has no such file, 4 when the copy fails.
#include "tests/e2e/payload_directory.hpp"
#include <windows.h>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  qvtest::payload_archive archive;
  if (!qvtest::read_payload(argv[1], archive)) return 3;
  bool damaged = false;
  for (const qvtest::archive_entry& e : archive.entries)
    if (e.name() == argv[3]) {
      archive.bytes[e.crc_at] = static_cast<char>(archive.bytes[e.crc_at] ^ 1);
      damaged = true;
    }
  if (!damaged) return 3;
  std::string compressed = qvtest::compress_payload(archive.bytes);
  if (!::CopyFileW(argv[1], argv[2], FALSE)) return 4;
  HANDLE update = ::BeginUpdateResourceW(argv[2], FALSE);
  if (!update) return 4;
  const BOOL replaced = ::UpdateResourceW(update, MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), archive.language,
                                          compressed.data(), static_cast<DWORD>(compressed.size()));
  if (!::EndUpdateResourceW(update, !replaced)) return 4;
  return replaced ? 0 : 4;
}
