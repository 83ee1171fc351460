#include "record/install_record.hpp"
#include "app/product.hpp"
#include "record/path_utils.hpp"
#include "support/handle.hpp"
#include "support/registry.hpp"
#include "support/security.hpp"
#include <locale>
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

// Privileges are switched around a single registry call; whether switching
// works is not tested, the call that follows succeeds or fails on its own.
void switch_privilege(const wchar_t* name, bool enable) noexcept {
  try {
    qv::enable_privilege(name, enable);
  } catch (...) {
  }
}

void undo_uninstall_key(const RecordItem& item) noexcept {
  switch_privilege(L"SeRestorePrivilege", true);
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallParentKey, 0, KEY_ALL_ACCESS, &raw) == ERROR_SUCCESS) {
    qv::reg_key parent(raw);
    try {
      const std::wstring product = GetProductName(kProductId);
      if (!item.backupPath.empty()) {
        HKEY sub_raw = nullptr;
        if (::RegOpenKeyExW(parent, product.c_str(), 0, KEY_ALL_ACCESS, &sub_raw) == ERROR_SUCCESS) {
          qv::reg_key sub(sub_raw);
          ::RegRestoreKeyW(sub, item.backupPath.c_str(), 0);
        }
        delete_file(item.backupPath);
      } else {
        ::SHDeleteKeyW(parent, product.c_str());
      }
    } catch (...) {
    }
  }
  switch_privilege(L"SeRestorePrivilege", false);
}

}  // namespace

std::wstring UninstallKeyLogText() {
  return std::wstring(L"HKEY_LOCAL_MACHINE\\") + kUninstallParentKey + L"\\" + GetProductName(kProductId);
}

// ---- recording ----------------------------------------------------------------

void CInstallRecord::CreateFolders(const std::wstring& path) noexcept {
  try {
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, MAX_PATH - 1);  // longer paths are cut to 259 characters
    // The first component (the drive or the share) is never created.
    const wchar_t* component = ::PathFindNextComponentW(buffer);
    while (component && *component) {
      const wchar_t* next = ::PathFindNextComponentW(component);
      if (!next) break;
      std::wstring prefix(buffer, static_cast<std::size_t>(next - buffer));
      while (!prefix.empty() && (prefix.back() == L'\\' || prefix.back() == L'/')) prefix.pop_back();
      component = next;
      // "\\server\share" is a root, not something to create.
      if (prefix.empty() || ::PathIsRootW(prefix.c_str()) || ::PathIsDirectoryW(prefix.c_str())) continue;
      // The node exists before the folder does, so a created folder is never unrecorded.
      std::unique_ptr<RecordItem> item = make_item(ItemKind::Folder, prefix, true, -1);
      if (!::CreateDirectoryW(prefix.c_str(), nullptr)) return;
      ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, prefix.c_str(), nullptr);
      items.push_back(std::move(item));
    }
  } catch (...) {
  }
}

