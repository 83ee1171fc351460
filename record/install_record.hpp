// The installation record: every change the installation run makes is
// entered here before it is made, so that a failed run can be undone and a
// successful one can leave the uninstall log "Uninstall.ulog" for the
// product's uninstaller. An update also carries the earlier installation's
// items (read from its log at start-up) into the new log.
//
// Nothing in here throws or shows anything; failures are absorbed where
// they happen and only WriteLog reports a result.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

enum class ItemKind : std::int32_t {
  Folder = 0,              // a folder this run created
  File = 1,                // a file written from the payload, or one taken over
  ProgramShortcut = 2,     // Start-menu shortcut to the program
  UninstallShortcut = 3,   // Start-menu shortcut to the uninstaller
  DesktopShortcut = 4,     // the desktop shortcut
  UninstallKey = 5,        // the product's key under ...\CurrentVersion\Uninstall
  ClassesRootEntries = 6,  // what the program registers under HKEY_CLASSES_ROOT
};

struct RecordItem {
  ItemKind kind = ItemKind::Folder;
  std::wstring path;        // empty for kinds 5 and 6 until WriteLog, for a shortcut until its commit
  std::wstring backupPath;  // temporary file holding what the item replaced; empty when nothing
  bool committed = false;
  std::int32_t entryKind = -1;  // payload entry kind 0 to 4 for a file, else -1
  RecordItem* prev = nullptr;
  RecordItem* next = nullptr;
};

// A doubly linked list that owns its nodes.
class RecordList {
public:
  RecordList() = default;
  ~RecordList() { clear(); }
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  RecordItem* head() const { return head_; }
  RecordItem* tail() const { return tail_; }
  bool empty() const { return head_ == nullptr; }
  std::size_t size() const;

  void push_back(std::unique_ptr<RecordItem> item) noexcept;
  void push_front(std::unique_ptr<RecordItem> item) noexcept;
  // Unlinks the tail node and hands it over; null when the list is empty.
  std::unique_ptr<RecordItem> pop_back() noexcept;
  void clear() noexcept;

private:
  RecordItem* head_ = nullptr;
  RecordItem* tail_ = nullptr;
};

// The fixed texts the log carries for the two registry items.
std::wstring UninstallKeyLogText();
constexpr wchar_t kClassesRootLogText[] = L"HKEY_CLASSES_ROOT\\...";
// The product's key below HKEY_LOCAL_MACHINE.
constexpr wchar_t kUninstallParentKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

class CInstallRecord {
public:
  CInstallRecord() = default;
  CInstallRecord(const CInstallRecord&) = delete;
  CInstallRecord& operator=(const CInstallRecord&) = delete;

  // Creates every missing folder along `path` (the root excepted) and
  // records each one it creates, outermost first.
  void CreateFolders(const std::wstring& path) noexcept;
  // Moves (or, with `copy`, copies) `source` to a fresh temporary file and
  // returns its name; without a source only reserves a free name. Empty on
  // failure.
  std::wstring MakeBackup(const wchar_t* source, bool copy) noexcept;

  void BeginFile(const std::wstring& path, std::int32_t entryKind, bool copy) noexcept;
  // which: 0 program shortcut, 1 uninstaller shortcut, anything else desktop.
  void BeginShortcut(int which, const std::wstring& folder) noexcept;
  // `existing` is the product's uninstall key when it existed before the
  // run (its contents are saved), null when the run created it.
  void BeginUninstallKey(HKEY existing) noexcept;
  void BeginClassesRootEntries() noexcept;
  // Closes the open item; a path, when given, becomes the item's path.
  void CommitItem(bool succeeded, const wchar_t* path = nullptr) noexcept;

  // A committed earlier File item of exactly this path (case-sensitive).
  bool IsEarlierFile(const std::wstring& path) const noexcept;

  // Undoes every item of this run, newest first, and empties the list.
  void Rollback() noexcept;
  // Merges the earlier items, writes the log, deletes every backup. True
  // when the file was created and every write succeeded.
  bool WriteLog(const std::wstring& logPath, const std::wstring& installFolder,
                const std::wstring& menuFolder) noexcept;
  // Reads an earlier log (null: none; only clears the earlier folders).
  void ReadLog(const wchar_t* logPath) noexcept;

  std::wstring earlierInstallFolder;
  std::wstring earlierShortcutFolder;
  RecordList earlierItems;
  RecordList items;
  bool itemOpen = false;
  std::wstring earlierVersionText;

private:
  // Appends an item of this run and opens it.
  RecordItem* BeginItem(std::unique_ptr<RecordItem> item) noexcept;
  void MergeEarlierItems() noexcept;
  void DeleteBackups() noexcept;
};

// Pieces of the log format, for the writer and for tests.
// Line 3 of the header: "Install " + label (+ " -- Update (" + earlier + ")").
std::wstring LogHeaderInstallLine(const std::wstring& earlierVersionText);
// One entry line without its line end: index (at least four digits, never
// grouped), code (four hexadecimal digits), state, " -- " and the path.
std::wstring FormatLogEntry(std::size_t index, const RecordItem& item);
