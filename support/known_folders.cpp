#include "support/known_folders.hpp"
#include "support/errors.hpp"
#include "support/handle.hpp"
#include <knownfolders.h>
#include <mutex>
#include <optional>
#include <shlobj.h>

namespace qv {

namespace {
constexpr wchar_t kMakerFolder[] = L"Quorvane Systems";

// A value computed once; a computation that throws stores nothing, so the
// next call tries again.
class cached_folder {
public:
  template <typename Compute>
  std::wstring get(Compute compute) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!value_) value_ = compute();
    return *value_;
  }

private:
  std::mutex mutex_;
  std::optional<std::wstring> value_;
};
}  // namespace

std::wstring join_folder(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
  return folder + L'\\' + name;
}

std::wstring known_folder(const KNOWNFOLDERID& folder_id) {
  co_task_memory<wchar_t> path;
  HRESULT hr = ::SHGetKnownFolderPath(folder_id, KF_FLAG_DONT_VERIFY, nullptr, path.put());
  if (FAILED(hr)) throw_system_error(hr);
  return path ? std::wstring(path.get()) : std::wstring();
}

std::wstring documents_folder() {
  static cached_folder cache;
  return cache.get([] { return known_folder(FOLDERID_Documents); });
}

std::wstring common_data_folder() {
  static cached_folder cache;
  return cache.get([] { return join_folder(known_folder(FOLDERID_ProgramData), kMakerFolder); });
}

std::wstring roaming_data_folder() {
  static cached_folder cache;
  return cache.get([] { return join_folder(known_folder(FOLDERID_RoamingAppData), kMakerFolder); });
}

}  // namespace qv
