#include "record/earlier_install.hpp"
#include "support/product_identity.hpp"
#include "record/path_utils.hpp"
#include "support/app_identity.hpp"
#include "support/handle.hpp"
#include "support/registry.hpp"
#include <boost/algorithm/string/trim.hpp>
#include <climits>
#include <cstdint>
#include <locale>
#include <shlwapi.h>
#include <sstream>
#include <vector>

// ---- discovery ----------------------------------------------------------------

std::wstring ReadProductPath(unsigned product_id) {
  try {
    qv::reg_key key = qv::open_key(HKEY_LOCAL_MACHINE, L"Software\\Quorvane Systems");
    if (!key) return {};
    std::wstring value;
    if (!qv::read_string(key, GetProductName(product_id) + L" Path", value)) return {};
    return path_exists(value) ? value : std::wstring();
  } catch (...) {
    return {};
  }
}

std::wstring GetProductPath() {
  static const std::wstring path = ReadProductPath(kProductId);
  return path;
}

std::wstring SetupProgramFolder() {
  std::wstring program = qv::executable_path();
  return program.empty() ? program : fs::path(program).parent_path().native();
}

std::wstring FindEarlierLog(const std::wstring& setupFolder, const std::wstring& productPath) {
  {
    qv::reg_key key =
        qv::open_key(HKEY_LOCAL_MACHINE, std::wstring(kUninstallParentKey) + L"\\" + GetProductName(kProductId));
    std::wstring uninstaller;
    if (key && qv::read_string(key, L"UninstallString", uninstaller)) {
      // An uninstaller named without a folder leaves a relative name.
      fs::path candidate = fs::path(uninstaller).parent_path() / kUninstallLogName;
      if (path_exists(candidate)) return candidate.native();
    }
  }
  if (!setupFolder.empty()) {
    fs::path candidate = fs::path(setupFolder) / kUninstallLogName;
    if (path_exists(candidate)) return candidate.native();
  }
  // Without a product path there is no product folder to look in (and
  // the working folder is not one).
  if (!productPath.empty()) {
    fs::path candidate = fs::path(productPath).parent_path() / kUninstallLogName;
    if (path_exists(candidate)) return candidate.native();
  }
  return {};
}

std::wstring FindEarlierLog() { return FindEarlierLog(SetupProgramFolder(), GetProductPath()); }

// ---- lines --------------------------------------------------------------------

bool LogLineReader::NextByte(unsigned char& byte) {
  if (chunkPos_ == chunkLen_) {
    if (atEnd_ || readError_) return false;
    DWORD got = 0;
    if (!::ReadFile(file_, chunk_, sizeof chunk_, &got, nullptr)) {
      readError_ = true;
      return false;
    }
    if (got == 0) {
      atEnd_ = true;
      return false;
    }
    chunkPos_ = 0;
    chunkLen_ = got;
  }
  byte = chunk_[chunkPos_++];
  return true;
}

LogLineReader::Result LogLineReader::Next(std::wstring& line) {
  line.clear();
  std::size_t used = 0;  // bytes of line_ taken by this line
  bool complete = false;
  if (firstLine_) {
    firstLine_ = false;
    // Only a first byte of FF can start a byte-order mark.
    unsigned char b0 = 0, b1 = 0;
    if (NextByte(b0)) {
      if (b0 == 0xFF && NextByte(b1)) {
        if (b1 == 0xFE) {
          utf16_ = true;
          used = 2;  // the byte-order mark shares the first line's buffer
        } else {
          line_[used++] = b0;
          line_[used++] = b1;
          complete = b1 == 0x0A;
        }
      } else {
        line_[used++] = b0;
        complete = b0 == 0x0A;
      }
    }
  }

  const std::size_t unit = utf16_ ? 2 : 1;
  const std::size_t capacity = kLineBufferBytes - unit;  // room for the terminating zero unit
  const std::size_t start = utf16_ && used == 2 ? 2 : 0;
  while (!complete) {
    unsigned char lo = 0, hi = 0;
    if (!NextByte(lo)) break;
    if (utf16_ && !NextByte(hi)) break;  // half a code unit at the end is no character
    if (used + unit > capacity) return Result::Stop;  // never written: the line is longer than the buffer
    line_[used++] = lo;
    if (utf16_) line_[used++] = hi;
    complete = lo == 0x0A && hi == 0;
  }
  if (readError_) return Result::Stop;
  if (used == start) return Result::End;

  const unsigned char* data = line_ + start;
  const std::size_t bytes = used - start;
  if (utf16_) {
    line.resize(bytes / 2);
    for (std::size_t i = 0; i < line.size(); ++i)
      line[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
  } else {
    int n = ::MultiByteToWideChar(CP_THREAD_ACP, MB_PRECOMPOSED, reinterpret_cast<const char*>(data),
                                  static_cast<int>(bytes), nullptr, 0);
    if (n <= 0) return Result::Stop;
    line.resize(static_cast<std::size_t>(n));
    if (::MultiByteToWideChar(CP_THREAD_ACP, MB_PRECOMPOSED, reinterpret_cast<const char*>(data),
                              static_cast<int>(bytes), &line[0], n) != n)
      return Result::Stop;
  }
  // A zero code unit ends a line held in a terminated buffer; a path cut
  // there would name something else, so such a line ends the reading.
  if (line.find(L'\0') != std::wstring::npos) return Result::Stop;
  return Result::Line;
}

// ---- entries and header -------------------------------------------------------

std::unique_ptr<RecordItem> ParseLogEntry(const std::wstring& line) {
  std::locale locale;
  std::wistringstream in(line);
  in.imbue(locale);
  long long index = 0;
  if (!(in >> index) || index < 0) return nullptr;
  wchar_t c = 0;
  if (!(in >> c) || c != L':') return nullptr;
  long long code = 0;
  if (!(in >> std::hex >> code)) return nullptr;
  in >> std::dec;
  if (code < 0 || (code >> 8) > 6) return nullptr;
  if (!(in >> c) || c != L':') return nullptr;
  if (!(in >> c) || (c != L'0' && c != L'1')) return nullptr;
  const bool committed = c == L'1';
  std::wstring word;
  if (!(in >> word) || word != L"--") return nullptr;
  std::wstring path;
  if (!in.eof()) {
    std::streamoff at = in.tellg();
    if (at < 0 || static_cast<std::size_t>(at) > line.size()) return nullptr;
    path = line.substr(static_cast<std::size_t>(at));
    boost::algorithm::trim_left(path, locale);
  }

  auto item = std::make_unique<RecordItem>();
  item->kind = static_cast<ItemKind>(code >> 8);
  const int low = static_cast<int>(code & 0xFF);
  item->entryKind = low == 0xFF ? -1 : low;
  item->committed = committed;
  // The registry items' texts are fixed; the writer supplies them.
  if (item->kind != ItemKind::UninstallKey && item->kind != ItemKind::ClassesRootEntries) item->path = std::move(path);
  return item;
}

namespace {

// A decimal number at the start of `text` after white space; 0 without one.
int leading_number(const std::wstring& text, const std::locale& locale) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(text[i], locale)) ++i;
  long long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > INT_MAX) return INT_MAX;  // no version this reader knows
  }
  return static_cast<int>(value);
}

