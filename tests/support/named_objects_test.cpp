// The application identifier and the two global kernel objects, observed
// from other processes: this program carries the product's version
// resource and the common-controls 6.0 manifest, so the support library's
// start-up runs here as it does in setup.exe.
#include "support/app_identity.hpp"
#include "support/handle.hpp"
#include "tests/common/test_support.hpp"
#include "tests/support/holder_client.hpp"
#include <gtest/gtest.h>
#include <aclapi.h>
#include <thread>
#include <vector>

namespace {

using qvtest::kInstallerMutexName;
using qvtest::kInstallerSemaphoreName;
using qvtest::object_holder;
using qvtest::probe_mutex;

std::wstring installer_lock_name() { return qv::application_id() + qv::kInstanceLockSuffix; }

// A name of this test's own, for objects no other program uses.
std::wstring own_name(const wchar_t* what) {
  return L"QvTest." + std::wstring(what) + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
         std::to_wstring(::GetTickCount());
}

class InstallerObjects : public ::testing::Test {
protected:
  static void SetUpTestSuite() { qv::startup(); }
};

TEST_F(InstallerObjects, IdentifierIsTheApplicationIdOfTheOwnVersionResource) {
  EXPECT_EQ(qv::application_id(), L"Tavimora2");
  EXPECT_EQ(L"Global\\" + installer_lock_name(), kInstallerMutexName);
}

TEST_F(InstallerObjects, StartupAddedThisProcessesUnitToTheInstallerSemaphore) {
  qv::unique_handle semaphore(::OpenSemaphoreW(SEMAPHORE_ALL_ACCESS, FALSE, kInstallerSemaphoreName));
  ASSERT_TRUE(semaphore) << "the semaphore is not named " << qvtest::narrow(kInstallerSemaphoreName);
  EXPECT_EQ(qv::running_instances().held(), 1);
  // Alone, the count is this program's own unit, and asking does not change it.
  EXPECT_EQ(qv::running_instances().count(), 1u);
  EXPECT_EQ(qv::running_instances().count(), 1u);
  LONG previous = -1;
  ASSERT_TRUE(::ReleaseSemaphore(semaphore.get(), 1, &previous));
  ::WaitForSingleObject(semaphore.get(), 0);
  EXPECT_EQ(previous, 1);
}

TEST_F(InstallerObjects, ARunningProductCountsAsASecondProgramUntilItEnds) {
  {
    object_holder product(L"semaphore", kInstallerSemaphoreName);
    ASSERT_TRUE(product.holding());
    EXPECT_EQ(qv::running_instances().count(), 2u);
    EXPECT_EQ(qv::running_instances().count(), 2u);
    EXPECT_EQ(product.stop(), 0);
  }
  EXPECT_EQ(qv::running_instances().count(), 1u);
}

TEST_F(InstallerObjects, ASecondInstallerCannotTakeTheLockAndDoesNotWait) {
  object_holder first(L"mutex", kInstallerMutexName);
  ASSERT_TRUE(first.holding());
  qv::named_mutex lock(installer_lock_name(), false, true);
  ASSERT_NE(lock.handle(), nullptr);
  EXPECT_FALSE(lock.owned());
  DWORD start = ::GetTickCount();
  EXPECT_FALSE(lock.try_lock());
  EXPECT_LT(::GetTickCount() - start, 1000u);
  EXPECT_FALSE(lock.owned());

  // Once the first one has gone, the lock is ours, and other processes see it held.
  EXPECT_EQ(first.stop(), 0);
  EXPECT_TRUE(lock.try_lock());
  EXPECT_TRUE(lock.owned());
  EXPECT_EQ(probe_mutex(kInstallerMutexName), 1);
}

TEST_F(InstallerObjects, DestroyingAnOwnedLockReleasesIt) {
  // A second handle keeps the mutex in existence after the lock is gone.
  qv::named_mutex keeper(installer_lock_name(), false, true);
  {
    qv::named_mutex lock(installer_lock_name(), false, true);
    ASSERT_TRUE(lock.try_lock());
    EXPECT_EQ(probe_mutex(kInstallerMutexName), 1);
  }
  EXPECT_EQ(probe_mutex(kInstallerMutexName), 0);
}

TEST_F(InstallerObjects, AnAbandonedLockCountsAsAcquired) {
  qv::named_mutex lock(installer_lock_name(), false, true);
  {
    object_holder crashed(L"abandon", kInstallerMutexName);
    ASSERT_TRUE(crashed.holding());
    crashed.stop();  // it has ended without releasing the mutex
  }
  EXPECT_TRUE(lock.try_lock());
  EXPECT_TRUE(lock.owned());
  EXPECT_EQ(probe_mutex(kInstallerMutexName), 1);
}

TEST_F(InstallerObjects, DestructionAfterUnlockDoesNotReleaseAgain) {
  // The thread holds the mutex twice (two objects); the second object gives
  // its hold back with unlock. Were its destructor to release once more, the
  // first object's hold would be gone too.
  qv::named_mutex first(installer_lock_name(), false, true);
  ASSERT_TRUE(first.try_lock());
  {
    qv::named_mutex second(installer_lock_name(), false, true);
    ASSERT_TRUE(second.try_lock());
    second.unlock();
    EXPECT_FALSE(second.owned());
  }
  EXPECT_EQ(probe_mutex(kInstallerMutexName), 1);
  first.unlock();
  EXPECT_EQ(probe_mutex(kInstallerMutexName), 0);
}

TEST_F(InstallerObjects, InitialOwnershipOfAnExistingLockWaitsForItsOwner) {
  object_holder first(L"mutex", kInstallerMutexName);
  ASSERT_TRUE(first.holding());
  bool owned = false;
  DWORD waited = 0;
  std::unique_ptr<qv::named_mutex> lock;
  std::thread creator([&] {
    DWORD start = ::GetTickCount();
    lock = std::make_unique<qv::named_mutex>(installer_lock_name(), true, true);
    waited = ::GetTickCount() - start;
    owned = lock->owned();
    // The mutex belongs to this thread: release it from here.
    lock.reset();
  });
  ::Sleep(500);
  EXPECT_EQ(first.stop(), 0);
  creator.join();
  EXPECT_TRUE(owned);
  EXPECT_GE(waited, 400u) << "the creation did not wait for the other owner";
}

TEST(GlobalObjects, CreationKeepsTheLastErrorOfTheCreatingCall) {
  std::wstring name = own_name(L"mutex");
  qv::unique_handle first(qv::create_global_mutex(false, name));
  ASSERT_TRUE(first);
  EXPECT_EQ(::GetLastError(), 0u);
  qv::unique_handle second(qv::create_global_mutex(false, name));
  ASSERT_TRUE(second);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  std::wstring semaphore_name = own_name(L"semaphore");
  qv::unique_handle s1(qv::create_global_semaphore(0, 10, semaphore_name));
  ASSERT_TRUE(s1);
  qv::unique_handle s2(qv::create_global_semaphore(0, 10, semaphore_name));
  ASSERT_TRUE(s2);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

// The access list of a kernel object: every entry as (type, mask, is Everyone).
struct entry {
  int type;
  DWORD mask;
  bool everyone;
};
std::vector<entry> object_entries(HANDLE object) {
  DWORD needed = 0;
  ::GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  std::vector<std::uint32_t> buffer((needed + 3) / 4 + 1);
  std::vector<entry> out;
  if (!::GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, buffer.data(),
                                 static_cast<DWORD>(buffer.size() * 4), &needed))
    return out;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(buffer.data(), &present, &dacl, &defaulted) || !present || !dacl) return out;
  BYTE everyone_sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone_sid;
  ::CreateWellKnownSid(WinWorldSid, nullptr, everyone_sid, &size);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) break;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    out.push_back({allowed->Header.AceType, allowed->Mask,
                   ::EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), everyone_sid) != FALSE});
  }
  return out;
}

