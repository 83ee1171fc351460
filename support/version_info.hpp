// Version resources: the executable's own (located once per process) or a
// file's; the fixed file version, the strings of the first Unicode
// translation, and the text users see for a version.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class version_info {
public:
  // The executable's own version resource, used in place.
  version_info();
  // The version resource of the file `path`.
  explicit version_info(const std::wstring& path);
  version_info(const version_info&) = delete;
  version_info& operator=(const version_info&) = delete;

  bool has_fixed_data() const { return fixed_ != nullptr; }
  // (dwFileVersionMS << 32) | dwFileVersionLS; 0 without fixed data.
  std::uint64_t file_version() const;
  // dwFileFlags & dwFileFlagsMask; 0 without fixed data.
  std::uint32_t file_flags() const;
  // The string `name` of the first translation with code page 1200.
  std::wstring query(const std::wstring& name) const;
  std::wstring product_name() const { return query(L"ProductName"); }
  std::wstring product_version() const { return query(L"ProductVersion"); }
  std::wstring legal_copyright() const { return query(L"LegalCopyright"); }
  // The product name with the edition adjustment.
  std::wstring display_name() const;
  // Display name, product version and the build markers.
  std::wstring display_text() const;
  const std::vector<std::wstring>& translations() const { return translations_; }

private:
  void parse();

  std::vector<std::uint8_t> owned_;  // a file's block; empty for the executable's own
  const void* block_ = nullptr;
  std::size_t size_ = 0;
  const VS_FIXEDFILEINFO* fixed_ = nullptr;
  std::vector<std::wstring> translations_;  // keys such as 040904b0
};

// The edition adjustment of a product name (pure, for tests): for a product
// whose identifier lies in a row's range, a "SpecialBuild" value naming the
// row's edition together with the row's interface language replaces the
// last occurrence of the trade name by the edition's name.
std::wstring adjust_edition_name(std::wstring name, unsigned product_id, const std::wstring& special_build,
                                 int language);

// Text markers of display_text (pure, for tests).
std::wstring version_display_text(const std::wstring& display_name, const std::wstring& product_version,
                                  std::uint32_t flags, LANGID interface_language);

}  // namespace qv
