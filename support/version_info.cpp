#include "support/version_info.hpp"
#include "support/language_state.hpp"
#include "support/product_identity.hpp"
#include <cstdio>
#include <mutex>

namespace qv {

namespace {
struct resource_block {
  const void* data = nullptr;
  std::size_t size = 0;
};

const resource_block& own_resource() {
  static const resource_block block = [] {
    resource_block b;
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    if (!res) return b;
    HGLOBAL loaded = ::LoadResource(module, res);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return b;
    b.data = data;
    b.size = ::SizeofResource(module, res);
    return b;
  }();
  return block;
}

// One row of the maker's regional editions.
struct edition_row {
  unsigned first_product, last_product;
  const wchar_t* special_build;
  int language;  // interface language number
  const wchar_t* trade_name;
  const wchar_t* edition_name;
};

// Tavimora sold in the Alpine countries under a regional name, with a German interface.
constexpr edition_row kEditions[] = {
    {0x0100, 0x01FF, L"Edition Alpina", 2, L"Tavimora", L"Tavimora Alpina"},
};

const edition_row* find_edition(unsigned product_id, const std::wstring& special_build) {
  for (const edition_row& row : kEditions)
    if (product_id >= row.first_product && product_id <= row.last_product && special_build == row.special_build)
      return &row;
  return nullptr;
}

void replace_last(std::wstring& text, const std::wstring& what, const std::wstring& by) {
  std::wstring::size_type at = text.rfind(what);
  if (at != std::wstring::npos) text.replace(at, what.size(), by);
}
}  // namespace

version_info::version_info() {
  const resource_block& own = own_resource();
  block_ = own.data;
  size_ = block_ ? own.size : 0;
  parse();
}

version_info::version_info(const std::wstring& path) {
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size != 0) {
    owned_.assign(size, 0);
    if (::GetFileVersionInfoW(path.c_str(), 0, size, owned_.data())) {
      block_ = owned_.data();
      size_ = size;
    } else {
      owned_.clear();
    }
  }
  parse();
}

void version_info::parse() {
  if (size_ == 0) return;
  void* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block_, L"\\", &fixed, &length) || !fixed || length < sizeof(VS_FIXEDFILEINFO)) return;
  fixed_ = static_cast<const VS_FIXEDFILEINFO*>(fixed);

  void* pairs = nullptr;
  if (!::VerQueryValueW(block_, L"\\VarFileInfo\\Translation", &pairs, &length) || !pairs) return;
  const auto* words = static_cast<const WORD*>(pairs);
  for (UINT i = 0; i < length / 4; ++i) {
    WORD language = words[2 * i], code_page = words[2 * i + 1];
    if (code_page != 1200) continue;
    wchar_t key[9];
    std::swprintf(key, 9, L"%04hx%04hx", language, code_page);
    translations_.emplace_back(key);
  }
}

std::uint64_t version_info::file_version() const {
  if (!fixed_) return 0;
  return (static_cast<std::uint64_t>(fixed_->dwFileVersionMS) << 32) | fixed_->dwFileVersionLS;
}

std::uint32_t version_info::file_flags() const { return fixed_ ? fixed_->dwFileFlags & fixed_->dwFileFlagsMask : 0; }

std::wstring version_info::query(const std::wstring& name) const {
  if (size_ == 0 || translations_.empty()) return {};
  std::wstring sub = L"\\StringFileInfo\\" + translations_.front() + L"\\" + name;
  void* value = nullptr;
  UINT chars = 0;
  if (!::VerQueryValueW(block_, sub.c_str(), &value, &chars) || !value || chars == 0) return {};
  const auto* text = static_cast<const wchar_t*>(value);
  if (text[chars - 1] == L'\0') --chars;
  return std::wstring(text, chars);
}

std::wstring adjust_edition_name(std::wstring name, unsigned product_id, const std::wstring& special_build,
                                 int language) {
  const edition_row* row = find_edition(product_id, special_build);
  if (row && row->language == language) replace_last(name, row->trade_name, row->edition_name);
  return name;
}

std::wstring version_info::display_name() const {
  // The SpecialBuild value is looked at once per process, on the first
  // object asked for its display name.
  static const std::wstring special_build = query(L"SpecialBuild");
  return adjust_edition_name(product_name(), GetProductId(), special_build, get_language_state().index);
}

std::wstring version_display_text(const std::wstring& display_name, const std::wstring& product_version,
                                  std::uint32_t flags, LANGID interface_language) {
  std::wstring text = display_name;
  if (!product_version.empty()) text += L" " + product_version;
  if ((flags & VS_FF_PRERELEASE) && PRIMARYLANGID(interface_language) != LANG_FRENCH)
    replace_last(text, L"b\u00EAta", L"beta");
  if (flags & VS_FF_PRIVATEBUILD) text += L" \u2013 Private";
  if (flags & VS_FF_DEBUG) text += L" \u2013 Debug";
  return text;
}

std::wstring version_info::display_text() const {
  return version_display_text(display_name(), product_version(), file_flags(),
                              language_id(get_language_state().index));
}

}  // namespace qv
