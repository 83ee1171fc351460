#include "support/security.hpp"
#include "support/errors.hpp"
#include "support/handle.hpp"
#include <cstring>

namespace qv {

namespace {
HMODULE advapi_module() {
  static const HMODULE module = [] {
    HMODULE m = ::GetModuleHandleW(L"advapi32.dll");
    if (!m) m = ::LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!m) m = ::LoadLibraryExW(L"advapi32.dll", nullptr, 0);
    return m;
  }();
  return module;
}

#define QV_ADVAPI(name) advapi_entry<decltype(&::name)> name##_entry{#name}
QV_ADVAPI(AllocateAndInitializeSid);
QV_ADVAPI(FreeSid);
QV_ADVAPI(GetLengthSid);
QV_ADVAPI(EqualSid);
QV_ADVAPI(IsValidSid);
QV_ADVAPI(InitializeAcl);
QV_ADVAPI(AddAccessAllowedAce);
QV_ADVAPI(AddAccessAllowedAceEx);
QV_ADVAPI(AddAce);
QV_ADVAPI(GetAce);
QV_ADVAPI(GetAclInformation);
QV_ADVAPI(InitializeSecurityDescriptor);
QV_ADVAPI(SetSecurityDescriptorDacl);
QV_ADVAPI(SetSecurityDescriptorOwner);
QV_ADVAPI(SetSecurityDescriptorGroup);
QV_ADVAPI(SetSecurityDescriptorControl);
QV_ADVAPI(GetSecurityDescriptorControl);
QV_ADVAPI(GetSecurityDescriptorDacl);
QV_ADVAPI(IsValidSecurityDescriptor);
QV_ADVAPI(CheckTokenMembership);
QV_ADVAPI(ImpersonateSelf);
QV_ADVAPI(RevertToSelf);
QV_ADVAPI(OpenThreadToken);
QV_ADVAPI(OpenProcessToken);
QV_ADVAPI(AccessCheck);
QV_ADVAPI(LookupPrivilegeValueW);
QV_ADVAPI(AdjustTokenPrivileges);
QV_ADVAPI(GetFileSecurityW);
QV_ADVAPI(SetFileSecurityW);
#undef QV_ADVAPI

// Calls a bound function whose BOOL result reports failure through the last error.
template <typename Entry, typename... Args>
void call(Entry& entry, Args... args) {
  if (!entry.get()(args...)) throw last_error_hresult();
}

DWORD sid_length(PSID s) {
  if (!s || !IsValidSid_entry.get()(s)) throw kE_INVALIDARG;
  return GetLengthSid_entry.get()(s);
}

bool sid_equal(PSID a, PSID b) {
  if (!a || !b) throw kE_INVALIDARG;
  return EqualSid_entry.get()(a, b) != FALSE;
}

// RevertToSelf that reports ERROR_CALL_NOT_IMPLEMENTED instead of throwing
// when advapi32 lacks it.
BOOL revert_to_self() {
  auto fn = RevertToSelf_entry.try_get();
  if (!fn) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return fn();
}

unique_handle open_query_token() {
  unique_handle token;
  if (!OpenThreadToken_entry.get()(::GetCurrentThread(), TOKEN_QUERY, FALSE, token.put())) {
    if (::GetLastError() != ERROR_NO_TOKEN) throw last_error_hresult();
    call(OpenProcessToken_entry, ::GetCurrentProcess(), static_cast<DWORD>(TOKEN_QUERY), token.put());
  }
  return token;
}

std::vector<std::uint32_t> zeroed_words(std::size_t bytes) {
  try {
    return std::vector<std::uint32_t>((bytes + 3) / 4, 0u);
  } catch (const std::bad_alloc&) {
    throw kE_OUTOFMEMORY;
  }
}
}  // namespace

FARPROC bind_advapi(const char* name) {
  HMODULE m = advapi_module();
  if (!m) throw kE_UNEXPECTED;
  FARPROC p = ::GetProcAddress(m, name);
  if (!p) throw kE_NOTIMPL;
  return p;
}

template <typename Fn>
Fn advapi_entry<Fn>::try_get() noexcept {
  try {
    return get();
  } catch (long) {
    return nullptr;
  }
}

