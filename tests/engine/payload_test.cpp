// The payload extraction under Wine, on archives built with the packer's
// code, writing into scratch folders of the test's own.
#include "engine/payload.hpp"
#include "packer/packer.hpp"
#include "support/handle.hpp"
#include "support/security.hpp"
#include "tests/common/test_support.hpp"
#include "tests/engine/payload_test_util.hpp"
#include <boost/filesystem/exception.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

using namespace payload_test;
using qv::packer::pack;
using qv::packer::packed_file;

namespace {

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::error_code code(compress_error e) { return make_error_code(e); }

class Payload : public ::testing::Test {
protected:
  void SetUp() override { root = qvtest::scratch_folder(L"payload"); }
  void TearDown() override { qvtest::remove_tree(root); }
  std::wstring path(const std::wstring& relative) const { return root + L"\\" + relative; }
  std::wstring root;
};

// Three files: one over two copy blocks long, one empty in the middle, one small.
std::vector<packed_file> three_files() {
  return {file(L"big.bin", L"<InstallPath>", bytes_of(10000, 1)),
          file(L"empty.txt", L"<InstallPath>\\Lang", ""),
          file(L"small.dat", L"<InstallPath>\\Lang\\Deep", bytes_of(100, 2), entry_kind::common_data)};
}

// --- Error category.

TEST(CompressCategory, NamesAndMessages) {
  const std::error_category& category = compress_category();
  EXPECT_EQ(&category, &compress_category());
  EXPECT_STREQ(category.name(), "compress");
  const std::pair<int, const char*> table[] = {{3, "invalid checksum"}, {4, "unknown error"}, {5, "interrupted"},
                                               {6, "bzip2 error"},      {7, "unexpected error"}, {0, "unknown error"},
                                               {8, "unknown error"},    {-1, "unknown error"}};
  for (const auto& [value, message] : table) EXPECT_EQ(category.message(value), message) << value;
  EXPECT_EQ(std::error_code(compress_error::interrupted), std::error_code(5, category));
}

TEST(ErrorCodes, FromExceptionsInOrder) {
  auto code_of = [](auto thrower) {
    try {
      thrower();
    } catch (...) {
      return error_code_from_current_exception();
    }
    return std::error_code();
  };
  EXPECT_EQ(code_of([] { throw boost::iostreams::bzip2_error(boost::iostreams::bzip2::data_error); }), code(compress_error::bzip2_error));
  EXPECT_EQ(code_of([] { throw std::system_error(5, std::system_category()); }),
            std::error_code(5, std::system_category()));
  EXPECT_EQ(code_of([] {
              throw boost::filesystem::filesystem_error(
                  "x", boost::system::error_code(ERROR_ACCESS_DENIED, boost::system::system_category()));
            }),
            std::error_code(ERROR_ACCESS_DENIED, std::system_category()));
  EXPECT_EQ(code_of([] {
              throw boost::filesystem::filesystem_error(
                  "x", boost::system::error_code(ENOSPC, boost::system::generic_category()));
            }),
            std::error_code(ENOSPC, std::generic_category()));
  EXPECT_EQ(code_of([] { throw std::runtime_error("x"); }), code(compress_error::unexpected_error));
  EXPECT_EQ(code_of([] { throw 0x80070005L; }), code(compress_error::unexpected_error));
}

// --- CRC.

TEST_F(Payload, FileCrcIsTheStandardCrc32) {
  qvtest::write_file(path(L"check"), "123456789");
  EXPECT_EQ(file_crc(path(L"check")), 0xCBF43926u);
  qvtest::write_file(path(L"empty"), "");
  EXPECT_EQ(file_crc(path(L"empty")), 0u);
  std::string big = bytes_of(3 * 4096 + 17, 9);
  qvtest::write_file(path(L"big"), big);
  EXPECT_EQ(file_crc(path(L"big")), payload_format::crc32_update(0, big.data(), big.size()));
  try {
    file_crc(path(L"missing"));
    FAIL() << "no error for a missing file";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code(), std::error_code(ERROR_FILE_NOT_FOUND, std::system_category()));
  }
}

// --- Destination resolution (the shell's folders replaced by a table).

