// Uninstall log merge benchmark: prints figures, checks nothing.
//
//   merge_bench [work folder]
//
// Writes an earlier log of 100,000 entries (folders and files below an
// earlier installation folder, as a long series of updates would leave),
// reads it back with ReadLog, and writes the log of a full installation
// (the 33 files of the shipped payload, its folders, three shortcuts and the
// two registry items) merged with it. A tenth of the earlier entries name
// files that the new installation writes again, so the merge has real
// duplicates to drop. For comparison it times the pairwise path comparison
// that a merge by same_path would make for every pair.
#include "bench/bench_clock.hpp"
#include "record/earlier_install.hpp"
#include "record/install_record.hpp"
#include "record/path_utils.hpp"
#include "support/process_locale.hpp"
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

void add(RecordList& list, ItemKind kind, const std::wstring& path, int entry_kind = -1) {
  auto item = std::make_unique<RecordItem>();
  item->kind = kind;
  item->path = path;
  item->committed = true;
  item->entryKind = entry_kind;
  list.push_back(std::move(item));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  init_process_locale();
  // A short work folder: 100,000 entries of a long one would pass the 16 MB
  // that ReadLog accepts.
  const std::wstring work = argc > 1 ? argv[1] : std::wstring(L"C:\\qvmb");
  ::CreateDirectoryW(work.c_str(), nullptr);
  const std::wstring install = work + L"\\Quorvane Systems\\Tavimora 2";
  const std::wstring log = work + L"\\Uninstall.ulog";
  constexpr std::size_t kEarlier = 100000;

  // The earlier log.
  {
    CInstallRecord earlier;
    for (std::size_t i = 0; i < kEarlier; ++i) {
      if (i % 10 == 0)
        add(earlier.items, ItemKind::File, install + L"\\file" + std::to_wstring(i % 330) + L".dat", 3);
      else if (i % 10 == 1)
        add(earlier.items, ItemKind::Folder, install + L"\\F" + std::to_wstring(i));
      else
        add(earlier.items, ItemKind::File, install + L"\\F" + std::to_wstring(i / 10 * 10 + 1) + L"\\e" +
                                               std::to_wstring(i) + L".tvm", 4);
    }
    ::SetFileAttributesW(log.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!earlier.WriteLog(log, install, work + L"\\Menu")) {
      std::fprintf(stderr, "cannot write the earlier log\n");
      return 1;
    }
  }
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ::GetFileAttributesExW(log.c_str(), GetFileExInfoStandard, &data);

  CInstallRecord record;
  record.productPlaces.productFolders = {install};
  double t0 = now_seconds();
  record.ReadLog(log.c_str());
  double t1 = now_seconds();
  const std::size_t read = record.earlierItems.size();

  // A full installation: its folders, 33 files, shortcuts and registry items.
  add(record.items, ItemKind::Folder, work + L"\\Quorvane Systems");
  add(record.items, ItemKind::Folder, install);
  add(record.items, ItemKind::Folder, install + L"\\Lang");
  for (int i = 0; i < 33; ++i) add(record.items, ItemKind::File, install + L"\\file" + std::to_wstring(i * 10) + L".dat", 3);
  add(record.items, ItemKind::ProgramShortcut, work + L"\\Menu\\Tavimora 2.lnk");
  add(record.items, ItemKind::UninstallShortcut, work + L"\\Menu\\Uninstall Tavimora 2.lnk");
  add(record.items, ItemKind::DesktopShortcut, work + L"\\Desktop\\Tavimora 2.lnk");
  add(record.items, ItemKind::UninstallKey, L"");
  add(record.items, ItemKind::ClassesRootEntries, L"");
  double t2 = now_seconds();
  const bool ok = record.WriteLog(log, install, work + L"\\Menu");
  double t3 = now_seconds();
  const std::size_t written = record.items.size();

  // The pairwise comparison through the file system, per pair.
  const std::wstring a = install + L"\\F11\\e12.tvm", b = install + L"\\file10.dat";
  constexpr int kPairs = 2000;
  double t4 = now_seconds();
  int same = 0;
  for (int i = 0; i < kPairs; ++i) same += same_path(a, b) ? 1 : 0;
  double per_pair = (now_seconds() - t4) / kPairs;
  // The file items of the earlier log compared with every file item of the
  // growing list: about n * n / 2 pairs.
  const double pairs = double(kEarlier) * double(kEarlier) * 0.8 * 0.8 / 2;

  std::printf("earlier log: %zu entries, %.1f MB\n", kEarlier, double(data.nFileSizeLow) / (1 << 20));
  std::printf("  ReadLog:            %.3f s, %zu entries believed\n", t1 - t0, read);
  std::printf("  merge and WriteLog: %.3f s, %zu entries written%s\n", t3 - t2, written, ok ? "" : " (FAILED)");
  std::printf("  same_path per pair: %.1f us; a pairwise merge would take about %.0f s (%d)\n", per_pair * 1e6,
              pairs * per_pair, same);
  ::SetFileAttributesW(log.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(log.c_str());
  ::RemoveDirectoryW(work.c_str());
  return ok ? 0 : 1;
}
