#include "record/install_record.hpp"
#include "support/product_identity.hpp"
#include "record/path_utils.hpp"
#include "support/handle.hpp"
#include "support/registry.hpp"
#include <algorithm>
#include <locale>
#include <unordered_set>
#include <shlobj.h>
#include <shlwapi.h>
#include <sstream>

// ---- RecordList -------------------------------------------------------------

std::size_t RecordList::size() const {
  std::size_t n = 0;
  for (RecordItem* i = head_; i; i = i->next) ++n;
  return n;
}

void RecordList::push_back(std::unique_ptr<RecordItem> item) noexcept {
  RecordItem* node = item.release();
  if (!node) return;
  node->next = nullptr;
  node->prev = tail_;
  if (tail_)
    tail_->next = node;
  else
    head_ = node;
  tail_ = node;
}

void RecordList::push_front(std::unique_ptr<RecordItem> item) noexcept {
  RecordItem* node = item.release();
  if (!node) return;
  node->prev = nullptr;
  node->next = head_;
  if (head_)
    head_->prev = node;
  else
    tail_ = node;
  head_ = node;
}

std::unique_ptr<RecordItem> RecordList::pop_back() noexcept {
  RecordItem* node = tail_;
  if (!node) return nullptr;
  tail_ = node->prev;
  if (tail_)
    tail_->next = nullptr;
  else
    head_ = nullptr;
  node->prev = node->next = nullptr;
  return std::unique_ptr<RecordItem>(node);
}

void RecordList::clear() noexcept {
  while (tail_) pop_back();
}

// ---- helpers ------------------------------------------------------------------

namespace {

std::unique_ptr<RecordItem> make_item(ItemKind kind, const std::wstring& path, bool committed,
                                      std::int32_t entry_kind) {
  auto item = std::make_unique<RecordItem>();
  item->kind = kind;
  item->path = path;
  item->committed = committed;
  item->entryKind = entry_kind;
  return item;
}

void delete_file(const std::wstring& path) noexcept {
  if (path.empty()) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

// Puts a backup back at `target` with the attributes the backup carries.
void restore_backup(const std::wstring& backup, const std::wstring& target) noexcept {
  DWORD attributes = ::GetFileAttributesW(backup.c_str());
  ::SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::MoveFileW(backup.c_str(), target.c_str())) {
    if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(target.c_str(), attributes);
  } else if (attributes != INVALID_FILE_ATTRIBUTES) {
    ::SetFileAttributesW(backup.c_str(), attributes);
  }
}

void undo_uninstall_key(const RecordItem& item) noexcept {
  // A key whose earlier contents could not be captured is never deleted.
  if (item.leaveOnRollback) return;
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallParentKey, 0, KEY_ALL_ACCESS, &raw) != ERROR_SUCCESS) return;
  qv::reg_key parent(raw);
  try {
    const std::wstring product = GetProductName(kProductId);
    if (!item.savedKey) {
      ::SHDeleteKeyW(parent, product.c_str());  // the run created it
      return;
    }
    // The run may have deleted the key on its way; it comes back.
    HKEY sub_raw = nullptr;
    if (::RegCreateKeyExW(parent, product.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &sub_raw, nullptr) != ERROR_SUCCESS)
      return;
    qv::reg_key sub(sub_raw);
    RestoreKey(sub, *item.savedKey);
  } catch (...) {
  }
}