struct fake_shell {
  std::map<int, std::wstring> folders = {
      {CSIDL_COMMON_DESKTOPDIRECTORY, L"C:\\Public\\Desktop"},
      {CSIDL_DESKTOPDIRECTORY, L"C:\\Me\\Desktop"},
      {CSIDL_COMMON_APPDATA, L"C:\\ProgramData"},
      {CSIDL_APPDATA, L"C:\\Me\\Roaming"},
      {CSIDL_PROGRAM_FILES, L"C:\\Program Files"},
      {CSIDL_PROGRAM_FILES_COMMON, L"C:\\Program Files\\Common Files"},
      {CSIDL_COMMON_DOCUMENTS, L"C:\\Public\\Documents"},
      {CSIDL_PERSONAL, L"C:\\Me\\Documents"},
      {CSIDL_WINDOWS, L"C:\\Windows"},
      {CSIDL_SYSTEM, L"C:\\Windows\\system32"},
  };
  folder_lookup lookup() {
    return [this](int csidl) {
      auto it = folders.find(csidl);
      return it == folders.end() ? std::wstring() : it->second;
    };
  }
};

struct resolve_case {
  const wchar_t* folder;
  const wchar_t* expected;
  std::vector<std::wstring> shared;
};

TEST(ResolveDestination, PlaceholderTable) {
  fake_shell shell;
  destination_folders folders{L"D:\\Install", L"Tavimora Examples", L"D:\\Temp\\quorvane_{x}"};
  const resolve_case cases[] = {
      {L"<InstallPath>", L"D:\\Install", {}},
      {L"<InstallPath>\\Lang", L"D:\\Install\\Lang", {}},
      {L"<InstallPath>/a//b\\", L"D:\\Install\\a\\b", {}},
      {L"<SamplePath>", L"C:\\Public\\Desktop\\Tavimora Examples", {L"C:\\Public\\Desktop\\Tavimora Examples"}},
      {L"<SamplePath>\\More", L"C:\\Public\\Desktop\\Tavimora Examples\\More",
       {L"C:\\Public\\Desktop\\Tavimora Examples"}},
      {L"<ProgramFiles>\\Q", L"C:\\Program Files\\Q", {}},
      {L"<ProgramCommon>", L"C:\\Program Files\\Common Files", {}},
      {L"<CommonData>\\Quorvane Systems\\Tavimora 2", L"C:\\ProgramData\\Quorvane Systems\\Tavimora 2",
       {L"C:\\ProgramData\\Quorvane Systems", L"C:\\ProgramData\\Quorvane Systems\\Tavimora 2"}},
      {L"<UserData>\\Q", L"C:\\Me\\Roaming\\Q", {}},
      {L"<CommonDocuments>\\Q", L"C:\\Public\\Documents\\Q", {L"C:\\Public\\Documents\\Q"}},
      {L"<Documents>\\Q", L"C:\\Me\\Documents\\Q", {}},
      {L"<CommonDesktop>\\Q", L"C:\\Public\\Desktop\\Q", {L"C:\\Public\\Desktop\\Q"}},
      {L"<Desktop>", L"C:\\Me\\Desktop", {}},
      {L"<WinDir>\\Fonts", L"C:\\Windows\\Fonts", {}},
      {L"<System>", L"C:\\Windows\\system32", {}},
      {L"<Temporary>", L"D:\\Temp\\quorvane_{x}", {}},
      // No placeholder: unchanged.
      {L"", L"", {}},
      {L"E:\\Absolute\\Dir", L"E:\\Absolute\\Dir", {}},
      {L"relative\\dir", L"relative\\dir", {}},
      {L"sub\\<InstallPath>", L"sub\\<InstallPath>", {}},
      {L"\\<InstallPath>", L"\\<InstallPath>", {}},
      {L"<InstallPath", L"<InstallPath", {}},
      {L"<InstallPath>x\\y", L"<InstallPath>x\\y", {}},
  };
  for (const resolve_case& c : cases) {
    shared_folder_list shared;
    EXPECT_EQ(resolve_destination(c.folder, folders, shared, shell.lookup()), c.expected) << c.folder;
    std::vector<std::wstring> paths;
    for (const shared_folder& s : shared) {
      paths.push_back(s.path);
      EXPECT_FALSE(s.done);
    }
    EXPECT_EQ(paths, c.shared) << c.folder;
  }
}