TEST(GlobalObjects, EveryoneHasAllAccessAndTheHandleIsNotInherited) {
  struct kind {
    const char* what;
    HANDLE handle;
    DWORD all_access;
  };
  qv::unique_handle mutex(qv::create_global_mutex(false, own_name(L"dacl-mutex")));
  qv::unique_handle semaphore(qv::create_global_semaphore(0, 0x7FFFFFFF, own_name(L"dacl-semaphore")));
  for (const kind& k : {kind{"mutex", mutex.get(), MUTEX_ALL_ACCESS},
                        kind{"semaphore", semaphore.get(), SEMAPHORE_ALL_ACCESS}}) {
    SCOPED_TRACE(k.what);
    ASSERT_NE(k.handle, nullptr);
    std::vector<entry> entries = object_entries(k.handle);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(entries[0].mask, k.all_access);
    EXPECT_TRUE(entries[0].everyone);
    DWORD flags = 0;
    ASSERT_TRUE(::GetHandleInformation(k.handle, &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
  }
}

TEST(GlobalObjects, ACounterHoldsOneUnitPerObjectAndGivesItBack) {
  std::wstring name = own_name(L"counter");
  qv::instance_counter mine(name);
  EXPECT_EQ(mine.held(), 1);
  EXPECT_EQ(mine.count(), 1u);
  {
    qv::instance_counter other(name);
    EXPECT_EQ(mine.count(), 2u);
  }
  EXPECT_EQ(mine.count(), 1u);
}

TEST(GlobalObjects, ObjectsThatCannotBeCreatedAreNeitherLockedNorCounted) {
  // A path below a directory that does not exist in the object namespace.
  std::wstring bad = L"NoSuchDirectory." + own_name(L"x") + L"\\object";
  qv::named_mutex lock(bad, false, true);
  if (lock.handle()) GTEST_SKIP() << "this system created an object under a missing directory";
  EXPECT_FALSE(lock.try_lock());
  EXPECT_FALSE(lock.owned());
  qv::instance_counter counter(bad);
  EXPECT_EQ(counter.handle(), nullptr);
  EXPECT_EQ(counter.held(), 0);
  EXPECT_EQ(counter.count(), 0u);
}

TEST(ApplicationId, FallsBackToProductNameThenToTheFileName) {
  struct row {
    const wchar_t* application_id;
    const wchar_t* product_name;
    const wchar_t* executable;
    const wchar_t* expected;
  };
  const row rows[] = {
      {L"Tavimora2", L"Tavimora 2", L"C:\\Setup\\setup.exe", L"Tavimora2"},
      {L"", L"Tavimora 2", L"C:\\Setup\\setup.exe", L"Tavimora 2"},
      {L"", L"", L"C:\\Setup\\setup.exe", L"setup"},
      {L"", L"", L"C:\\dotted.folder\\setup", L"setup"},
      {L"", L"", L"C:\\Setup\\setup.1.exe", L"setup.1"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(qvtest::narrow(r.executable));
    EXPECT_EQ(qv::choose_application_id(r.application_id, r.product_name, r.executable), r.expected);
  }
}

// Real programs whose version resource lacks the identifier: the probe
// writes the identifier its own start-up computed.
std::wstring identifier_of(const std::wstring& program) {
  std::wstring out = qvtest::scratch_folder(L"identity") + L"\\id.txt";
  long code = qvtest::run_process(qvtest::quote(program) + L" " + qvtest::quote(out), 60000);
  if (code != 0) return L"<exit code " + std::to_wstring(code) + L">";
  return qvtest::widen(qvtest::read_file(out));
}

TEST(ApplicationId, AProgramWithoutApplicationIdIsNamedByItsProductName) {
  EXPECT_EQ(identifier_of(qvtest::binary_dir() + L"\\tests\\support\\product_name_probe.exe"), L"Probe Product");
}

TEST(ApplicationId, AProgramWithNeitherIsNamedByItsFileName) {
  EXPECT_EQ(identifier_of(qvtest::binary_dir() + L"\\tests\\support\\noid\\setup.exe"), L"setup");
}

}  // namespace
