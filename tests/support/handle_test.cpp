// The one holder template and its kinds. A counting kind shows the
// template's rules (one release on destruction, reset, move and put, none
// on release); every kind of the program then holds a real object of its
// kind through the same rules, with its close counted and, where Windows
// lets another call tell, the object seen released.
#include "support/handle.hpp"
#include "support/registry.hpp"
#include "support/security.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <functional>
#include <vector>

namespace {

// ---- the template, with a counting kind ----------------------------------------

std::vector<int> g_closed;

struct counting_kind {
  using type = int;
  static type empty() noexcept { return -1; }
  static bool is_empty(type v) noexcept { return v == -1 || v == 0; }
  static void close(type v) noexcept { g_closed.push_back(v); }
};
using counted = qv::unique_any<counting_kind>;

class Holder : public ::testing::Test {
protected:
  void SetUp() override { g_closed.clear(); }
};

TEST_F(Holder, ReleasesOnceOnDestruction) {
  { counted h(7); }
  EXPECT_EQ(g_closed, std::vector<int>{7});
  // Both empty values are never released.
  { counted none; }
  { counted zero(0); }
  EXPECT_EQ(g_closed, std::vector<int>{7});
}

TEST_F(Holder, ResetReleasesWhatItHeldAndTakesTheNewValue) {
  counted h(1);
  h.reset(2);
  EXPECT_EQ(g_closed, std::vector<int>{1});
  EXPECT_EQ(h.get(), 2);
  h.reset();
  EXPECT_EQ(g_closed, (std::vector<int>{1, 2}));
  EXPECT_FALSE(h);
  EXPECT_EQ(h.get(), -1);
}

TEST_F(Holder, MovingHandsTheValueOverWithoutReleasingIt) {
  {
    counted a(3);
    counted b(std::move(a));
    EXPECT_TRUE(g_closed.empty());
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), 3);
    counted c(4);
    c = std::move(b);  // c's 4 goes, 3 moves on
    EXPECT_EQ(g_closed, std::vector<int>{4});
    EXPECT_EQ(c.get(), 3);
    counted& same = c;
    c = std::move(same);  // moving onto itself keeps the value
    EXPECT_EQ(c.get(), 3);
    EXPECT_EQ(g_closed, std::vector<int>{4});
  }
  EXPECT_EQ(g_closed, (std::vector<int>{4, 3}));
}

TEST_F(Holder, PutFreesWhatItHeldBeforeTheSystemWritesANewValue) {
  counted h(5);
  int* slot = h.put();
  EXPECT_EQ(g_closed, std::vector<int>{5});
  EXPECT_EQ(*slot, -1);
  *slot = 6;
  EXPECT_EQ(h.get(), 6);
  *h.put() = 8;
  EXPECT_EQ(g_closed, (std::vector<int>{5, 6}));
}

TEST_F(Holder, ReleaseGivesTheValueUpWithoutReleasingIt) {
  {
    counted h(9);
    EXPECT_EQ(h.release(), 9);
    EXPECT_FALSE(h);
  }
  EXPECT_TRUE(g_closed.empty());
}

// ---- every kind of the program, with real objects ------------------------------

// A kind with its close counted: the real close still runs.
template <typename Kind>
struct counted_kind : Kind {
  static int closes;
  static void close(typename Kind::type v) noexcept {
    ++closes;
    Kind::close(v);
  }
};
template <typename Kind>
int counted_kind<Kind>::closes = 0;

bool kernel_handle_open(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) != FALSE;
}

std::wstring scratch_file() {
  static const std::wstring folder = qvtest::scratch_folder(L"handle_test");
  static int n = 0;
  std::wstring path = folder + L"\\file" + std::to_wstring(++n) + L".txt";
  qvtest::write_file(path, "x");
  return path;
}

// One kind: how to make a real object, and whether it is still open (null
// where no call can tell a released object from a live one).
template <typename Kind>
struct kind_case;