TEST(ResolveDestination, SampleAndTemporaryRules) {
  fake_shell shell;
  shared_folder_list shared;
  // Empty sample folder: straight onto the all-users desktop, nothing shared.
  EXPECT_EQ(resolve_destination(L"<SamplePath>", {L"D:\\I", L"", L""}, shared, shell.lookup()), L"C:\\Public\\Desktop");
  // Absolute: that folder, nothing shared.
  EXPECT_EQ(resolve_destination(L"<SamplePath>\\x", {L"D:\\I", L"F:\\Samples", L""}, shared, shell.lookup()),
            L"F:\\Samples\\x");
  EXPECT_TRUE(shared.empty());
  // A rooted folder without a drive is not absolute.
  EXPECT_EQ(resolve_destination(L"<SamplePath>", {L"D:\\I", L"\\Samples", L""}, shared, shell.lookup()),
            L"C:\\Public\\Desktop\\Samples");
  // The same shared folder is listed once.
  resolve_destination(L"<SamplePath>", {L"D:\\I", L"\\Samples", L""}, shared, shell.lookup());
  EXPECT_EQ(shared.size(), 1u);
  // Temporary: the install folder when no temporary folder is given.
  EXPECT_EQ(resolve_destination(L"<Temporary>\\t", {L"D:\\I", L"", L""}, shared, shell.lookup()), L"D:\\I\\t");
}

TEST(ResolveDestination, FallbacksAndMissingFolders) {
  fake_shell shell;
  destination_folders folders{L"D:\\I", L"", L""};
  shared_folder_list shared;
  shell.folders.erase(CSIDL_COMMON_APPDATA);
  shell.folders.erase(CSIDL_COMMON_DESKTOPDIRECTORY);
  shell.folders.erase(CSIDL_COMMON_DOCUMENTS);
  EXPECT_EQ(resolve_destination(L"<CommonData>\\Q", folders, shared, shell.lookup()), L"C:\\Me\\Roaming\\Q");
  EXPECT_EQ(resolve_destination(L"<SamplePath>", folders, shared, shell.lookup()), L"C:\\Me\\Desktop");
  EXPECT_EQ(resolve_destination(L"<CommonDesktop>", folders, shared, shell.lookup()), L"C:\\Me\\Desktop");
  EXPECT_EQ(resolve_destination(L"<CommonDocuments>", folders, shared, shell.lookup()), L"C:\\Me\\Documents");
  shell.folders.clear();
  const wchar_t* unresolvable[] = {L"<CommonData>", L"<ProgramFiles>", L"<UserData>", L"<SamplePath>",
                                   L"<System>",     L"<Frobnicate>",   L"<>\\x",      L"<InstallPath >",
                                   // Placeholders match with case: these are unknown ones.
                                   L"<installpath>\\Lang", L"<INSTALLPATH>", L"<samplepath>"};
  for (const wchar_t* folder : unresolvable) {
    try {
      resolve_destination(folder, folders, shared, shell.lookup());
      ADD_FAILURE() << "resolved " << qvtest::narrow(folder);
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code(), code(compress_error::unexpected_error)) << qvtest::narrow(folder);
    }
  }
  // An empty install folder names no folder either.
  EXPECT_THROW(resolve_destination(L"<InstallPath>", {L"", L"", L""}, shared, shell.lookup()), std::system_error);
}

TEST(ResolveDestination, ShellFolders) {
  // Wine knows every folder the table uses.
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_COMMON_APPDATA, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_WINDOWS})
    EXPECT_FALSE(shell_folder(csidl).empty()) << csidl;
}

// --- Extraction.

TEST_F(Payload, ZeroEntriesEndRightAfterTheDirectory) {
  recorder r;
  ASSERT_TRUE(extract(pack({}), r, root));
  ASSERT_EQ(r.indices(), (std::vector<std::size_t>{start, progress, finish}));
  EXPECT_EQ(r.events[1].a, 12u);
  EXPECT_EQ(r.events[1].b, 12u);
  EXPECT_EQ(r.events[2].a, 12u);
  EXPECT_EQ(r.events[2].b, 12u);
}

