// The security layer: well-known identifiers, the access-list builder on
// lists made in memory with the system's own functions, the control bits,
// the administrator test, token privileges, and what Wine can show of the
// grant on real files (it does not keep file access lists).
#include "support/errors.hpp"
#include "support/security.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>
#include <vector>

namespace {

struct well_known {
  std::vector<BYTE> bytes;
  explicit well_known(WELL_KNOWN_SID_TYPE type) : bytes(SECURITY_MAX_SID_SIZE) {
    DWORD size = static_cast<DWORD>(bytes.size());
    ::CreateWellKnownSid(type, nullptr, bytes.data(), &size);
  }
  PSID get() { return bytes.data(); }
};

// An access list made with the system's functions from a table of entries.
struct ace_spec {
  BYTE type;  // ACCESS_ALLOWED_ACE_TYPE or ACCESS_DENIED_ACE_TYPE
  BYTE flags;
  DWORD mask;
  PSID who;
};
std::vector<std::uint32_t> make_acl(const std::vector<ace_spec>& entries) {
  std::vector<std::uint32_t> buffer(1024 / 4);
  auto* acl = reinterpret_cast<PACL>(buffer.data());
  EXPECT_TRUE(::InitializeAcl(acl, 1024, ACL_REVISION));
  for (const ace_spec& e : entries) {
    BOOL ok = e.type == ACCESS_ALLOWED_ACE_TYPE ? ::AddAccessAllowedAceEx(acl, ACL_REVISION, e.flags, e.mask, e.who)
                                                : ::AddAccessDeniedAceEx(acl, ACL_REVISION, e.flags, e.mask, e.who);
    EXPECT_TRUE(ok);
  }
  return buffer;
}

struct ace_seen {
  BYTE type, flags;
  DWORD mask;
  std::vector<BYTE> who;
};
std::vector<ace_seen> entries_of(PACL acl) {
  std::vector<ace_seen> out;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(acl, i, &ace)) break;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    PSID who = &allowed->SidStart;
    auto* bytes = static_cast<BYTE*>(who);
    out.push_back({allowed->Header.AceType, allowed->Header.AceFlags, allowed->Mask,
                   std::vector<BYTE>(bytes, bytes + ::GetLengthSid(who))});
  }
  return out;
}

std::vector<BYTE> bytes_of(PSID sid) {
  auto* b = static_cast<BYTE*>(sid);
  return std::vector<BYTE>(b, b + ::GetLengthSid(sid));
}

class AccessList : public ::testing::Test {
protected:
  well_known users{WinBuiltinUsersSid}, everyone{WinWorldSid}, admins{WinBuiltinAdministratorsSid},
      system{WinLocalSystemSid}, creator{WinCreatorOwnerSid};
};

TEST_F(AccessList, UsersEntriesAreReplacedByOneAfterTheExplicitAndBeforeTheInherited) {
  std::vector<std::uint32_t> existing = make_acl({
      {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_READ, everyone.get()},
      {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_GENERIC_READ, users.get()},  // replaced
      {ACCESS_DENIED_ACE_TYPE, 0, DELETE, admins.get()},
      {ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE | OBJECT_INHERIT_ACE, FILE_ALL_ACCESS, system.get()},
      {ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, FILE_GENERIC_EXECUTE, users.get()},  // dropped
      {ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, GENERIC_ALL, creator.get()},
  });
  std::vector<std::uint32_t> built =
      qv::build_users_acl(reinterpret_cast<PACL>(existing.data()), users.get(), 0x1F01FF, 3);
  auto* acl = reinterpret_cast<PACL>(built.data());
  ASSERT_TRUE(::IsValidAcl(acl));
  std::vector<ace_seen> seen = entries_of(acl);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].who, bytes_of(everyone.get()));
  EXPECT_EQ(seen[1].who, bytes_of(admins.get()));
  EXPECT_EQ(seen[1].type, ACCESS_DENIED_ACE_TYPE);
  EXPECT_EQ(seen[1].mask, static_cast<DWORD>(DELETE));
  EXPECT_EQ(seen[2].who, bytes_of(users.get()));
  EXPECT_EQ(seen[2].type, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(seen[2].mask, 0x1F01FFu);
  EXPECT_EQ(seen[2].flags, 3);
  EXPECT_EQ(seen[3].who, bytes_of(system.get()));
  EXPECT_EQ(seen[3].flags, INHERITED_ACE | OBJECT_INHERIT_ACE);
  EXPECT_EQ(seen[4].who, bytes_of(creator.get()));
  int users_entries = 0;
  for (const ace_seen& s : seen) users_entries += s.who == bytes_of(users.get());
  EXPECT_EQ(users_entries, 1);
}

