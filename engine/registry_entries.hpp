// The product's registry entries: its entry in the Windows list of installed
// programs (HKEY_LOCAL_MACHINE ...\CurrentVersion\Uninstall\<name>) and the
// product path value under the maker's key. No particular registry view is
// asked for: a 32-bit installer writes the 32-bit view.
#pragma once
#include "engine/installed_product.hpp"
#include "record/install_record.hpp"
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

// One value of the "Uninstall" entry, as it is stored.
struct registry_value {
  std::wstring name;
  DWORD type = REG_SZ;
  std::wstring text;     // REG_SZ, stored with its terminating zero
  DWORD number = 0;      // REG_DWORD
};

// The twelve values of the entry in the order they are written.
std::vector<registry_value> uninstall_values(const std::wstring& program_path, const std::wstring& uninstaller_path,
                                             const product_identity& product);

// Writes the entry and enters it in the record (its earlier contents saved
// when the key existed). True when the key could be opened or created and
// "DisplayName" and "UninstallString" were written.
bool write_uninstall_entry(const std::wstring& program_path, const std::wstring& uninstaller_path,
                           const product_identity& product, CInstallRecord& record);

// "Software\Quorvane Systems" and the value name "<name> Path".
extern const wchar_t kMakerKey[];
std::wstring product_path_value_name(const product_identity& product);

// Writes the product path value; throws std::system_error with the Windows
// code when the key cannot be created or the value cannot be written.
void write_product_path(const std::wstring& program_path, const product_identity& product);