TEST_F(Payload, NotificationSequenceOfAGoodArchive) {
  std::vector<packed_file> files = three_files();
  std::uint64_t directory = 0, total = 0;
  {
    std::vector<payload_entry> entries;
    for (auto& f : files) entries.push_back(f.entry);
    directory = payload_format::write_directory(entries).size();
    total = directory + 10000 + 0 + 100;
  }
  recorder r;
  ASSERT_TRUE(extract(pack(files), r, root));

  ASSERT_GE(r.events.size(), 3u);
  EXPECT_EQ(r.events.front().index, start);
  EXPECT_EQ(r.events.back().index, finish);
  EXPECT_EQ(r.events.back().a, total);
  EXPECT_EQ(r.events.back().b, total);
  EXPECT_EQ(r.count(error), 0u);

  // Progress: first at (directory_size, total), monotonic, at most one block a step, last at (total, total).
  std::vector<std::uint64_t> positions;
  for (const event& e : r.events)
    if (e.index == progress) {
      positions.push_back(e.a);
      EXPECT_EQ(e.b, total);
    }
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.front(), directory);
  EXPECT_EQ(positions.back(), total);
  for (std::size_t i = 1; i < positions.size(); ++i) {
    EXPECT_GE(positions[i], positions[i - 1]);
    EXPECT_LE(positions[i] - positions[i - 1], 4096u);
  }
  ASSERT_EQ(r.events[1].index, progress);

  // file_begin and file_end per entry, in order, with full paths.
  std::vector<std::pair<std::size_t, std::wstring>> files_seen;
  for (const event& e : r.events)
    if (e.index == file_begin || e.index == file_end) files_seen.push_back({e.index, e.destination});
  const std::wstring names[] = {path(L"big.bin"), path(L"Lang\\empty.txt"), path(L"Lang\\Deep\\small.dat")};
  ASSERT_EQ(files_seen.size(), 6u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(files_seen[2 * i], std::make_pair(std::size_t(file_begin), names[i]));
    EXPECT_EQ(files_seen[2 * i + 1], std::make_pair(std::size_t(file_end), names[i]));
  }
  EXPECT_EQ(qvtest::read_file(names[0]), files[0].bytes);
  EXPECT_EQ(qvtest::read_file(names[1]), "");
  EXPECT_EQ(qvtest::read_file(names[2]), files[2].bytes);
  // The kind travels through unchanged.
  for (const event& e : r.events) {
    if (e.index == file_begin && e.destination == names[2]) {
      EXPECT_EQ(e.kind, 3u);
    }
  }
}

TEST_F(Payload, FoldersWithoutPlaceholderAreUsedAsTheyAre) {
  std::wstring cwd(MAX_PATH, L'\0');
  cwd.resize(::GetCurrentDirectoryW(MAX_PATH, &cwd[0]));
  ASSERT_TRUE(::SetCurrentDirectoryW(root.c_str()));
  recorder r;
  bool ok = extract(pack({file(L"a.txt", root + L"\\abs", "A"), file(L"b.txt", L"rel\\dir", "B")}), r,
                    path(L"install"));
  ::SetCurrentDirectoryW(cwd.c_str());
  ASSERT_TRUE(ok) << r.error_code().message();
  EXPECT_EQ(qvtest::read_file(path(L"abs\\a.txt")), "A");
  EXPECT_EQ(qvtest::read_file(path(L"rel\\dir\\b.txt")), "B");
  EXPECT_FALSE(exists(path(L"install")));
}

TEST_F(Payload, SampleAndTemporaryFolders) {
  // Absolute sample folder, and "<Temporary>" with an empty temporary folder.
  recorder r;
  ASSERT_TRUE(extract(pack({file(L"s.tvm", L"<SamplePath>", "S", entry_kind::sample),
                            file(L"t.tmp", L"<Temporary>\\t", "T", entry_kind::temporary)}),
                      r, path(L"install"), path(L"samples")));
  EXPECT_EQ(qvtest::read_file(path(L"samples\\s.tvm")), "S");
  EXPECT_EQ(qvtest::read_file(path(L"install\\t\\t.tmp")), "T");
  // With a temporary folder it goes there.
  recorder r2;
  ASSERT_TRUE(extract(pack({file(L"t.tmp", L"<Temporary>", "T2", entry_kind::temporary)}), r2, path(L"install"),
                      L"", path(L"temp")));
  EXPECT_EQ(qvtest::read_file(path(L"temp\\t.tmp")), "T2");
}

