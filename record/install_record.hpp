// The installation record: every change the installation run makes is
// entered here before it is made, so that a failed run can be undone and a
// successful one can leave the uninstall log "Uninstall.ulog" for the
// product's uninstaller. An update also carries the earlier installation's
// items (read from its log at start-up) into the new log.
//
// Nothing in here throws or shows anything. The begin operations report
// through their result when the change they protect must not be made (see
// BeginFile), WriteLog reports whether the log was written; every other
// failure is absorbed where it happens.
#pragma once
#include "record/saved_key.hpp"
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  // The path (or the key) still holds what was there before the run: a file
  // taken over in place, or one whose earlier version could not be moved
  // aside, a key whose contents could not be captured. Rollback leaves it.
  bool leaveOnRollback = false;
  // The uninstall key's contents before the run (kind 5 only).
  std::shared_ptr<const SavedKey> savedKey;
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

// Where this product puts things on this machine, resolved as the
// installation resolves them. An earlier log is read from a file that anyone
// may have put beside setup.exe, and this program runs elevated: an entry of
// it is believed only when it names a path in one of these places.
struct ProductPlaces {
  // The earlier installation folder and the product's common-data folder:
  // files below them, the folders themselves, their sub-folders and the
  // maker's folder directly above them.
  std::vector<std::wstring> productFolders;
  // The Start-menu program folders and the desktop folders: shortcut
  // (".lnk") files, other files (the samples) and folders below them.
  std::vector<std::wstring> shellFolders;
};
// True when an earlier entry of this kind may name `path` (see ProductPlaces);
// kinds 5 and 6 carry no path and are always believed, as is a shortcut
// entry whose shortcut was never made (empty path).
bool IsProductPath(const ProductPlaces& places, ItemKind kind, const std::wstring& path);

// An earlier log longer than this is not read at all.
constexpr std::size_t kMaxEarlierEntries = 100000;
constexpr std::uint64_t kMaxEarlierLogBytes = 16u << 20;

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
  // failure, with the Win32 code of the failure in `error` when given.
  std::wstring MakeBackup(const wchar_t* source, bool copy, DWORD* error = nullptr) noexcept;

  // The begin operations open an item and return ERROR_SUCCESS, or the
  // Win32 code of the reason why the change must not be made: the caller
  // then does not make it and ends the extraction with that code (system
  // category). The item stays open (CommitItem closes it as usual) and is
  // marked to be left alone by a rollback.
  //
  // BeginFile: every missing folder of the path is created and recorded
  // (the path must be shorter than MAX_PATH), and whatever stands at the
  // path (a file, a link, a junction; links are not followed) is moved to
  // a backup. With `copy` the existing file is taken over as it is: nothing
  // is moved or copied, and rollback leaves it untouched.
  DWORD BeginFile(const std::wstring& path, std::int32_t entryKind, bool copy) noexcept;
  // which: 0 program shortcut, 1 uninstaller shortcut, anything else desktop.
  // The earlier installation's shortcut of this kind is moved to a backup.
  DWORD BeginShortcut(int which, const std::wstring& folder) noexcept;
  // `existing` is the product's uninstall key when it existed before the
  // run (its values and subkeys are captured; rollback writes them back),
  // null when the run created it (rollback deletes it). When the capture
  // fails, rollback never deletes the key.
  DWORD BeginUninstallKey(HKEY existing) noexcept;
  void BeginClassesRootEntries() noexcept;
  // Closes the open item; a path, when given, becomes the item's path.
  void CommitItem(bool succeeded, const wchar_t* path = nullptr) noexcept;

  // A committed earlier File item of exactly this path (case-sensitive).
  bool IsEarlierFile(const std::wstring& path) const noexcept;

  // Undoes every item of this run, newest first, and empties the list.
  void Rollback() noexcept;
  // Merges the earlier items, writes the log, deletes every backup. The log
  // is written to a temporary file beside it, flushed and moved over the
  // earlier log in one step: true when all of that succeeded; otherwise
  // the earlier log is left as it was.
  bool WriteLog(const std::wstring& logPath, const std::wstring& installFolder,
                const std::wstring& menuFolder) noexcept;
  // Reads an earlier log (null: none; only clears the earlier folders).
  // Entries that name a path outside `productPlaces` are skipped; a file
  // over kMaxEarlierLogBytes or with more than kMaxEarlierEntries entries
  // is not read at all.
  void ReadLog(const wchar_t* logPath) noexcept;

  std::wstring earlierInstallFolder;
  std::wstring earlierShortcutFolder;
  RecordList earlierItems;
  RecordList items;
  bool itemOpen = false;
  std::wstring earlierVersionText;
  // Set before ReadLog; empty places believe no path of an earlier log.
  ProductPlaces productPlaces;

private:
  // Appends an item of this run and opens it.
  RecordItem* BeginItem(std::unique_ptr<RecordItem> item) noexcept;
  // CreateFolders with its outcome: ERROR_SUCCESS when the folder exists
  // afterwards, else the code of the failure.
  DWORD MakeFolders(const std::wstring& path) noexcept;
  void MergeEarlierItems() noexcept;
  // Puts the earlier installation's shortcut that `item` moved aside back
  // where the earlier log says it lived (or deletes the backup when it names
  // no place) and forgets the backup.
  void RestoreEarlierShortcut(RecordItem& item) noexcept;
  void DeleteBackups() noexcept;
};

// Pieces of the log format, for the writer and for tests.
// Line 3 of the header: "Install " + label (+ " -- Update (" + earlier + ")").
std::wstring LogHeaderInstallLine(const std::wstring& earlierVersionText);
// One entry line without its line end: index (at least four digits, never
// grouped), code (four hexadecimal digits), state, " -- " and the path.
std::wstring FormatLogEntry(std::size_t index, const RecordItem& item);