template <>
struct kind_case<qv::handle_kinds::kernel> {
  static HANDLE make() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  static constexpr bool (*is_open)(HANDLE) = kernel_handle_open;
};
template <>
struct kind_case<qv::handle_kinds::file> {
  static HANDLE make() {
    return ::CreateFileW(scratch_file().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  static constexpr bool (*is_open)(HANDLE) = kernel_handle_open;
};
template <>
struct kind_case<qv::handle_kinds::find> {
  static HANDLE make() {
    WIN32_FIND_DATAW data;
    return ::FindFirstFileW((qvtest::scratch_folder(L"handle_test_find") + L"\\*").c_str(), &data);
  }
  static constexpr bool (*is_open)(HANDLE) = nullptr;
};
template <>
struct kind_case<qv::handle_kinds::registry_key> {
  static HKEY make() {
    HKEY key = nullptr;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key);
    return key;
  }
  static bool open(HKEY key) {
    DWORD subkeys = 0;
    return ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr) == ERROR_SUCCESS;
  }
  static constexpr bool (*is_open)(HKEY) = open;
};
template <>
struct kind_case<qv::handle_kinds::module> {
  // A library nothing else of this program loads.
  static constexpr wchar_t kName[] = L"cabinet.dll";
  static HMODULE make() { return ::GetModuleHandleW(kName) ? nullptr : ::LoadLibraryW(kName); }
  static bool open(HMODULE) { return ::GetModuleHandleW(kName) != nullptr; }
  static constexpr bool (*is_open)(HMODULE) = open;
};
template <>
struct kind_case<qv::handle_kinds::local<wchar_t>> {
  static wchar_t* make() { return static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, 64)); }
  static constexpr bool (*is_open)(wchar_t*) = nullptr;
};
template <>
struct kind_case<qv::handle_kinds::co_task<wchar_t>> {
  static wchar_t* make() { return static_cast<wchar_t*>(::CoTaskMemAlloc(64)); }
  static constexpr bool (*is_open)(wchar_t*) = nullptr;
};
template <>
struct kind_case<qv::handle_kinds::item_id_list> {
  static LPITEMIDLIST make() {
    LPITEMIDLIST list = nullptr;
    ::SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &list);
    return list;
  }
  static constexpr bool (*is_open)(LPITEMIDLIST) = nullptr;
};
template <>
struct kind_case<qv::handle_kinds::activation_context> {
  static HANDLE make() {
    const std::wstring manifest = qvtest::source_dir() + L"\\tests\\support\\comctl6.manifest";
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.lpSource = manifest.c_str();
    return ::CreateActCtxW(&request);
  }
  static constexpr bool (*is_open)(HANDLE) = nullptr;
};
template <>
struct kind_case<qv::handle_kinds::icon> {
  static HICON make() { return ::CreateIcon(nullptr, 1, 1, 1, 1, kAnd, kXor); }
  static bool open(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return false;
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    return true;
  }
  static constexpr BYTE kAnd[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  static constexpr BYTE kXor[4] = {0, 0, 0, 0};
  static constexpr bool (*is_open)(HICON) = open;
};
template <>
struct kind_case<qv::handle_kinds::security_id> {
  static PSID make() {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
    return sid;
  }
  static constexpr bool (*is_open)(PSID) = nullptr;
};

template <typename Kind>
class HolderKind : public ::testing::Test {
protected:
  using counting = counted_kind<Kind>;
  using holder = qv::unique_any<counting>;
  using type = typename Kind::type;

  void SetUp() override { counting::closes = 0; }
  type make() {
    type value = kind_case<Kind>::make();
    EXPECT_FALSE(Kind::is_empty(value)) << "the object could not be made";
    return value;
  }
  // The object is released: counted once, and, where Windows can tell, closed.
  void expect_released(type value, int closes) {
    EXPECT_EQ(counting::closes, closes);
    if (auto is_open = kind_case<Kind>::is_open) {
      EXPECT_FALSE(is_open(value));
    }
  }
  void expect_open(type value) {
    if (auto is_open = kind_case<Kind>::is_open) {
      EXPECT_TRUE(is_open(value));
    }
  }
};

using Kinds = ::testing::Types<qv::handle_kinds::kernel, qv::handle_kinds::file, qv::handle_kinds::find,
                               qv::handle_kinds::registry_key, qv::handle_kinds::module,
                               qv::handle_kinds::local<wchar_t>, qv::handle_kinds::co_task<wchar_t>,
                               qv::handle_kinds::item_id_list, qv::handle_kinds::activation_context,
                               qv::handle_kinds::icon, qv::handle_kinds::security_id>;
TYPED_TEST_SUITE(HolderKind, Kinds);

TYPED_TEST(HolderKind, ReleasesOnceOnDestructionResetMoveAndPut) {
  using holder = typename TestFixture::holder;
  auto v1 = this->make();
  {
    holder h(v1);
    this->expect_open(v1);
  }
  this->expect_released(v1, 1);

  auto v2 = this->make();
  holder h(v2);
  h.reset();
  this->expect_released(v2, 2);
  EXPECT_FALSE(h);

  auto v3 = this->make();
  {
    holder a(v3);
    holder b(std::move(a));
    EXPECT_EQ(TestFixture::counting::closes, 2) << "a move releases nothing";
    this->expect_open(v3);
  }
  this->expect_released(v3, 3);

  auto v4 = this->make();
  holder target(v4);
  auto* slot = target.put();
  this->expect_released(v4, 4);
  *slot = this->make();
  EXPECT_TRUE(target);
  target.reset();
  EXPECT_EQ(TestFixture::counting::closes, 5);
}

// The holders of the program are these kinds: the empty values decide what
// a failed call leaves behind.
TEST(HolderAliases, FailureValuesAreEmpty) {
  EXPECT_FALSE(qv::unique_file(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(qv::unique_find(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(qv::unique_handle(nullptr));
  // The own process's pseudo-handle is never closed.
  EXPECT_FALSE(qv::unique_handle(::GetCurrentProcess()));
  EXPECT_EQ(qv::unique_file().get(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(qv::unique_handle().get(), nullptr);
  EXPECT_FALSE(qv::reg_key());
  EXPECT_FALSE(qv::unique_icon());
}

TEST(HolderAliases, RegKeyConvertsToTheKeyItHolds) {
  HKEY raw = kind_case<qv::handle_kinds::registry_key>::make();
  ASSERT_NE(raw, nullptr);
  {
    qv::reg_key key(raw);
    HKEY as_key = key;
    EXPECT_EQ(as_key, raw);
    qv::reg_key moved(std::move(key));
    EXPECT_FALSE(key);
    EXPECT_TRUE(kind_case<qv::handle_kinds::registry_key>::open(moved));
  }
  EXPECT_FALSE(kind_case<qv::handle_kinds::registry_key>::open(raw));
}

}  // namespace
