// The extraction together with the installation record, as the run uses
// them: the handler begins every file in the record before it is written and
// ends the extraction with the record's refusal. What stood at a destination
// before the run is either moved aside (and comes back on rollback) or left
// exactly as it was; nothing is written through a link and no folder comes
// into existence that the record does not know.
#include "engine/payload.hpp"
#include "packer/packer.hpp"
#include "record/install_record.hpp"
#include "support/handle.hpp"
#include "tests/common/test_support.hpp"
#include "tests/engine/payload_test_util.hpp"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

using namespace payload_test;
using qv::packer::pack;

namespace {

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The run's handler, as far as the record is concerned: a refused begin
// ends the extraction with that system error.
struct record_handler {
  CInstallRecord& record;
  recorder log;
  bool extract(const std::string& compressed, const std::wstring& install) {
    qv::imemstream stream(compressed.data(), compressed.size());
    return extract_payload(stream, install, L"", L"", handler());
  }
  notification_handler handler() {
    log.make_folders = false;  // the record makes them
    notification_handler inner = log.handler();
    return [this, inner](notification n) {
      if (auto* p = n.get<notification::file_begin>()) {
        DWORD refused = record.BeginFile(p->entry.destination, static_cast<std::int32_t>(p->entry.kind), false);
        if (refused != ERROR_SUCCESS) {
          record.CommitItem(false);
          throw std::system_error(static_cast<int>(refused), std::system_category());
        }
      }
      notification::result result = inner(n);
      if (n.get<notification::file_end>()) record.CommitItem(true);
      return result;
    };
  }
};

class RecordGuard : public ::testing::Test {
protected:
  void SetUp() override { root = qvtest::scratch_folder(L"guard"); }
  void TearDown() override { qvtest::remove_tree(root); }
  std::wstring path(const std::wstring& relative) const { return root + L"\\" + relative; }
  std::wstring root;
};

TEST_F(RecordGuard, AnEarlierFileHeldByAnotherProcessStopsTheUpdateAndSurvivesIt) {
  // An update: the earlier program is still open in another process, which
  // lets nobody else read, write or move it.
  const std::wstring earlier = path(L"Tavimora.exe");
  qvtest::write_file(earlier, "earlier program");
  ::SetFileAttributesW(earlier.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::wstring event_name = L"qvtest-guard-" + std::to_wstring(::GetCurrentProcessId());
  qv::unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
  const std::wstring exe = qvtest::binary_dir() + L"\\tests\\engine\\engine_hold_file.exe";
  qvtest::child_process holder(qvtest::quote(exe) + L" " + qvtest::quote(earlier) + L" 4000 " + event_name +
                               L" exclusive");
  ASSERT_TRUE(holder.started());
  ASSERT_EQ(::WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);

  CInstallRecord record;
  record_handler h{record};
  EXPECT_FALSE(h.extract(pack({file(L"Readme.txt", L"<InstallPath>\\Docs", "new readme"),
                               file(L"Tavimora.exe", L"<InstallPath>", "new program")}),
                         root));
  EXPECT_EQ(h.log.error_code(), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()))
      << h.log.error_code().message();
  EXPECT_EQ(h.log.count(error), 1u);
  record.Rollback();
  EXPECT_EQ(holder.wait(20000), 0);

  EXPECT_EQ(qvtest::read_file(earlier), "earlier program");
  EXPECT_EQ(::GetFileAttributesW(earlier.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(exists(path(L"Docs"))) << "what the run made before is rolled back";
}

TEST_F(RecordGuard, NoBackupMeansTheEarlierFileIsNotWritten) {
  // A temporary folder whose name leaves no room for a backup's name.
  const std::wstring earlier = path(L"Tavimora.exe");
  qvtest::write_file(earlier, "earlier program");
  wchar_t saved[MAX_PATH + 1] = {};
  DWORD saved_length = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH + 1);
  std::wstring long_temp = root + L"\\" + std::wstring(250 - root.size(), L't');
  ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", long_temp.c_str()));
  wchar_t probe[MAX_PATH + 1] = {};
  const DWORD temp_length = ::GetTempPathW(MAX_PATH + 1, probe);

  CInstallRecord record;
  record_handler h{record};
  bool ok = h.extract(pack({file(L"Tavimora.exe", L"<InstallPath>", "new program")}), root);
  ::SetEnvironmentVariableW(L"TMP", saved_length ? saved : nullptr);
  ASSERT_GT(temp_length, DWORD(MAX_PATH - 14)) << "TMP decides the temporary folder";
  EXPECT_FALSE(ok);
  EXPECT_EQ(h.log.error_code(), std::error_code(ERROR_FILENAME_EXCED_RANGE, std::system_category()));
  record.Rollback();
  EXPECT_EQ(qvtest::read_file(earlier), "earlier program");
}

TEST_F(RecordGuard, FoldersComeOnlyFromTheRecord) {
  // Destinations that the writer's own folder creation used to make into
  // folders the record never heard of: "/" separators, and a path of more
  // than 259 characters that the record would have cut.
  const std::wstring deep = std::wstring(240 - root.size(), L'd');
  struct Case {
    const wchar_t* name;
    std::wstring folder;
    bool written;
  } cases[] = {
      {L"slashes", L"<InstallPath>\\Lang/Sub/Deeper", true},
      {L"too long", L"<InstallPath>\\" + deep + L"\\cut here\\and more", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(qvtest::narrow(c.name));
    const std::wstring install = qvtest::scratch_folder(L"guard-folders");
    CInstallRecord record;
    record_handler h{record};
    const bool ok = h.extract(pack({file(L"a.txt", c.folder, "A")}), install);
    EXPECT_EQ(ok, c.written) << h.log.error_code().message();
    // Every folder below the install folder is one the record holds.
    std::vector<std::wstring> recorded;
    for (const RecordItem* i = record.items.head(); i; i = i->next)
      if (i->kind == ItemKind::Folder) recorded.push_back(i->path);
    std::vector<std::wstring> pending = {install};
    while (!pending.empty()) {
      std::wstring folder = pending.back();
      pending.pop_back();
      WIN32_FIND_DATAW data;
      HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
      if (find == INVALID_HANDLE_VALUE) continue;
      do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L".." || !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        const std::wstring child = folder + L"\\" + name;
        bool known = false;
        for (const std::wstring& r : recorded) known = known || ::lstrcmpiW(r.c_str(), child.c_str()) == 0;
        EXPECT_TRUE(known) << "unrecorded folder " << qvtest::narrow(child);
        pending.push_back(child);
      } while (::FindNextFileW(find, &data));
      ::FindClose(find);
    }
    if (c.written) {
      EXPECT_EQ(qvtest::read_file(install + L"\\Lang\\Sub\\Deeper\\a.txt"), "A");
    } else {
      EXPECT_EQ(h.log.error_code(), std::error_code(ERROR_FILENAME_EXCED_RANGE, std::system_category()));
    }
    record.Rollback();
    EXPECT_FALSE(exists(install + L"\\Lang")) << "a rollback removes what was recorded";
    qvtest::remove_tree(install);
  }
}

TEST_F(RecordGuard, TheWriterAloneCreatesNoFolder) {
  // A handler that does not have the folder made: the file is refused.
  recorder r;
  r.make_folders = false;
  EXPECT_FALSE(extract(pack({file(L"a.txt", L"<InstallPath>\\Missing", "A")}), r, root));
  EXPECT_EQ(r.error_code(), std::error_code(ERROR_PATH_NOT_FOUND, std::system_category())) << r.error_code().message();
  EXPECT_FALSE(exists(path(L"Missing")));
}

}  // namespace
