#include "engine/registry_entries.hpp"
#include "support/language_state.hpp"
#include "support/product_identity.hpp"
#include <cstdio>
#include "support/maker_contact.h"
#include "support/registry.hpp"

const wchar_t kMakerKey[] = L"Software\\Quorvane Systems";

namespace {

registry_value text_value(const wchar_t* name, std::wstring text) {
  registry_value v;
  v.name = name;
  v.type = REG_SZ;
  v.text = std::move(text);
  return v;
}

registry_value number_value(const wchar_t* name, DWORD number) {
  registry_value v;
  v.name = name;
  v.type = REG_DWORD;
  v.number = number;
  return v;
}

LSTATUS write_value(HKEY key, const registry_value& v) {
  if (v.type == REG_DWORD)
    return ::RegSetValueExW(key, v.name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number),
                            sizeof v.number);
  return ::RegSetValueExW(key, v.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                          static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

std::vector<registry_value> uninstall_values(const std::wstring& program_path, const std::wstring& uninstaller_path,
                                             const product_identity& product) {
  return {
      text_value(L"DisplayName", product.label),
      // The list of installed programs runs this as it stands: no quotes, no arguments.
      text_value(L"UninstallString", uninstaller_path),
      text_value(L"DisplayIcon", program_path + L",0"),
      text_value(L"DisplayVersion", product.version_text),
      text_value(L"Publisher", QV_MAKER_NAME),
      text_value(L"URLInfoAbout", QV_MAKER_WEB_ADDRESS),
      text_value(L"HelpLink", QV_MAKER_WEB_ADDRESS),
      text_value(L"URLUpdateInfo", QV_MAKER_WEB_ADDRESS),
      text_value(L"HelpTelephone", QV_MAKER_SUPPORT_TELEPHONE),
      number_value(L"NoModify", 1),
      number_value(L"NoRepair", 1),
      number_value(L"QvLanguage", static_cast<DWORD>(product.language)),
  };
}

bool write_uninstall_entry(const std::wstring& program_path, const std::wstring& uninstaller_path,
                           const product_identity& product, CInstallRecord& record) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallParentKey, 0, KEY_ALL_ACCESS, &raw) != ERROR_SUCCESS) return false;
  qv::reg_key parent(raw);

  bool written = false;
  {
    HKEY product_raw = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExW(parent, product.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &product_raw, &disposition) != ERROR_SUCCESS)
      return false;
    qv::reg_key key(product_raw);
    // An existing entry is saved before its values are overwritten, so that
    // a rollback can put it back; a new one is simply deleted then.
    // When the earlier values cannot be captured, none is overwritten: the
    // entry stays as it was and registry-OK is false.
    if (record.BeginUninstallKey(disposition == REG_OPENED_EXISTING_KEY ? key.get() : nullptr) != ERROR_SUCCESS) {
      key.reset();
      record.CommitItem(false);
      return false;
    }
    const std::vector<registry_value> values = uninstall_values(program_path, uninstaller_path, product);
    std::size_t main_values_written = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
      const bool ok = write_value(key, values[i]) == ERROR_SUCCESS;
      if (i < 2 && ok) ++main_values_written;
    }
    written = main_values_written == 2;
  }  // the product's key is closed before the item is committed
  record.CommitItem(written);
  return written;
}

std::wstring product_path_value_name(const product_identity& product) { return product.name + L" Path"; }

void write_product_path(const std::wstring& program_path, const product_identity& product) {
  qv::reg_key key = qv::create_key(HKEY_LOCAL_MACHINE, kMakerKey);
  qv::write_string(key, product_path_value_name(product), program_path);
}

product_identity current_product_identity() {
  product_identity product;
  product.name = GetProductName(kProductId);
  product.label = GetProductLabel(false);
  product.family = GetProductLabel(true);
  wchar_t version[32] = {};
  std::swprintf(version, 32, L"%u.%u.%u.%u", static_cast<unsigned>(kProductVersion >> 48),
                static_cast<unsigned>((kProductVersion >> 32) & 0xFFFF), static_cast<unsigned>((kProductVersion >> 16) & 0xFFFF),
                static_cast<unsigned>(kProductVersion & 0xFFFF));
  product.version_text = version;
  product.language = qv::get_language_state().index;
  return product;
}