// The elements of an absolute path "X:\a\b" when it is plainly spelt: no
// "/" and no empty, "." or ".." element, nothing that the file system would
// read otherwise (a stream after ":", wildcards, an element ending in a dot
// or a blank, which Windows drops). Empty for anything else.
std::vector<std::wstring> plain_elements(const std::wstring& path) {
  std::vector<std::wstring> out;
  if (path.size() < 3 || path[1] != L':' || path[2] != L'\\') return {};
  const wchar_t drive = path[0];
  if (!((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z'))) return {};
  out.push_back(std::wstring(1, static_cast<wchar_t>(drive & ~0x20)) + L":");
  std::size_t at = 3;
  while (at <= path.size()) {
    std::size_t end = path.find(L'\\', at);
    if (end == std::wstring::npos) end = path.size();
    std::wstring element = path.substr(at, end - at);
    if (element.empty()) {
      if (end == path.size()) break;  // one trailing separator
      return {};
    }
    if (element == L"." || element == L".." || element.back() == L'.' || element.back() == L' ') return {};
    if (element.find_first_of(L"/:*?\"<>|") != std::wstring::npos) return {};
    for (wchar_t c : element)
      if (c < 0x20) return {};
    ::CharUpperBuffW(&element[0], static_cast<DWORD>(element.size()));
    out.push_back(std::move(element));
    at = end + 1;
  }
  return out;
}

// True when `inner` lies below `outer` (with `or_equal`, or is `outer`).
bool lies_in(const std::vector<std::wstring>& inner, const std::vector<std::wstring>& outer, bool or_equal) {
  if (inner.empty() || outer.empty() || inner.size() < outer.size()) return false;
  if (inner.size() == outer.size() && !or_equal) return false;
  return std::equal(outer.begin(), outer.end(), inner.begin());
}

// True when a folder on the way to `path`, or `path` itself, is a link or a
// junction: what lies behind it is not where the path seems to lead.
bool reaches_through_link(const std::wstring& path) noexcept {
  try {
    for (std::size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
      const std::wstring prefix = at == std::wstring::npos ? path : path.substr(0, at);
      DWORD attributes = ::GetFileAttributesW(prefix.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
      if (at == std::wstring::npos) return false;
    }
  } catch (...) {
    return true;
  }
}

// Whatever stands at `path`, without following a link: a file, a folder, a
// link or a junction (or something that cannot be asked about).
bool something_at(const std::wstring& path) noexcept {
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = ::GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace

bool IsProductPath(const ProductPlaces& places, ItemKind kind, const std::wstring& path) {
  if (kind == ItemKind::UninstallKey || kind == ItemKind::ClassesRootEntries) return true;
  const bool shortcut = kind == ItemKind::ProgramShortcut || kind == ItemKind::UninstallShortcut ||
                        kind == ItemKind::DesktopShortcut;
  if (shortcut && path.empty()) return true;  // never made: nothing to act on
  const std::vector<std::wstring> elements = plain_elements(path);
  if (elements.size() < 2) return false;
  if (shortcut) {
    const std::wstring& name = elements.back();
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, L".LNK") != 0) return false;
  }
  for (const std::wstring& folder : places.shellFolders)
    if (lies_in(elements, plain_elements(folder), false)) return true;
  if (shortcut) return false;
  for (const std::wstring& folder : places.productFolders) {
    const std::vector<std::wstring> product = plain_elements(folder);
    if (kind == ItemKind::File) {
      if (lies_in(elements, product, false)) return true;
      continue;
    }
    if (lies_in(elements, product, true)) return true;
    // The maker's folder directly above the product's, created with it.
    if (product.size() > 2 && elements.size() == product.size() - 1 &&
        std::equal(elements.begin(), elements.end(), product.begin()))
      return true;
  }
  return false;
}

std::wstring UninstallKeyLogText() {
  return std::wstring(L"HKEY_LOCAL_MACHINE\\") + kUninstallParentKey + L"\\" + GetProductName(kProductId);
}

// ---- recording ----------------------------------------------------------------

void CInstallRecord::CreateFolders(const std::wstring& path) noexcept { MakeFolders(path); }

DWORD CInstallRecord::MakeFolders(const std::wstring& path) noexcept {
  try {
    // A path is never cut to fit: the shorter path would name another folder.
    if (path.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, MAX_PATH - 1);
    // The shell's component functions know only "\"; "/" separates as well.
    for (wchar_t& c : buffer)
      if (c == L'/') c = L'\\';
    // The first component (the drive or the share) is never created.
    const wchar_t* component = ::PathFindNextComponentW(buffer);
    while (component && *component) {
      const wchar_t* next = ::PathFindNextComponentW(component);
      if (!next) break;
      std::wstring prefix(buffer, static_cast<std::size_t>(next - buffer));
      while (!prefix.empty() && prefix.back() == L'\\') prefix.pop_back();
      component = next;
      // "\\server\share" is a root, not something to create.
      if (prefix.empty() || ::PathIsRootW(prefix.c_str()) || ::PathIsDirectoryW(prefix.c_str())) continue;
      // The node exists before the folder does, so a created folder is never unrecorded.
      std::unique_ptr<RecordItem> item = make_item(ItemKind::Folder, prefix, true, -1);
      if (!::CreateDirectoryW(prefix.c_str(), nullptr)) {
        DWORD error = ::GetLastError();
        return error ? error : ERROR_PATH_NOT_FOUND;
      }
      ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, prefix.c_str(), nullptr);
      items.push_back(std::move(item));
    }
    std::wstring whole(buffer);
    if (whole.empty() || ::PathIsRootW(whole.c_str()) || ::PathIsDirectoryW(whole.c_str())) return ERROR_SUCCESS;
    return ERROR_PATH_NOT_FOUND;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

std::wstring CInstallRecord::MakeBackup(const wchar_t* source, bool copy, DWORD* error) noexcept {
  DWORD failure = ERROR_SUCCESS;
  std::wstring result;
  try {
    wchar_t folder[MAX_PATH] = {};
    DWORD length = ::GetTempPathW(MAX_PATH, folder);
    // GetTempFileNameW needs room for the 14 characters it adds.
    if (length == 0) {
      failure = ::GetLastError();
    } else if (length > MAX_PATH - 14) {
      failure = ERROR_FILENAME_EXCED_RANGE;
    } else {
      wchar_t name[MAX_PATH] = {};
      if (!::GetTempFileNameW(folder, L"qv", 0, name)) {
        failure = ::GetLastError();
      } else {
        ::DeleteFileW(name);  // the name is reserved; the move, copy or key save puts the file there
        if (!source) {
          result = name;
        } else {
          DWORD attributes = ::GetFileAttributesW(source);
          ::SetFileAttributesW(source, FILE_ATTRIBUTE_NORMAL);
          BOOL done = copy ? ::CopyFileW(source, name, FALSE) : ::MoveFileW(source, name);
          if (done) {
            if (attributes != INVALID_FILE_ATTRIBUTES) {
              ::SetFileAttributesW(name, attributes);
              if (copy) ::SetFileAttributesW(source, attributes);
            }
            result = name;
          } else {
            failure = ::GetLastError();
            if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(source, attributes);
            ::DeleteFileW(name);  // a failed copy may leave part of the file behind
          }
        }
      }
    }
  } catch (...) {
    result.clear();
    failure = ERROR_NOT_ENOUGH_MEMORY;
  }
  if (result.empty() && failure == ERROR_SUCCESS) failure = ERROR_CANNOT_MAKE;
  if (error) *error = result.empty() ? failure : ERROR_SUCCESS;
  return result;
}

RecordItem* CInstallRecord::BeginItem(std::unique_ptr<RecordItem> item) noexcept {
  RecordItem* node = item.get();
  items.push_back(std::move(item));
  return node;
}

DWORD CInstallRecord::BeginFile(const std::wstring& path, std::int32_t entryKind, bool copy) noexcept {
  RecordItem* node = nullptr;
  DWORD result = ERROR_SUCCESS;
  try {
    std::unique_ptr<RecordItem> item = make_item(ItemKind::File, path, false, entryKind);
    itemOpen = true;
    std::wstring folder = path;
    for (wchar_t& c : folder)
      if (c == L'/') c = L'\\';
    std::wstring::size_type slash = folder.find_last_of(L'\\');
    folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
    if (path.size() >= MAX_PATH) result = ERROR_FILENAME_EXCED_RANGE;
    else if (!folder.empty()) result = MakeFolders(folder);
    node = BeginItem(std::move(item));
    if (result != ERROR_SUCCESS) {
      node->leaveOnRollback = true;
      return result;
    }
    // Links are not followed: a link or junction at the path is moved aside
    // like a file, so that the new file is created at the path itself.
    if (!something_at(path)) return ERROR_SUCCESS;
    if (copy) {
      // Taken over as it is: the run does not write it, rollback leaves it.
      node->leaveOnRollback = true;
      return ERROR_SUCCESS;
    }
    node->backupPath = MakeBackup(path.c_str(), false, &result);
    if (result != ERROR_SUCCESS) node->leaveOnRollback = true;
    return result;
  } catch (...) {
    if (node) node->leaveOnRollback = true;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

DWORD CInstallRecord::BeginShortcut(int which, const std::wstring& folder) noexcept {
  try {
    ItemKind kind = which == 0   ? ItemKind::ProgramShortcut
                    : which == 1 ? ItemKind::UninstallShortcut
                                 : ItemKind::DesktopShortcut;
    std::unique_ptr<RecordItem> item = make_item(kind, std::wstring(), false, -1);
    itemOpen = true;
    DWORD result = MakeFolders(folder);
    RecordItem* node = BeginItem(std::move(item));
    if (result != ERROR_SUCCESS) return result;
    // The earlier installation's shortcut of this kind leaves its place
    // before the new one is made.
    for (RecordItem* earlier = earlierItems.head(); earlier; earlier = earlier->next) {
      if (earlier->kind != kind) continue;
      if (!earlier->path.empty() && something_at(earlier->path)) {
        // A shortcut only: never a folder, nor anything reached through a link.
        if (!IsProductPath(productPlaces, kind, earlier->path) || reaches_through_link(earlier->path))
          break;
        node->backupPath = MakeBackup(earlier->path.c_str(), false, &result);
      }
      break;
    }
    return result;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

DWORD CInstallRecord::BeginUninstallKey(HKEY existing) noexcept {
  RecordItem* node = nullptr;
  try {
    std::unique_ptr<RecordItem> item = make_item(ItemKind::UninstallKey, std::wstring(), false, -1);
    itemOpen = true;
    node = BeginItem(std::move(item));
    if (!existing) return ERROR_SUCCESS;  // a new key: rollback deletes it
    auto saved = std::make_shared<SavedKey>();
    LSTATUS rc = CaptureKey(existing, *saved);
    if (rc != ERROR_SUCCESS) {
      node->leaveOnRollback = true;
      return static_cast<DWORD>(rc);
    }
    node->savedKey = std::move(saved);
    return ERROR_SUCCESS;
  } catch (...) {
    if (node) node->leaveOnRollback = true;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

void CInstallRecord::BeginClassesRootEntries() noexcept {
  try {
    std::unique_ptr<RecordItem> item = make_item(ItemKind::ClassesRootEntries, std::wstring(), false, -1);
    itemOpen = true;
    BeginItem(std::move(item));
  } catch (...) {
  }
}

void CInstallRecord::CommitItem(bool succeeded, const wchar_t* path) noexcept {
  if (!itemOpen) return;
  itemOpen = false;
  RecordItem* item = items.tail();
  if (!item) return;
  item->committed = succeeded;
  // A shortcut that could not be made gives the earlier one its place back
  // at once: the run goes on, and a later WriteLog would delete the backup.
  if (!succeeded && (item->kind == ItemKind::ProgramShortcut || item->kind == ItemKind::UninstallShortcut ||
                     item->kind == ItemKind::DesktopShortcut))
    RestoreEarlierShortcut(*item);
  if (path) {
    try {
      item->path = path;
    } catch (...) {
    }
  }
}

void CInstallRecord::RestoreEarlierShortcut(RecordItem& item) noexcept {
  if (item.backupPath.empty()) return;
  // The backup is the earlier installation's shortcut of this kind, taken
  // from where its own item says it lived; it goes back there.
  const RecordItem* earlier = earlierItems.head();
  while (earlier && earlier->kind != item.kind) earlier = earlier->next;
  if (earlier && !earlier->path.empty())
    restore_backup(item.backupPath, earlier->path);
  else
    delete_file(item.backupPath);
  item.backupPath.clear();
}

bool CInstallRecord::IsEarlierFile(const std::wstring& path) const noexcept {
  for (const RecordItem* item = earlierItems.head(); item; item = item->next)
    if (item->kind == ItemKind::File && item->committed && item->path == path) return true;
  return false;
}

// ---- rollback -----------------------------------------------------------------

void CInstallRecord::Rollback() noexcept {
  itemOpen = false;
  while (std::unique_ptr<RecordItem> item = items.pop_back()) {
    switch (item->kind) {
      case ItemKind::Folder:
        ::RemoveDirectoryW(item->path.c_str());  // a folder that still holds anything stays
        break;
      case ItemKind::UninstallKey:
        undo_uninstall_key(*item);
        break;
      case ItemKind::ClassesRootEntries:
        break;
      case ItemKind::File:
        if (item->leaveOnRollback) break;  // the run did not write it
        delete_file(item->path);
        if (!item->backupPath.empty()) restore_backup(item->backupPath, item->path);
        break;
      case ItemKind::ProgramShortcut:
      case ItemKind::UninstallShortcut:
      case ItemKind::DesktopShortcut:
        delete_file(item->path);
        RestoreEarlierShortcut(*item);
        break;
    }
  }
}

// ---- the log ------------------------------------------------------------------

std::wstring LogHeaderInstallLine(const std::wstring& earlierVersionText) {
  std::wstring line = L"Install " + GetProductLabel(false);
  if (!earlierVersionText.empty()) line += L" -- Update (" + earlierVersionText + L")";
  return line;
}

std::wstring FormatLogEntry(std::size_t index, const RecordItem& item) {
  std::wostringstream out;
  // Indices are never grouped, whatever the process locale says: every
  // reader of the log parses them as plain digits.
  out.imbue(std::locale(std::locale(), new std::numpunct<wchar_t>()));
  out.fill(L'0');
  unsigned code = (static_cast<unsigned>(item.kind) << 8) + (static_cast<unsigned>(item.entryKind) & 0xFFu);
  out << std::dec;
  out.width(4);
  out << index << L':' << std::hex << std::nouppercase;
  out.width(4);
  out << code << L':' << std::dec;
  out.width(1);
  out << (item.committed ? 1 : 0) << L" -- " << item.path;
  return out.str();
}

namespace {
// What makes two folder or file items the same for the merge: the
// normalised absolute path, letters compared without case. Spellings that
// differ only so are one item, as same_path has it, without asking the file
// system about every pair.
std::wstring identity_key(const std::wstring& path) {
  std::wstring key = make_absolute(fs::path(path)).native();
  while (key.size() > 3 && key.back() == L'\\') key.pop_back();
  if (!key.empty()) ::CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
  return key;
}
}  // namespace

void CInstallRecord::MergeEarlierItems() noexcept {
  try {
    // Identities present in `items`, kept up to date as earlier items join
    // it at the head: a new item displaces an earlier one of the same
    // identity, and of earlier items that match one another the last one
    // in the earlier log survives.
    std::unordered_set<std::wstring> folders, files;
    bool kinds[7] = {};
    auto note = [&](const RecordItem& item) {
      if (item.kind == ItemKind::Folder)
        folders.insert(identity_key(item.path));
      else if (item.kind == ItemKind::File)
        files.insert(identity_key(item.path));
      else
        kinds[static_cast<int>(item.kind)] = true;
    };
    // A shortcut, key or class entry of this run displaces the earlier one
    // only when it was made: an earlier shortcut put back after its
    // successor failed stays in the log for the uninstaller.
    for (const RecordItem* item = items.head(); item; item = item->next)
      if (item->committed || item->kind == ItemKind::Folder || item->kind == ItemKind::File) note(*item);
    while (std::unique_ptr<RecordItem> earlier = earlierItems.pop_back()) {
      bool duplicate;
      if (earlier->kind == ItemKind::Folder)
        duplicate = folders.count(identity_key(earlier->path)) != 0;
      else if (earlier->kind == ItemKind::File)
        duplicate = files.count(identity_key(earlier->path)) != 0;
      else
        duplicate = kinds[static_cast<int>(earlier->kind)];
      if (duplicate) continue;
      note(*earlier);
      items.push_front(std::move(earlier));
    }
  } catch (...) {
    // Out of memory: the earlier items that were not merged are dropped.
    earlierItems.clear();
  }
}

void CInstallRecord::DeleteBackups() noexcept {
  for (RecordItem* item = items.head(); item; item = item->next) {
    if (item->backupPath.empty()) continue;
    delete_file(item->backupPath);
    item->backupPath.clear();
  }
}

namespace {
bool write_units(HANDLE file, const std::wstring& text) noexcept {
  DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  DWORD written = 0;
  return ::WriteFile(file, text.data(), bytes, &written, nullptr) && written == bytes;
}

bool write_line(HANDLE file, const std::wstring& text) noexcept {
  try {
    return write_units(file, text + L"\r\n");
  } catch (...) {
    return false;
  }
}
}  // namespace

namespace {
// A fresh file beside `target` for the new log: same folder, so that it can
// replace the earlier one in one rename. Empty on failure.
std::wstring temporary_beside(const std::wstring& target) {
  std::wstring folder = target;
  std::wstring::size_type slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  if (folder.size() > MAX_PATH - 14) return {};
  wchar_t name[MAX_PATH] = {};
  if (!::GetTempFileNameW(folder.c_str(), L"qvl", 0, name)) return {};
  return name;
}
}  // namespace

bool CInstallRecord::WriteLog(const std::wstring& logPath, const std::wstring& installFolder,
                              const std::wstring& menuFolder) noexcept {
  bool ok = false;
  MergeEarlierItems();
  std::wstring temporary;
  try {
    temporary = temporary_beside(logPath);
  } catch (...) {
  }
  qv::unique_file file;
  if (!temporary.empty())
    file.reset(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
  if (file) {
    ok = true;
    DWORD written = 0;
    static const unsigned char bom[2] = {0xFF, 0xFE};
    if (!::WriteFile(file.get(), bom, 2, &written, nullptr) || written != 2) ok = false;
    try {
      const std::wstring shortcut_line = L"Shortcut Path : " + menuFolder;
      const std::wstring header[6] = {
          L"Uninstall Log File v1",
          L"############ WARNING: Do not delete or modify this file. ############",
          LogHeaderInstallLine(earlierVersionText),
          L"Install Path : " + installFolder,
          shortcut_line,
          std::wstring(shortcut_line.size(), L'-'),
      };
      for (const std::wstring& text : header) ok = ok && write_line(file.get(), L"// " + text);

      std::size_t index = 0;
      for (RecordItem* item = items.head(); item; item = item->next, ++index) {
        if (item->kind == ItemKind::UninstallKey)
          item->path = UninstallKeyLogText();
        else if (item->kind == ItemKind::ClassesRootEntries)
          item->path = kClassesRootLogText;
        // After a failed write the file is thrown away; writing on only costs time.
        ok = ok && write_line(file.get(), FormatLogEntry(index, *item));
      }
    } catch (...) {
      ok = false;
    }
    ok = ::FlushFileBuffers(file.get()) && ok;
    file.reset();
  }
  if (ok) {
    ::SetFileAttributesW(temporary.c_str(),
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    // The earlier log is read-only as an earlier run left it; a rename over
    // a read-only file is refused.
    const DWORD earlier = ::GetFileAttributesW(logPath.c_str());
    if (earlier != INVALID_FILE_ATTRIBUTES && (earlier & FILE_ATTRIBUTE_READONLY))
      ::SetFileAttributesW(logPath.c_str(), earlier & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    ok = ::MoveFileExW(temporary.c_str(), logPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok && earlier != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(logPath.c_str(), earlier);
  }
  if (!ok && !temporary.empty()) delete_file(temporary);
  // A finished run keeps no backups, whether or not the log could be written.
  DeleteBackups();
  return ok;
}
