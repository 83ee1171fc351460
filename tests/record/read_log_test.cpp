// Reading an earlier uninstall log: how tolerant the reader is, where it
// stops, and that damaged files never make it read past what they hold.
#include "record/earlier_install.hpp"
#include "record/install_record.hpp"
#include "tests/common/test_support.hpp"
#include "tests/record/record_test_support.hpp"
#include <gtest/gtest.h>
#include <algorithm>
#include <cwchar>
#include <random>

using rt::item_view;

namespace {

const std::wstring kWarning = L"// ############ WARNING: Do not delete or modify this file. ############\r\n";

std::wstring header(const std::wstring& install, const std::wstring& menu, const std::wstring& product = L"Tavimora 2.20") {
  return L"// Uninstall Log File v1\r\n" + kWarning + L"// Install " + product + L"\r\n// Install Path : " + install +
         L"\r\n// Shortcut Path : " + menu + L"\r\n// ---------------\r\n";
}

std::string ansi(const std::wstring& ascii_text) { return std::string(ascii_text.begin(), ascii_text.end()); }

struct expectation {
  std::wstring version;
  std::wstring install;
  std::wstring menu;
  std::vector<item_view> items;
};

struct read_case {
  const char* name;
  std::string bytes;
  expectation expected;
};

const item_view kA{ItemKind::Folder, -1, true, L"C:\\A"};
const item_view kB{ItemKind::File, 1, true, L"C:\\A\\b.exe"};
const item_view kC{ItemKind::ProgramShortcut, -1, false, L""};
const std::wstring kAline = L"0000:00ff:1 -- C:\\A\r\n";
const std::wstring kBline = L"0001:0101:1 -- C:\\A\\b.exe\r\n";

class ReadLog : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    dir_ = new std::wstring(qvtest::scratch_folder(L"readlog"));
    ::CreateDirectoryW((*dir_ + L"\\Menu").c_str(), nullptr);
  }
  static void TearDownTestSuite() {
    qvtest::remove_tree(*dir_);
    delete dir_;
  }
  static std::wstring dir() { return *dir_; }
  static std::wstring menu() { return *dir_ + L"\\Menu"; }

  // Writes `bytes` as a log and reads it into a fresh record.
  static void read(const std::string& bytes, CInstallRecord& record) {
    const std::wstring log = dir() + L"\\Uninstall.ulog";
    qvtest::write_file(log, bytes);
    record.productPlaces = rt::whole_drives();
    record.ReadLog(log.c_str());
  }

private:
  static std::wstring* dir_;
};
std::wstring* ReadLog::dir_ = nullptr;

}  // namespace

