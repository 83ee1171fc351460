// The support library's security layer: well-known security identifiers,
// one-entry access lists, the administrator test, token privileges and the
// Users-group grant on files and folders. Every security function is bound
// by name from advapi32 at first use; failures are thrown as HRESULT `long`s.
#pragma once
#include "support/handle.hpp"
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Binds `name` from advapi32.dll (the loaded module, else the default
// directories, else the default search): E_UNEXPECTED without a module,
// E_NOTIMPL for a missing export. The pointer is cached by the caller.
FARPROC bind_advapi(const char* name);

template <typename Fn>
class advapi_entry {
public:
  explicit constexpr advapi_entry(const char* name) : name_(name) {}
  Fn get() {
    if (!fn_) fn_ = reinterpret_cast<Fn>(bind_advapi(name_));
    return fn_;
  }
  // Null instead of throwing when the function is missing.
  Fn try_get() noexcept;

private:
  const char* name_;
  Fn fn_ = nullptr;
};

enum class well_known_sid { everyone = 0, administrators = 1, users = 2 };

namespace handle_kinds {
// A security identifier from AllocateAndInitializeSid, freed by FreeSid
// (bound by name like every security function).
struct security_id {
  using type = PSID;
  static type empty() noexcept { return nullptr; }
  static bool is_empty(type s) noexcept { return s == nullptr; }
  static void close(type s) noexcept;
};
}  // namespace handle_kinds
using unique_sid = unique_any<handle_kinds::security_id>;

// Owns one well-known security identifier.
class sid {
public:
  explicit sid(well_known_sid which);
  PSID get() const { return sid_.get(); }
  DWORD length() const;

private:
  unique_sid sid_;
};

// Owns a zero-filled access list with one access-allowed entry for `who`.
class single_ace_acl {
public:
  single_ace_acl(PSID who, DWORD access_mask);
  PACL get() { return reinterpret_cast<PACL>(buffer_.data()); }

private:
  std::vector<std::uint32_t> buffer_;  // 4-byte aligned, as access lists must be
};

// Owns a zero-filled absolute security descriptor of revision 1.
class security_descriptor {
public:
  security_descriptor();
  PSECURITY_DESCRIPTOR get() { return &sd_; }
  // The access list becomes present and not defaulted.
  void set_dacl(PACL acl);
  void set_owner_and_group(PSID owner);
  void set_control(SECURITY_DESCRIPTOR_CONTROL mask, SECURITY_DESCRIPTOR_CONTROL bits);

private:
  SECURITY_DESCRIPTOR sd_;
};

// True when the process (or impersonated thread) is an elevated
// administrator. Never throws: CheckTokenMembership first, then an
// access check against a descriptor that admits administrators only.
bool is_administrator();
// The access-check half of is_administrator, on its own (throws `long`).
bool is_administrator_by_access_check();

// Enables or disables a privilege of the process token; false on failure.
bool enable_privilege(const wchar_t* name, bool enable);

// The calling thread impersonates the process's own security context
// (ImpersonateSelf; throws `long`) until the scope ends (RevertToSelf).
class impersonation {
public:
  impersonation();
  ~impersonation();
  impersonation(const impersonation&) = delete;
  impersonation& operator=(const impersonation&) = delete;
};


// Builds the new access list for grant_access from an existing one (null
// for a missing or null list): every explicit entry but those for `users`,
// then the new entry for `users`, then every inherited entry but those for
// `users`. The result is owned by the returned buffer.
std::vector<std::uint32_t> build_users_acl(PACL existing, PSID users, DWORD access_mask, BYTE ace_flags);

// The control bits the new descriptor carries, from those of the file's
// current descriptor: auto-inherited (with the request bit) wins over protected.
SECURITY_DESCRIPTOR_CONTROL granted_control_bits(SECURITY_DESCRIPTOR_CONTROL existing);

// Gives BUILTIN\Users `access_mask` with the inheritance `ace_flags` on a
// file or folder, replacing the entries Users had. True, or throws `long`.
bool grant_access(const std::wstring& path, DWORD access_mask, BYTE ace_flags);

}  // namespace qv