TEST_F(Payload, WriterGrantsTheSharedFoldersItCreates) {
  // The all-users desktop and data folders of a fake shell inside the scratch folder.
  fake_shell shell;
  shell.folders[CSIDL_COMMON_DESKTOPDIRECTORY] = path(L"Public Desktop");
  shell.folders[CSIDL_COMMON_APPDATA] = path(L"ProgramData");
  std::string archive = qv::packer::build_archive(
      {file(L"one.tvm", L"<SamplePath>", "1", entry_kind::sample),
       file(L"two.dat", L"<CommonData>\\Quorvane Systems\\Tavimora 2", "2", entry_kind::common_data),
       file(L"three.tvm", L"<SamplePath>", "3", entry_kind::sample)});
  for (const wchar_t* sample : {L"", L"Tavimora Examples"}) {
    recorder r;
    payload_writer writer({path(L"install"), sample, L""}, r.handler(), shell.lookup());
    feed(writer, archive);
    std::wstring samples = *sample ? path(L"Public Desktop\\Tavimora Examples") : path(L"Public Desktop");
    EXPECT_EQ(qvtest::read_file(samples + L"\\one.tvm"), "1");
    EXPECT_EQ(qvtest::read_file(samples + L"\\three.tvm"), "3");
    EXPECT_EQ(qvtest::read_file(path(L"ProgramData\\Quorvane Systems\\Tavimora 2\\two.dat")), "2");
    std::vector<std::wstring> granted;
    for (const shared_folder& s : writer.shared_folders()) {
      EXPECT_TRUE(s.done) << qvtest::narrow(s.path);
      granted.push_back(s.path);
    }
    std::vector<std::wstring> expected;
    if (*sample) expected.push_back(samples);
    expected.push_back(path(L"ProgramData\\Quorvane Systems"));
    expected.push_back(path(L"ProgramData\\Quorvane Systems\\Tavimora 2"));
    EXPECT_EQ(granted, expected);
  }
}

TEST_F(Payload, SkipReplyConsumesTheEntry) {
  std::vector<packed_file> files = {file(L"a.bin", L"<InstallPath>", bytes_of(5000, 3)),
                                    file(L"b.bin", L"<InstallPath>", bytes_of(9000, 4)),
                                    file(L"c.bin", L"<InstallPath>", bytes_of(3000, 5))};
  recorder r;
  r.reply = [&](const notification& n) {
    auto* begin = n.get<notification::file_begin>();
    return begin && begin->entry.destination == path(L"b.bin") ? notification::result::skip
                                                                : notification::result::proceed;
  };
  ASSERT_TRUE(extract(pack(files), r, root));
  EXPECT_FALSE(exists(path(L"b.bin")));
  EXPECT_EQ(qvtest::read_file(path(L"a.bin")), files[0].bytes);
  EXPECT_EQ(qvtest::read_file(path(L"c.bin")), files[2].bytes);
  EXPECT_EQ(r.count(file_begin), 3u);
  EXPECT_EQ(r.count(file_end), 2u);
  for (const event& e : r.events) {
    if (e.index == file_end) {
      EXPECT_NE(e.destination, path(L"b.bin"));
    }
  }
  // Progress runs through the skipped bytes to the end.
  std::uint64_t last = 0;
  std::size_t steps_in_b = 0;
  bool in_b = false;
  for (const event& e : r.events) {
    if (e.index == file_begin) in_b = e.destination == path(L"b.bin");
    if (e.index == progress) {
      EXPECT_LE(e.a - last, 4096u);
      last = e.a;
      steps_in_b += in_b;
    }
  }
  EXPECT_GE(steps_in_b, 3u);
  EXPECT_EQ(last, r.events.back().b);
}

TEST_F(Payload, AbortEndsWithInterrupted) {
  // Abort at the directory's progress, at a file_begin, at a file's progress, at a file_end.
  const std::function<bool(const notification&, int&)> abort_when[] = {
      [](const notification& n, int&) { return n.index() == progress; },
      [](const notification& n, int& seen) { return n.index() == file_begin && ++seen == 2; },
      [](const notification& n, int& seen) { return n.index() == progress && ++seen == 3; },
      [](const notification& n, int&) { return n.index() == file_end; },
  };
  for (const auto& when : abort_when) {
    std::wstring folder = qvtest::scratch_folder(L"abort");
    recorder r;
    int seen = 0;
    r.reply = [&](const notification& n) {
      return when(n, seen) ? notification::result::abort : notification::result::proceed;
    };
    EXPECT_FALSE(extract(pack(three_files()), r, folder));
    EXPECT_EQ(r.count(error), 1u);
    EXPECT_EQ(r.events.back().index, error);
    EXPECT_EQ(r.error_code(), code(compress_error::interrupted));
    EXPECT_EQ(r.count(finish), 0u);
    qvtest::remove_tree(folder);
  }
}