sid::sid(well_known_sid which) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  switch (which) {
    case well_known_sid::everyone:
      call(AllocateAndInitializeSid_entry, &world, BYTE(1), DWORD(SECURITY_WORLD_RID), DWORD(0), DWORD(0), DWORD(0),
           DWORD(0), DWORD(0), DWORD(0), DWORD(0), sid_.put());
      break;
    case well_known_sid::administrators:
    case well_known_sid::users:
      call(AllocateAndInitializeSid_entry, &nt, BYTE(2), DWORD(SECURITY_BUILTIN_DOMAIN_RID),
           DWORD(which == well_known_sid::administrators ? DOMAIN_ALIAS_RID_ADMINS : DOMAIN_ALIAS_RID_USERS),
           DWORD(0), DWORD(0), DWORD(0), DWORD(0), DWORD(0), DWORD(0), sid_.put());
      break;
  }
}

void handle_kinds::security_id::close(PSID s) noexcept {
  // Without the export there is nothing that could free it.
  if (auto fn = FreeSid_entry.try_get()) fn(s);
}

DWORD sid::length() const { return sid_length(sid_.get()); }

single_ace_acl::single_ace_acl(PSID who, DWORD access_mask) {
  DWORD size = sid_length(who) + 16;
  buffer_ = zeroed_words(size);
  call(InitializeAcl_entry, get(), size, DWORD(ACL_REVISION));
  call(AddAccessAllowedAce_entry, get(), DWORD(ACL_REVISION), access_mask, who);
}

security_descriptor::security_descriptor() {
  std::memset(&sd_, 0, sizeof sd_);
  call(InitializeSecurityDescriptor_entry, get(), DWORD(SECURITY_DESCRIPTOR_REVISION));
}

void security_descriptor::set_dacl(PACL acl) {
  call(SetSecurityDescriptorDacl_entry, get(), TRUE, acl, FALSE);
}

void security_descriptor::set_owner_and_group(PSID owner) {
  call(SetSecurityDescriptorGroup_entry, get(), owner, FALSE);
  call(SetSecurityDescriptorOwner_entry, get(), owner, FALSE);
}

void security_descriptor::set_control(SECURITY_DESCRIPTOR_CONTROL mask, SECURITY_DESCRIPTOR_CONTROL bits) {
  call(SetSecurityDescriptorControl_entry, get(), mask, bits);
}

impersonation::impersonation() { call(ImpersonateSelf_entry, SecurityImpersonation); }

impersonation::~impersonation() { revert_to_self(); }

bool is_administrator_by_access_check() {
  bool member = false;
  {
    impersonation as_self;
    unique_handle token = open_query_token();
    sid admins(well_known_sid::administrators);
    single_ace_acl acl(admins.get(), 3);
    security_descriptor sd;
    sd.set_dacl(acl.get());
    sd.set_owner_and_group(admins.get());
    if (!IsValidSecurityDescriptor_entry.get()(sd.get())) throw kE_UNEXPECTED;
    GENERIC_MAPPING mapping{1, 2, 0, 3};
    std::uint32_t privileges[5] = {};
    DWORD privileges_length = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    call(AccessCheck_entry, sd.get(), token.get(), DWORD(1), &mapping,
         reinterpret_cast<PPRIVILEGE_SET>(privileges), &privileges_length, &granted, &status);
    member = status != FALSE;
  }
  return member;
}

bool is_administrator() {
  try {
    sid admins(well_known_sid::administrators);
    BOOL member = FALSE;
    call(CheckTokenMembership_entry, HANDLE(nullptr), admins.get(), &member);
    return member != FALSE;
  } catch (long) {
  }
  try {
    return is_administrator_by_access_check();
  } catch (long) {
    return false;
  }
}

bool enable_privilege(const wchar_t* name, bool enable) {
  try {
    unique_handle token;
    call(OpenProcessToken_entry, ::GetCurrentProcess(), DWORD(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), token.put());
    LUID luid;
    call(LookupPrivilegeValueW_entry, LPCWSTR(nullptr), name, &luid);

    // AdjustTokenPrivileges succeeds with ERROR_NOT_ALL_ASSIGNED when the
    // token lacks the privilege; that is a failure here.
    auto adjust = [&](TOKEN_PRIVILEGES* state, DWORD length, TOKEN_PRIVILEGES* previous, DWORD* previous_length) {
      ::SetLastError(ERROR_SUCCESS);
      BOOL ok = AdjustTokenPrivileges_entry.get()(token.get(), FALSE, state, length, previous, previous_length);
      DWORD error = ::GetLastError();
      if (!ok || error != ERROR_SUCCESS) throw hresult_from_win32(static_cast<long>(error ? error : ERROR_INVALID_FUNCTION));
    };
    TOKEN_PRIVILEGES query{};
    query.PrivilegeCount = 1;
    query.Privileges[0].Luid = luid;
    query.Privileges[0].Attributes = 0;
    TOKEN_PRIVILEGES previous{};
    DWORD previous_length = sizeof previous;
    adjust(&query, sizeof query, &previous, &previous_length);

    previous.PrivilegeCount = 1;
    previous.Privileges[0].Luid = luid;
    if (enable)
      previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    else
      previous.Privileges[0].Attributes &= ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED);
    adjust(&previous, previous_length, nullptr, nullptr);
    return true;
  } catch (long) {
    return false;
  }
}