TEST_F(ReadLog, ToleranceTable) {
  const std::wstring h = header(dir(), menu());
  const expectation full{L"Tavimora 2.20", dir(), menu(), {kA, kB}};
  const expectation first_only{L"Tavimora 2.20", dir(), menu(), {kA}};
  const expectation header_only{L"Tavimora 2.20", dir(), menu(), {}};
  const expectation nothing{L"", L"", L"", {}};
  const std::wstring long_path_511 = L"C:\\" + std::wstring(511 - 17 - 3, L'x');  // "0002:0101:1 -- " + path + CR LF = 511 units
  const std::wstring long_path_512 = long_path_511 + L"y";

  const std::vector<read_case> cases = {
      {"UTF-16 with byte-order mark", rt::utf16_file(h + kAline + kBline), full},
      {"ANSI without byte-order mark", ansi(h + kAline + kBline), full},
      {"code units holding the byte 0x0A", rt::utf16_file(h + L"0000:0101:1 -- C:\\\u010A\u0A0D\u0A0A.txt\r\n" + kBline),
       {L"Tavimora 2.20", dir(), menu(), {{ItemKind::File, 1, true, L"C:\\\u010A\u0A0D\u0A0A.txt"}, kB}}},
      {"no final CR LF", rt::utf16_file(h + kAline + L"0001:0101:1 -- C:\\A\\b.exe"), full},
      {"no final CR LF, ANSI", ansi(h + kAline + L"0001:0101:1 -- C:\\A\\b.exe"), full},
      {"a blank line ends the entries", rt::utf16_file(h + kAline + L"\r\n" + kBline), first_only},
      {"a line of white space ends the entries", rt::utf16_file(h + kAline + L"  \t \r\n" + kBline), first_only},
      {"extra comment lines after the header", rt::utf16_file(h + L"// a note\r\n//another\r\n" + kAline + kBline), full},
      {"comment lines between entries", rt::utf16_file(h + kAline + L"// between\r\n" + kBline), full},
      {"extra blanks around the colons", rt::utf16_file(h + L"  0000 :  00ff :\t1   --   C:\\A\r\n" + kBline), full},
      {"\"--\" glued to the path", rt::utf16_file(h + kAline + L"0001:0101:1 --C:\\A\\b.exe\r\n"), first_only},
      {"\"--\" glued to the state", rt::utf16_file(h + kAline + L"0001:0101:1-- C:\\A\\b.exe\r\n"), full},
      {"an empty path", rt::utf16_file(h + L"0000:02ff:0 -- \r\n" + kAline),
       {L"Tavimora 2.20", dir(), menu(), {kC, kA}}},
      {"an empty path without its blank", rt::utf16_file(h + L"0000:02ff:0 --\r\n" + kAline),
       {L"Tavimora 2.20", dir(), menu(), {kC, kA}}},
      {"a kind of 7", rt::utf16_file(h + kAline + L"0001:07ff:1 -- C:\\A\\b.exe\r\n" + kBline), first_only},
      {"a negative code", rt::utf16_file(h + kAline + L"0001:-101:1 -- C:\\A\\b.exe\r\n"), first_only},
      {"a negative index", rt::utf16_file(h + kAline + L"-001:0101:1 -- C:\\A\\b.exe\r\n"), first_only},
      {"no index", rt::utf16_file(h + kAline + L":0101:1 -- C:\\A\\b.exe\r\n"), first_only},
      {"a state of 2", rt::utf16_file(h + kAline + L"0001:0101:2 -- C:\\A\\b.exe\r\n"), first_only},
      {"another separator", rt::utf16_file(h + kAline + L"0001;0101:1 -- C:\\A\\b.exe\r\n"), first_only},
      {"a zero code unit inside a line", rt::utf16_file(h + kAline + std::wstring(L"0001:0101:1 -- C:\\A\0\\b.exe\r\n", 29)), first_only},
      {"registry items come back without their texts",
       rt::utf16_file(h + L"0000:05ff:1 -- HKEY_LOCAL_MACHINE\\X\r\n0001:06ff:0 -- HKEY_CLASSES_ROOT\\...\r\n"),
       {L"Tavimora 2.20", dir(), menu(), {{ItemKind::UninstallKey, -1, true, L""}, {ItemKind::ClassesRootEntries, -1, false, L""}}}},
      {"log version 2", rt::utf16_file(L"// Uninstall Log File v2\r\n" + h.substr(26) + kAline), nothing},
      {"log version missing", rt::utf16_file(L"// Uninstall Log File v\r\n" + h.substr(26) + kAline), nothing},
      {"another file", rt::utf16_file(L"// Some Other Log v1\r\n" + h.substr(26) + kAline), nothing},
      {"entries without a header", rt::utf16_file(kAline + kBline), nothing},
      {"header line 3 without its text", rt::utf16_file(L"// Uninstall Log File v1\r\n" + kWarning + L"// Tavimora\r\n// Install Path : " + dir() + L"\r\n" + kAline), nothing},
      {"header line 4 without its text", rt::utf16_file(L"// Uninstall Log File v1\r\n" + kWarning + L"// Install Tavimora 2.20\r\n// Path : " + dir() + L"\r\n" + kAline),
       {L"Tavimora 2.20", L"", L"", {}}},
      {"header line 5 without its text", rt::utf16_file(L"// Uninstall Log File v1\r\n" + kWarning + L"// Install Tavimora 2.20\r\n// Install Path : " + dir() + L"\r\n// Shortcut : x\r\n" + kAline),
       {L"Tavimora 2.20", dir(), L"", {}}},
      {"an update note after the version", rt::utf16_file(header(dir(), menu(), L"Tavimora 2.31s -- Update (Tavimora 2.20)") + kAline),
       {L"Tavimora 2.31s", dir(), menu(), {kA}}},
      {"folders that no longer exist", rt::utf16_file(header(dir() + L"\\gone", L"C:\\no\\such\\menu") + kAline + kBline),
       {L"Tavimora 2.20", L"", L"", {kA, kB}}},
      {"empty folder lines", rt::utf16_file(header(L"", L"") + kAline + kBline), {L"Tavimora 2.20", L"", L"", {kA, kB}}},
      {"the longest line the buffer holds", rt::utf16_file(h + kAline + kBline + L"0002:0101:1 -- " + long_path_511 + L"\r\n"),
       {L"Tavimora 2.20", dir(), menu(), {kA, kB, {ItemKind::File, 1, true, long_path_511}}}},
      {"a line longer than the buffer", rt::utf16_file(h + kAline + kBline + L"0002:0101:1 -- " + long_path_512 + L"\r\n" + kAline), full},
      {"a line longer than the buffer, ANSI", ansi(h + kAline + L"0001:0101:1 -- C:\\" + std::wstring(1100, L'z') + L"\r\n" + kBline), first_only},
      {"a first line longer than the buffer", rt::utf16_file(L"// Uninstall Log File v1" + std::wstring(600, L' ') + L"\r\n" + h.substr(26) + kAline), nothing},
      {"half a code unit at the end", rt::utf16_file(h + kAline + kBline) + "A", full},
      {"only a byte-order mark", std::string("\xFF\xFE", 2), nothing},
      {"an empty file", std::string(), nothing},
  };
  for (const read_case& c : cases) {
    SCOPED_TRACE(c.name);
    CInstallRecord record;
    read(c.bytes, record);
    EXPECT_EQ(record.earlierVersionText, c.expected.version);
    EXPECT_EQ(record.earlierInstallFolder, c.expected.install);
    EXPECT_EQ(record.earlierShortcutFolder, c.expected.menu);
    EXPECT_EQ(rt::items_of(record.earlierItems), c.expected.items);
  }
}