TEST_F(Payload, ReadOnlyDestinationIsOverwritten) {
  qvtest::write_file(path(L"a.bin"), "old contents");
  ASSERT_TRUE(::SetFileAttributesW(path(L"a.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  recorder r;
  ASSERT_TRUE(extract(pack({file(L"a.bin", L"<InstallPath>", "new")}), r, root)) << r.error_code().message();
  EXPECT_EQ(qvtest::read_file(path(L"a.bin")), "new");
}

TEST_F(Payload, WrongCrcFailsWithTheFileClosed) {
  std::vector<packed_file> files = three_files();
  files[0].entry.crc ^= 0x00010000;
  recorder r;
  EXPECT_FALSE(extract(pack(files), r, root));
  EXPECT_EQ(r.error_code(), code(compress_error::invalid_checksum));
  EXPECT_EQ(r.count(error), 1u);
  EXPECT_EQ(r.count(file_end), 0u);
  // The file stays, complete and closed: nobody holds it any more.
  EXPECT_EQ(qvtest::read_file(path(L"big.bin")), files[0].bytes);
  qv::unique_handle h(::CreateFileW(path(L"big.bin").c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(h.valid()) << ::GetLastError();
  // Nothing after the failing entry was begun.
  EXPECT_EQ(r.count(file_begin), 1u);
}

TEST_F(Payload, ByteCountMustMatchTheDirectory) {
  std::vector<packed_file> files = three_files();
  std::string archive = qv::packer::build_archive(files);
  struct variant {
    const char* name;
    std::string data;
    bool last_file_complete;
  } variants[] = {
      {"ends early", archive.substr(0, archive.size() - 30), false},
      {"ends in the directory", archive.substr(0, 40), false},
      {"ends inside directory_size", archive.substr(0, 5), false},
      {"empty", "", false},
      {"extra bytes", archive + "tail", true},
  };
  for (const variant& v : variants) {
    std::wstring folder = qvtest::scratch_folder(L"count");
    recorder r;
    EXPECT_FALSE(extract(qv::packer::compress(v.data), r, folder)) << v.name;
    EXPECT_EQ(r.error_code(), code(compress_error::unexpected_error)) << v.name;
    EXPECT_EQ(r.count(error), 1u) << v.name;
    EXPECT_EQ(r.count(finish), 0u) << v.name;
    if (v.last_file_complete) {
      EXPECT_EQ(r.count(file_end), 3u) << v.name;
      EXPECT_EQ(qvtest::read_file(folder + L"\\Lang\\Deep\\small.dat"), files[2].bytes);
    }
    qvtest::remove_tree(folder);
  }
}

TEST_F(Payload, CorruptBzip2Data) {
  std::string good = pack(three_files());
  // A damaged block header is found before any byte comes out; a damaged
  // end of stream (its combined CRC) after every file was written.
  std::string header = good;
  header[6] ^= 0x10;
  std::string end = good;
  end[end.size() - 2] ^= 0x01;
  std::string garbage = "BZh9 this is not a bzip2 stream at all, only text that starts like one";
  for (const std::string& data : {header, end, garbage, std::string("plain text")}) {
    SCOPED_TRACE(data.substr(0, 12));
    std::wstring folder = qvtest::scratch_folder(L"bzip2");
    recorder r;
    EXPECT_FALSE(extract(data, r, folder));
    EXPECT_EQ(r.error_code(), code(compress_error::bzip2_error));
    EXPECT_EQ(r.count(error), 1u);
    qvtest::remove_tree(folder);
  }
}

TEST_F(Payload, MissingResourceGivesAnEmptyStream) {
  // This test program carries no payload resource.
  std::unique_ptr<qv::imemstream> stream = open_payload();
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->size(), 0u);
  recorder r;
  EXPECT_FALSE(extract_payload(*stream, root, L"", L"", r.handler()));
  EXPECT_EQ(r.indices(), (std::vector<std::size_t>{start, error}));
  EXPECT_EQ(r.error_code(), code(compress_error::unexpected_error));
}

TEST_F(Payload, UnparsableDirectory) {
  std::vector<packed_file> files = three_files();
  std::string archive = qv::packer::build_archive(files);
  std::uint64_t directory = payload_format::read_directory_size(archive.data());
  auto with_u32 = [&](std::size_t offset, std::uint32_t v) {
    std::string a = archive;
    for (int i = 0; i < 4; ++i) a[offset + i] = static_cast<char>(v >> (8 * i));
    return a;
  };
  auto with_u64 = [&](std::size_t offset, std::uint64_t v) {
    std::string a = archive;
    for (int i = 0; i < 8; ++i) a[offset + i] = static_cast<char>(v >> (8 * i));
    return a;
  };
  const std::pair<const char*, std::string> cases[] = {
      {"count beyond the directory", with_u32(8, 4)},
      {"huge count", with_u32(8, 0xFFFFFFFFu)},
      {"count below the entries", with_u32(8, 2)},
      {"source length beyond the directory", with_u32(12, 0x7FFFFFFFu)},
      {"source length one too long", with_u32(12, static_cast<std::uint32_t>(files[0].entry.source.size() + 1))},
      {"directory_size below the header", with_u64(0, 4)},
      {"directory_size zero", with_u64(0, 0)},
      {"directory_size past the entries", with_u64(0, directory + 8)},
      {"directory_size short of the entries", with_u64(0, directory - 1)},
      {"directory_size enormous", with_u64(0, 0x0100000000000000ull)},
      {"sizes overflow the total", with_u64(12 + 4 + 2 * files[0].entry.source.size() + 4 +
                                                2 * files[0].entry.destination.size() + 4,
                                            0xFFFFFFFFFFFFFFF0ull)},
  };
  for (const auto& [name, data] : cases) {
    std::wstring folder = qvtest::scratch_folder(L"directory");
    recorder r;
    EXPECT_FALSE(extract(qv::packer::compress(data), r, folder)) << name;
    EXPECT_EQ(r.indices(), (std::vector<std::size_t>{start, error})) << name;
    EXPECT_EQ(r.error_code(), code(compress_error::unexpected_error)) << name;
    EXPECT_FALSE(exists(folder + L"\\big.bin")) << name;
    qvtest::remove_tree(folder);
  }
}

TEST_F(Payload, UnknownPlaceholderWritesNothing) {
  recorder r;
  EXPECT_FALSE(extract(pack({file(L"a.txt", L"<InstallPath>", "A"), file(L"b.txt", L"<Elsewhere>\\x", "B")}), r,
                       root));
  EXPECT_EQ(r.indices(), (std::vector<std::size_t>{start, error}));
  EXPECT_EQ(r.error_code(), code(compress_error::unexpected_error));
  EXPECT_FALSE(exists(path(L"a.txt")));
  EXPECT_FALSE(exists(path(L"x")));
}

TEST_F(Payload, ZeroLengthEntriesAtTheVeryEnd) {
  recorder r;
  ASSERT_TRUE(extract(pack({file(L"a.txt", L"<InstallPath>", "A"), file(L"e1", L"<InstallPath>\\z", ""),
                            file(L"e2", L"<InstallPath>", "")}),
                      r, root))
      << r.error_code().message();
  EXPECT_EQ(r.count(file_begin), 3u);
  EXPECT_EQ(r.count(file_end), 3u);
  EXPECT_TRUE(exists(path(L"z\\e1")));
  EXPECT_TRUE(exists(path(L"e2")));
  EXPECT_EQ(r.events.back().index, finish);
  // Only zero-length entries: created too.
  recorder r2;
  ASSERT_TRUE(extract(pack({file(L"only", L"<InstallPath>\\o", "")}), r2, root));
  EXPECT_TRUE(exists(path(L"o\\only")));
  EXPECT_EQ(r2.indices(), (std::vector<std::size_t>{start, progress, file_begin, progress, file_end, finish}));
}

TEST_F(Payload, HandlerFailuresAreReportedOnce) {
  // A grant that fails inside the handler (a bare status code), and a plain exception.
  const std::function<void()> failures[] = {
      [this] { qv::grant_access(path(L"no such folder\\no such file"), 0x13019F, 0); },
      [] { throw std::runtime_error("handler failed"); },
  };
  for (const auto& fail : failures) {
    recorder r;
    r.reply = [&](const notification& n) {
      if (n.index() == file_end) fail();
      return notification::result::proceed;
    };
    EXPECT_FALSE(extract(pack(three_files()), r, root));
    EXPECT_EQ(r.count(error), 1u);
    EXPECT_EQ(r.error_code(), code(compress_error::unexpected_error));
  }
  // A handler that fails on start: reported the same way.
  recorder r;
  r.reply = [](const notification& n) -> notification::result {
    if (n.index() == start) throw std::runtime_error("no");
    return notification::result::proceed;
  };
  EXPECT_FALSE(extract(pack(three_files()), r, root));
  EXPECT_EQ(r.indices(), (std::vector<std::size_t>{start, error}));
}

TEST_F(Payload, FolderThatCannotBeCreated) {
  // A file stands where a folder is needed.
  qvtest::write_file(path(L"blocker"), "x");
  recorder r;
  EXPECT_FALSE(extract(pack({file(L"a.txt", L"<InstallPath>\\blocker\\sub", "A")}), r, root));
  EXPECT_EQ(r.count(error), 1u);
  EXPECT_EQ(r.error_code().category(), std::system_category()) << r.error_code().message();
  EXPECT_NE(r.error_code().value(), 0);
}

TEST_F(Payload, DestinationThatCannotBeOpened) {
  // A folder stands where the file goes.
  ASSERT_TRUE(::CreateDirectoryW(path(L"a.txt").c_str(), nullptr));
  recorder r;
  EXPECT_FALSE(extract(pack({file(L"a.txt", L"<InstallPath>", "A")}), r, root));
  EXPECT_EQ(r.count(error), 1u);
  EXPECT_EQ(r.error_code(), std::error_code(ERROR_ACCESS_DENIED, std::system_category()))
      << r.error_code().category().name() << " " << r.error_code().value();
}

TEST_F(Payload, VerifyRewindsAGoodStream) {
  std::string good = pack(three_files());
  qv::imemstream stream(good.data(), good.size());
  ASSERT_TRUE(verify_payload(stream));
  EXPECT_EQ(stream.tellg(), 0);
  recorder r;
  EXPECT_TRUE(extract_payload(stream, root, L"", L"", r.handler()));
  // Corrupt data raises the bzip2 error to the caller.
  std::string bad = good;
  bad[bad.size() / 2] ^= 0x55;
  qv::imemstream bad_stream(bad.data(), bad.size());
  EXPECT_THROW(verify_payload(bad_stream), boost::iostreams::bzip2_error);
}

// --- A file held open by another process when it is read back.

class HeldFile : public Payload {
protected:
  // Extracts an archive whose first file is held by a helper process,
  // without read sharing, for `hold_ms` from the moment it is fully written.
  bool run(DWORD hold_ms, recorder& r, DWORD& elapsed_ms) {
    std::vector<packed_file> files = {file(L"held.bin", L"<InstallPath>", bytes_of(6000, 7)),
                                      file(L"next.bin", L"<InstallPath>", bytes_of(100, 8))};
    std::wstring event_name = L"qvtest-held-" + std::to_wstring(::GetCurrentProcessId());
    qv::unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
    std::unique_ptr<qvtest::child_process> helper;
    std::uint64_t end_of_first = 0;
    r.reply = [&](const notification& n) {
      if (auto* p = n.get<notification::progress>()) {
        if (end_of_first == 0) end_of_first = p->position + 6000;  // the directory's progress
        else if (p->position == end_of_first && !helper) {
          std::wstring exe = qvtest::binary_dir() + L"\\tests\\engine\\engine_hold_file.exe";
          helper = std::make_unique<qvtest::child_process>(qvtest::quote(exe) + L" " + qvtest::quote(path(L"held.bin")) +
                                                           L" " + std::to_wstring(hold_ms) + L" " + event_name);
          EXPECT_TRUE(helper->started());
          EXPECT_EQ(::WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);
        }
      }
      return notification::result::proceed;
    };
    DWORD begin = ::GetTickCount();
    bool ok = extract(pack(files), r, root);
    elapsed_ms = ::GetTickCount() - begin;
    EXPECT_TRUE(helper != nullptr);
    if (helper) {
      EXPECT_EQ(helper->wait(20000), 0);
    }
    return ok;
  }
};

TEST_F(HeldFile, ReleasedWithinTheRetriesSucceeds) {
  recorder r;
  DWORD elapsed = 0;
  ASSERT_TRUE(run(1500, r, elapsed)) << r.error_code().message();
  EXPECT_EQ(r.count(file_end), 2u);
  EXPECT_GE(elapsed, 1500u);
}

TEST_F(HeldFile, HeldLongerFailsWithSharingViolation) {
  recorder r;
  DWORD elapsed = 0;
  EXPECT_FALSE(run(6000, r, elapsed));
  EXPECT_EQ(r.error_code(), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
  EXPECT_EQ(r.count(error), 1u);
  // Three retries a second apart.
  EXPECT_GE(elapsed, 2900u);
  EXPECT_LT(elapsed, 5900u);
}

}  // namespace