TEST_F(AccessList, ExplicitEntriesAfterAnInheritedOneStayAfterIt) {
  std::vector<std::uint32_t> existing = make_acl({
      {ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, GENERIC_READ, system.get()},
      {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_READ, everyone.get()},
  });
  std::vector<std::uint32_t> built =
      qv::build_users_acl(reinterpret_cast<PACL>(existing.data()), users.get(), 0x13019F, 0);
  std::vector<ace_seen> seen = entries_of(reinterpret_cast<PACL>(built.data()));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].who, bytes_of(users.get()));
  EXPECT_EQ(seen[0].mask, 0x13019Fu);
  EXPECT_EQ(seen[0].flags, 0);
  EXPECT_EQ(seen[1].who, bytes_of(system.get()));
  EXPECT_EQ(seen[2].who, bytes_of(everyone.get()));
}

TEST_F(AccessList, ANullOrEmptyListBecomesTheUsersEntryAlone) {
  std::vector<std::uint32_t> empty = make_acl({});
  std::vector<std::uint32_t> only_users = make_acl({{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, users.get()}});
  for (PACL existing : {PACL(nullptr), reinterpret_cast<PACL>(empty.data()), reinterpret_cast<PACL>(only_users.data())}) {
    std::vector<std::uint32_t> built = qv::build_users_acl(existing, users.get(), 0x13019F, 0);
    auto* acl = reinterpret_cast<PACL>(built.data());
    ASSERT_TRUE(::IsValidAcl(acl));
    std::vector<ace_seen> seen = entries_of(acl);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].who, bytes_of(users.get()));
    EXPECT_EQ(seen[0].mask, 0x13019Fu);
    EXPECT_EQ(seen[0].type, ACCESS_ALLOWED_ACE_TYPE);
  }
}

TEST_F(AccessList, AFullListLeavesRoomForTheNewEntryExactly) {
  // Many entries: the new list is sized from the old one's bytes in use.
  std::vector<ace_spec> many;
  for (int i = 0; i < 20; ++i) many.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, DWORD(i + 1), everyone.get()});
  std::vector<std::uint32_t> existing = make_acl(many);
  std::vector<std::uint32_t> built =
      qv::build_users_acl(reinterpret_cast<PACL>(existing.data()), users.get(), 0x1F01FF, 3);
  auto* acl = reinterpret_cast<PACL>(built.data());
  ASSERT_TRUE(::IsValidAcl(acl));
  EXPECT_EQ(entries_of(acl).size(), 21u);
  EXPECT_LE(acl->AclSize, built.size() * 4);
}

TEST(ControlBits, AutoInheritedWinsOverProtected) {
  struct row {
    SECURITY_DESCRIPTOR_CONTROL existing, expected;
  };
  const row rows[] = {
      {SE_DACL_PROTECTED, SE_DACL_PROTECTED},
      {SE_DACL_AUTO_INHERITED, 0x0500},
      {SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED, 0x0500},
      {0, 0},
      {SE_DACL_AUTO_INHERIT_REQ | SE_DACL_PRESENT | SE_SELF_RELATIVE, 0},
  };
  for (const row& r : rows) EXPECT_EQ(qv::granted_control_bits(r.existing), r.expected) << std::hex << r.existing;
}

TEST(WellKnownSids, TheThreeIdentifiers) {
  struct row {
    qv::well_known_sid which;
    WELL_KNOWN_SID_TYPE type;
  };
  for (const row& r : {row{qv::well_known_sid::everyone, WinWorldSid},
                       row{qv::well_known_sid::administrators, WinBuiltinAdministratorsSid},
                       row{qv::well_known_sid::users, WinBuiltinUsersSid}}) {
    qv::sid built(r.which);
    well_known expected(r.type);
    EXPECT_TRUE(::EqualSid(built.get(), expected.get())) << static_cast<int>(r.which);
    EXPECT_EQ(built.length(), ::GetLengthSid(expected.get()));
  }
}