std::vector<std::uint32_t> build_users_acl(PACL existing, PSID users, DWORD access_mask, BYTE ace_flags) {
  ACL_SIZE_INFORMATION info{};
  info.AclBytesInUse = sizeof(ACL);
  if (existing) call(GetAclInformation_entry, existing, &info, DWORD(sizeof info), AclSizeInformation);

  DWORD size = sid_length(users) + info.AclBytesInUse + 8;
  std::vector<std::uint32_t> buffer = zeroed_words(size);
  PACL acl = reinterpret_cast<PACL>(buffer.data());
  call(InitializeAcl_entry, acl, size, DWORD(ACL_REVISION));

  DWORD count = existing ? info.AceCount : 0;
  DWORD index = 0;
  auto copy_until = [&](bool stop_at_inherited) {
    for (; index < count; ++index) {
      void* ace = nullptr;
      call(GetAce_entry, existing, index, &ace);
      auto* header = static_cast<ACE_HEADER*>(ace);
      if (stop_at_inherited && (header->AceFlags & INHERITED_ACE)) return;
      PSID who = reinterpret_cast<PSID>(static_cast<BYTE*>(ace) + 8);
      if (sid_equal(who, users)) continue;
      call(AddAce_entry, acl, DWORD(ACL_REVISION), MAXDWORD, ace, DWORD(header->AceSize));
    }
  };
  copy_until(true);

  bool added = false;
  if (ace_flags != 0) {
    if (auto add_ex = AddAccessAllowedAceEx_entry.try_get()) {
      if (!add_ex(acl, ACL_REVISION, ace_flags, access_mask, users)) throw last_error_hresult();
      added = true;
    }
  }
  if (!added) call(AddAccessAllowedAce_entry, acl, DWORD(ACL_REVISION), access_mask, users);

  copy_until(false);
  return buffer;
}

SECURITY_DESCRIPTOR_CONTROL granted_control_bits(SECURITY_DESCRIPTOR_CONTROL existing) {
  if (existing & SE_DACL_AUTO_INHERITED) return SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
  if (existing & SE_DACL_PROTECTED) return SE_DACL_PROTECTED;
  return 0;
}

bool grant_access(const std::wstring& path, DWORD access_mask, BYTE ace_flags) {
  sid users(well_known_sid::users);
  DWORD needed = 0;
  if (!GetFileSecurityW_entry.get()(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) throw last_error_hresult();
  }
  std::vector<std::uint32_t> current = zeroed_words(needed ? needed : sizeof(SECURITY_DESCRIPTOR));
  DWORD current_size = static_cast<DWORD>(current.size() * 4);
  auto* current_sd = reinterpret_cast<PSECURITY_DESCRIPTOR>(current.data());
  call(GetFileSecurityW_entry, path.c_str(), DWORD(DACL_SECURITY_INFORMATION), current_sd, current_size, &needed);

  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  call(GetSecurityDescriptorDacl_entry, current_sd, &present, &dacl, &defaulted);
  if (!present) dacl = nullptr;

  std::vector<std::uint32_t> acl = build_users_acl(dacl, users.get(), access_mask, ace_flags);
  security_descriptor sd;
  sd.set_dacl(reinterpret_cast<PACL>(acl.data()));

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  call(GetSecurityDescriptorControl_entry, current_sd, &control, &revision);
  SECURITY_DESCRIPTOR_CONTROL bits = granted_control_bits(control);
  if (bits) sd.set_control(bits, bits);

  call(SetFileSecurityW_entry, path.c_str(), DWORD(DACL_SECURITY_INFORMATION), sd.get());
  return true;
}

}  // namespace qv