std::wstring CInstallRecord::MakeBackup(const wchar_t* source, bool copy) noexcept {
  try {
    wchar_t folder[MAX_PATH] = {};
    DWORD length = ::GetTempPathW(MAX_PATH, folder);
    // GetTempFileNameW needs room for the 14 characters it adds.
    if (length == 0 || length > MAX_PATH - 14) return {};
    wchar_t name[MAX_PATH] = {};
    if (!::GetTempFileNameW(folder, L"qv", 0, name)) return {};
    ::DeleteFileW(name);  // the name is reserved; the move, copy or key save puts the file there
    std::wstring result = name;
    if (!source) return result;

    DWORD attributes = ::GetFileAttributesW(source);
    ::SetFileAttributesW(source, FILE_ATTRIBUTE_NORMAL);
    BOOL done = copy ? ::CopyFileW(source, name, FALSE) : ::MoveFileW(source, name);
    if (done) {
      if (attributes != INVALID_FILE_ATTRIBUTES) {
        ::SetFileAttributesW(name, attributes);
        if (copy) ::SetFileAttributesW(source, attributes);
      }
      return result;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(source, attributes);
    ::DeleteFileW(name);  // a failed copy may leave part of the file behind
    return {};
  } catch (...) {
    return {};
  }
}

RecordItem* CInstallRecord::BeginItem(std::unique_ptr<RecordItem> item) noexcept {
  RecordItem* node = item.get();
  items.push_back(std::move(item));
  return node;
}

void CInstallRecord::BeginFile(const std::wstring& path, std::int32_t entryKind, bool copy) noexcept {
  try {
    std::unique_ptr<RecordItem> item = make_item(ItemKind::File, path, false, entryKind);
    itemOpen = true;
    wchar_t folder[MAX_PATH] = {};
    path.copy(folder, MAX_PATH - 1);
    ::PathRemoveFileSpecW(folder);
    CreateFolders(folder);
    RecordItem* node = BeginItem(std::move(item));
    if (path_exists(path)) node->backupPath = MakeBackup(path.c_str(), copy);
  } catch (...) {
  }
}

void CInstallRecord::BeginShortcut(int which, const std::wstring& folder) noexcept {
  try {
    ItemKind kind = which == 0   ? ItemKind::ProgramShortcut
                    : which == 1 ? ItemKind::UninstallShortcut
                                 : ItemKind::DesktopShortcut;
    std::unique_ptr<RecordItem> item = make_item(kind, std::wstring(), false, -1);
    itemOpen = true;
    CreateFolders(folder);
    RecordItem* node = BeginItem(std::move(item));
    // The earlier installation's shortcut of this kind leaves its place
    // before the new one is made.
    for (RecordItem* earlier = earlierItems.head(); earlier; earlier = earlier->next) {
      if (earlier->kind != kind) continue;
      if (!earlier->path.empty() && path_exists(earlier->path))
        node->backupPath = MakeBackup(earlier->path.c_str(), false);
      break;
    }
  } catch (...) {
  }
}

void CInstallRecord::BeginUninstallKey(HKEY existing) noexcept {
  try {
    std::unique_ptr<RecordItem> item = make_item(ItemKind::UninstallKey, std::wstring(), false, -1);
    itemOpen = true;
    RecordItem* node = BeginItem(std::move(item));
    if (!existing) return;  // a new key: rollback deletes it
    node->backupPath = MakeBackup(nullptr, false);
    if (node->backupPath.empty()) return;
    switch_privilege(L"SeBackupPrivilege", true);
    LSTATUS rc = ::RegSaveKeyW(existing, node->backupPath.c_str(), nullptr);
    switch_privilege(L"SeBackupPrivilege", false);
    if (rc != ERROR_SUCCESS) {
      delete_file(node->backupPath);
      node->backupPath.clear();
    }
  } catch (...) {
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
  if (path) {
    try {
      item->path = path;
    } catch (...) {
    }
  }
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
        delete_file(item->path);
        if (!item->backupPath.empty()) restore_backup(item->backupPath, item->path);
        break;
      case ItemKind::ProgramShortcut:
      case ItemKind::UninstallShortcut:
      case ItemKind::DesktopShortcut: {
        delete_file(item->path);
        if (item->backupPath.empty()) break;
        // The backup is the earlier installation's shortcut of this kind,
        // taken from where its own item says it lived; it goes back there.
        const RecordItem* earlier = earlierItems.head();
        while (earlier && earlier->kind != item->kind) earlier = earlier->next;
        if (earlier && !earlier->path.empty())
          restore_backup(item->backupPath, earlier->path);
        else
          delete_file(item->backupPath);
        break;
      }
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

void CInstallRecord::MergeEarlierItems() noexcept {
  while (std::unique_ptr<RecordItem> earlier = earlierItems.pop_back()) {
    bool duplicate = false;
    for (const RecordItem* item = items.head(); item && !duplicate; item = item->next) {
      if (item->kind != earlier->kind) continue;
      duplicate = (earlier->kind == ItemKind::Folder || earlier->kind == ItemKind::File)
                      ? same_path(item->path, earlier->path)
                      : true;
    }
    if (!duplicate) items.push_front(std::move(earlier));
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

bool CInstallRecord::WriteLog(const std::wstring& logPath, const std::wstring& installFolder,
                              const std::wstring& menuFolder) noexcept {
  bool ok = false;
  MergeEarlierItems();
  ::SetFileAttributesW(logPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  qv::unique_handle file(::CreateFileW(logPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
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
      for (const std::wstring& text : header) ok = write_line(file.get(), L"// " + text) && ok;

      std::size_t index = 0;
      for (RecordItem* item = items.head(); item; item = item->next, ++index) {
        if (item->kind == ItemKind::UninstallKey)
          item->path = UninstallKeyLogText();
        else if (item->kind == ItemKind::ClassesRootEntries)
          item->path = kClassesRootLogText;
        ok = write_line(file.get(), FormatLogEntry(index, *item)) && ok;
      }
    } catch (...) {
      ok = false;
    }
    file.reset();
    ::SetFileAttributesW(logPath.c_str(),
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  }
  // A finished run keeps no backups, whether or not the log could be written.
  DeleteBackups();
  return ok;
}