TEST_F(ReadLog, AnsiTextIsConvertedFromTheThreadCodePage) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the check is written for code page 1252; this system uses " << ::GetACP();
  std::string bytes = ansi(header(dir(), menu())) + "0000:0101:1 -- C:\\caf\xE9\\\x80.txt\r\n";
  CInstallRecord record;
  read(bytes, record);
  EXPECT_EQ(rt::items_of(record.earlierItems),
            (std::vector<item_view>{{ItemKind::File, 1, true, L"C:\\caf\u00E9\\\u20AC.txt"}}));
}

TEST_F(ReadLog, AFileThatCannotBeOpenedLeavesTheRecordEmpty) {
  CInstallRecord record;
  record.earlierInstallFolder = L"stale";
  record.earlierShortcutFolder = L"stale";
  record.ReadLog((dir() + L"\\no such file.ulog").c_str());
  EXPECT_EQ(record.earlierInstallFolder, L"");
  EXPECT_EQ(record.earlierShortcutFolder, L"");

  // A log that another process holds without sharing.
  const std::wstring log = dir() + L"\\locked.ulog";
  qvtest::write_file(log, rt::utf16_file(header(dir(), menu()) + kAline));
  HANDLE lock = ::CreateFileW(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  CInstallRecord locked;
  locked.earlierInstallFolder = L"stale";
  locked.productPlaces = rt::whole_drives();
  locked.ReadLog(log.c_str());
  ::CloseHandle(lock);
  EXPECT_EQ(locked.earlierInstallFolder, L"");
  EXPECT_EQ(locked.earlierVersionText, L"");
  EXPECT_TRUE(locked.earlierItems.empty());

  CInstallRecord none;
  none.earlierInstallFolder = L"stale";
  none.ReadLog(nullptr);
  EXPECT_EQ(none.earlierInstallFolder, L"");
}

namespace {
bool single_byte_code_page() {
  CPINFO info{};
  return ::GetCPInfo(CP_THREAD_ACP, &info) && info.MaxCharSize == 1;
}

std::wstring decoded(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
    return rt::decode_utf16(bytes.substr(2));
  if (bytes.empty()) return {};
  int n = ::MultiByteToWideChar(CP_THREAD_ACP, MB_PRECOMPOSED, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_THREAD_ACP, MB_PRECOMPOSED, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
  return out;
}
}  // namespace

TEST_F(ReadLog, DamagedLogsAreReadWithoutReachingOutsideTheFile) {
  std::wstring good = header(dir(), menu());
  for (int i = 0; i < 24; ++i) {
    wchar_t line[128];
    swprintf(line, 128, L"%04d:%04x:%d -- C:\\Program Files\\Qv\\\u010A\u00E9file%d.dat\r\n", i, (i % 7) * 256 + (i % 7 == 1 ? i % 5 : 0xFF), i % 2, i);
    good += line;
  }
  const std::string bases[] = {rt::utf16_file(good), ansi(L"// Uninstall Log File v1\r\n// x\r\n// Install T 1\r\n// Install Path : C:\\\r\n// Shortcut Path : C:\\\r\n// -\r\n0000:00ff:1 -- C:\\A\r\n0001:0101:1 -- C:\\A\\b\r\n0002:02ff:0 -- \r\n")};
  const bool check_ansi = single_byte_code_page();
  std::mt19937 random(20240611u);
  const char specials[] = {'\0', '\n', '\r', '\xFF', '\xFE', '/', ':', '-', ' ', '0', '1', 'f', '\x0A', '\x01'};
  int read_items = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string bytes = bases[round % 2 == 0 || round % 7 == 0 ? 0 : 1];
    int mutations = 1 + static_cast<int>(random() % 6);
    for (int m = 0; m < mutations && !bytes.empty(); ++m) {
      std::size_t at = random() % bytes.size();
      switch (random() % 6) {
        case 0: bytes.resize(at); break;
        case 1: bytes[at] = static_cast<char>(random() & 0xFF); break;
        case 2: bytes.insert(at, 1, specials[random() % sizeof specials]); break;
        case 3: bytes.erase(at, 1 + random() % 16); break;
        case 4: bytes.insert(at, std::string(1 + random() % 1500, static_cast<char>('A' + random() % 26))); break;
        case 5: bytes.insert(at, bytes.substr(at, random() % 200)); break;
      }
    }
    CInstallRecord record;
    read(bytes, record);
    const bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE;
    if (!utf16 && !check_ansi) continue;
    const std::wstring text = decoded(bytes);
    auto inside = [&](const std::wstring& s) { return s.empty() || text.find(s) != std::wstring::npos; };
    // A header text is what is left of one line once its label is taken out.
    auto inside_header = [&](const std::wstring& s, const std::wstring& label) {
      if (inside(s)) return true;
      for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = std::min(text.find(L'\n', at), text.size());
        std::wstring line = text.substr(at, end - at);
        std::size_t found = line.find(label);
        if (found != std::wstring::npos && line.erase(found, label.size()).find(s) != std::wstring::npos) return true;
        at = end + 1;
      }
      return false;
    };
    ASSERT_TRUE(inside_header(record.earlierVersionText, L"Install")) << "round " << round;
    ASSERT_TRUE(inside_header(record.earlierInstallFolder, L"Install Path : ")) << "round " << round;
    ASSERT_TRUE(inside_header(record.earlierShortcutFolder, L"Shortcut Path : ")) << "round " << round;
    std::size_t lines = 1 + std::count(bytes.begin(), bytes.end(), '\n');
    ASSERT_LE(record.earlierItems.size(), lines) << "round " << round;
    for (const RecordItem* item = record.earlierItems.head(); item; item = item->next) {
      ++read_items;
      ASSERT_TRUE(inside(item->path)) << "round " << round;
      ASSERT_LE(item->path.size(), LogLineReader::kLineBufferBytes / (utf16 ? 2 : 1)) << "round " << round;
      ASSERT_GE(static_cast<int>(item->kind), 0);
      ASSERT_LE(static_cast<int>(item->kind), 6);
      ASSERT_GE(item->entryKind, -1);
      ASSERT_LE(item->entryKind, 254);
      ASSERT_EQ(item->path.find(L'\0'), std::wstring::npos);
    }
  }
  EXPECT_GT(read_items, 1000) << "the mutations should leave many logs partly readable";
}