TEST(WellKnownSids, TheOneEntryListOfTheNamedObjects) {
  qv::sid everyone(qv::well_known_sid::everyone);
  qv::single_ace_acl acl(everyone.get(), MUTEX_ALL_ACCESS);
  ASSERT_TRUE(::IsValidAcl(acl.get()));
  EXPECT_EQ(acl.get()->AclSize, everyone.length() + 16);
  std::vector<ace_seen> seen = entries_of(acl.get());
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].type, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(seen[0].flags, 0);
  EXPECT_EQ(seen[0].mask, static_cast<DWORD>(MUTEX_ALL_ACCESS));
  EXPECT_EQ(seen[0].who, bytes_of(everyone.get()));
}

TEST(Administrator, BothMethodsAgreeThatWineRunsAsAnAdministrator) {
  EXPECT_TRUE(qv::is_administrator());
  EXPECT_TRUE(qv::is_administrator_by_access_check());
  // The fallback reverted its impersonation: the thread has no token again.
  HANDLE token = nullptr;
  EXPECT_FALSE(::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
  if (token) ::CloseHandle(token);
}

// Whether the process token has the privilege enabled, asked independently.
bool privilege_enabled(const wchar_t* name) {
  LUID luid;
  if (!::LookupPrivilegeValueW(nullptr, name, &luid)) return false;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {{luid, 0}}};
  BOOL result = FALSE;
  ::PrivilegeCheck(token, &set, &result);
  ::CloseHandle(token);
  return result != FALSE;
}

TEST(Privileges, BackupPrivilegeCanBeSwitchedOnAndOff) {
  EXPECT_TRUE(qv::enable_privilege(L"SeBackupPrivilege", true));
  EXPECT_TRUE(privilege_enabled(L"SeBackupPrivilege"));
  EXPECT_TRUE(qv::enable_privilege(L"SeBackupPrivilege", false));
  EXPECT_FALSE(privilege_enabled(L"SeBackupPrivilege"));
  EXPECT_TRUE(qv::enable_privilege(L"SeRestorePrivilege", true));
  EXPECT_TRUE(privilege_enabled(L"SeRestorePrivilege"));
}

TEST(Privileges, AnUnknownPrivilegeIsRefusedWithoutThrowing) {
  EXPECT_FALSE(qv::enable_privilege(L"SeMadeUpPrivilege", true));
  EXPECT_FALSE(qv::enable_privilege(L"", true));
}

TEST(GrantAccess, ExistingFilesAndFoldersAreGranted) {
  std::wstring folder = qvtest::scratch_folder(L"grant");
  std::wstring file = folder + L"\\written.txt";
  qvtest::write_file(file, "data");
  EXPECT_TRUE(qv::grant_access(file, 0x13019F, 0));
  EXPECT_TRUE(qv::grant_access(folder, 0x1F01FF, 3));
  // Wine keeps no file access lists, so what was written cannot be read back;
  // the file itself is untouched.
  EXPECT_EQ(qvtest::read_file(file), "data");
  qvtest::remove_tree(folder);
}

TEST(GrantAccess, AMissingFileThrowsItsHresult) {
  std::wstring folder = qvtest::scratch_folder(L"grant-missing");
  try {
    qv::grant_access(folder + L"\\missing.txt", 0x13019F, 0);
    ADD_FAILURE() << "no exception";
  } catch (long hr) {
    EXPECT_TRUE(hr == qv::hresult_from_win32(ERROR_FILE_NOT_FOUND) || hr == qv::hresult_from_win32(ERROR_PATH_NOT_FOUND))
        << std::hex << hr;
  }
  qvtest::remove_tree(folder);
}

TEST(Hresults, Win32CodesBecomeHresults) {
  struct row {
    long code, expected;
  };
  const row rows[] = {
      {0, 0},
      {ERROR_FILE_NOT_FOUND, static_cast<long>(0x80070002L)},
      {ERROR_ACCESS_DENIED, static_cast<long>(0x80070005L)},
      {0x12345, static_cast<long>(0x80072345L)},
      {static_cast<long>(0x80004005L), static_cast<long>(0x80004005L)},
      {-1, -1},
  };
  for (const row& r : rows) EXPECT_EQ(qv::hresult_from_win32(r.code), r.expected) << r.code;
}

}  // namespace