bool remove_first(std::wstring& text, const std::wstring& what) {
  std::wstring::size_type at = text.find(what);
  if (at == std::wstring::npos) return false;
  text.erase(at, what.size());
  return true;
}

// "Install Path : " and "Shortcut Path : " end with a blank, which the
// trimming of the line has taken away when the folder was empty; the label
// is found all the same, with nothing after it.
bool remove_label(std::wstring& text, const std::wstring& label) {
  if (remove_first(text, label)) return true;
  const std::wstring bare = label.substr(0, label.size() - 1);
  if (text.size() >= bare.size() && text.compare(text.size() - bare.size(), bare.size(), bare) == 0) {
    text.erase(text.size() - bare.size());
    return true;
  }
  return false;
}

// A folder named in the header, when it still exists.
std::wstring existing_folder(const std::wstring& text) {
  // The shell's path functions work on MAX_PATH buffers.
  if (text.empty() || text.size() >= MAX_PATH) return {};
  return ::PathIsDirectoryW(text.c_str()) ? text : std::wstring();
}

}  // namespace

// ---- ReadLog ------------------------------------------------------------------

void CInstallRecord::ReadLog(const wchar_t* logPath) noexcept {
  earlierInstallFolder.clear();
  earlierShortcutFolder.clear();
  if (!logPath) return;
  qv::unique_file file(
      ::CreateFileW(logPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  // A log this large was never written by an installation of this product.
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > kMaxEarlierLogBytes) return;
  std::size_t entries = 0;
  try {
    const std::locale locale;
    LogLineReader reader(file.get());
    std::wstring line;
    std::size_t n = 0;
    int version = 0;
    while (reader.Next(line) == LogLineReader::Result::Line) {
      if (line.empty()) continue;
      const std::size_t number = n++;
      boost::algorithm::trim_right(line, locale);

      if (line.compare(0, 2, L"//") == 0) {
        std::wstring text = line.substr(line.find_first_not_of(L'/') == std::wstring::npos
                                            ? line.size()
                                            : line.find_first_not_of(L'/'));
        boost::algorithm::trim_left(text, locale);
        if (number == 0) {
          if (!remove_first(text, L"Uninstall Log File v")) break;
          version = leading_number(text, locale);
          if (version != 1) break;
        } else if (number == 2) {
          if (!remove_first(text, L"Install")) break;
          std::wstring::size_type dashes = text.find(L"--");
          if (dashes != std::wstring::npos) text.erase(dashes);
          boost::algorithm::trim(text, locale);
          earlierVersionText = text;
        } else if (number == 3) {
          if (!remove_label(text, L"Install Path : ")) break;
          boost::algorithm::trim(text, locale);
          earlierInstallFolder = existing_folder(text);
        } else if (number == 4) {
          if (!remove_label(text, L"Shortcut Path : ")) break;
          boost::algorithm::trim(text, locale);
          earlierShortcutFolder = existing_folder(text);
        }
        continue;
      }

      if (version != 1) break;
      std::unique_ptr<RecordItem> item = ParseLogEntry(line);
      if (!item) break;
      if (++entries > kMaxEarlierEntries) {
        // Nothing of such a log is believed, not even its header.
        earlierItems.clear();
        earlierInstallFolder.clear();
        earlierShortcutFolder.clear();
        earlierVersionText.clear();
        return;
      }
      // An entry naming a path where this product puts nothing is skipped:
      // it is neither acted on nor carried into the new log. The entries
      // after it are still read, as a stop would drop them from the new log
      // together with the product's own files.
      if (!IsProductPath(productPlaces, item->kind, item->path)) continue;
      earlierItems.push_back(std::move(item));
    }
  } catch (...) {
    // What was read before stays.
  }
}
