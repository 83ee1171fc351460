#include "tests/record/ulog_checker.hpp"
#include <cwctype>
#include <set>
#include <sstream>

namespace rt {

namespace {

std::string ascii(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return s;
}

bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool is_lower_hex(wchar_t c) { return is_digit(c) || (c >= L'a' && c <= L'f'); }
unsigned hex_value(wchar_t c) { return is_digit(c) ? unsigned(c - L'0') : unsigned(c - L'a' + 10); }

std::wstring fold(const std::wstring& s) {
  std::wstring out = s;
  for (wchar_t& c : out)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return out;
}

bool starts_with(const std::wstring& s, const std::wstring& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// The largest line, line end included, that the reader's 1,024-byte buffer
// takes: 511 code units and the terminating zero; the first line also
// holds the two bytes of the byte-order mark.
constexpr std::size_t kMaxLineUnits = 511;

}  // namespace

checked_log check_ulog(const std::string& bytes) {
  checked_log log;
  auto problem = [&](const std::string& text) { log.problems.push_back(text); };

  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE) {
    problem("no UTF-16LE byte-order mark");
    return log;
  }
  if (bytes.size() % 2 != 0) problem("odd number of bytes");
  std::wstring text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));

  std::vector<std::wstring> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(L"\r\n", at);
    if (end == std::wstring::npos) {
      problem("the last line has no CR LF");
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::wstring& line = lines[i];
    if (line.empty()) problem("empty line " + std::to_string(i + 1));
    if (line.find_first_of(L"\r\n") != std::wstring::npos) problem("lone CR or LF in line " + std::to_string(i + 1));
    if (line.find(L'\0') != std::wstring::npos) problem("zero code unit in line " + std::to_string(i + 1));
    std::size_t limit = kMaxLineUnits - 2 - (i == 0 ? 1 : 0);
    if (line.size() > limit) problem("line " + std::to_string(i + 1) + " is longer than the reader's buffer");
  }
  if (lines.size() < 6) {
    problem("fewer than six header lines");
    return log;
  }

  for (std::size_t i = 0; i < 6; ++i) {
    if (!starts_with(lines[i], L"// ")) problem("header line " + std::to_string(i + 1) + " does not start with \"// \"");
    log.header.push_back(lines[i].size() >= 3 ? lines[i].substr(3) : std::wstring());
  }
  const std::vector<std::wstring>& h = log.header;
  if (h[0] != L"Uninstall Log File v1") problem("line 1 is not the version line");
  if (h[1] != L"############ WARNING: Do not delete or modify this file. ############") problem("line 2 is not the warning");
  const std::wstring install = L"Install Tavimora 2.31t";
  if (h[2] != install) {
    const std::wstring update = install + L" -- Update (";
    if (!starts_with(h[2], update) || h[2].size() <= update.size() + 1 || h[2].back() != L')')
      problem("line 3 is not \"Install Tavimora 2.31t\" with an optional update note");
  }
  if (!starts_with(h[3], L"Install Path : ")) problem("line 4 lacks \"Install Path : \"");
  if (!starts_with(h[4], L"Shortcut Path : ")) problem("line 5 lacks \"Shortcut Path : \"");
  if (h[5] != std::wstring(h[4].size(), L'-')) problem("line 6 is not one dash per character of line 5");

  std::set<std::wstring> paths;
  std::set<unsigned> single_kinds;
  for (std::size_t i = 6; i < lines.size(); ++i) {
    const std::wstring& line = lines[i];
    const std::size_t position = i - 6;
    const std::string where = "entry " + std::to_string(position);
    if (starts_with(line, L"//")) {
      problem(where + " is a comment");
      continue;
    }
    std::size_t p = 0;
    while (p < line.size() && is_digit(line[p])) ++p;
    std::wstring expected_index = std::to_wstring(position);
    if (expected_index.size() < 4) expected_index.insert(0, 4 - expected_index.size(), L'0');
    if (line.compare(0, p, expected_index) != 0 || p != expected_index.size()) {
      problem(where + ": the index is not the position padded to four digits");
      continue;
    }
    if (line.size() < p + 11 || line[p] != L':' || line[p + 5] != L':' || line.compare(p + 7, 4, L" -- ") != 0) {
      problem(where + ": not index:code:state -- path");
      continue;
    }
    unsigned code = 0;
    bool hex_ok = true;
    for (std::size_t k = p + 1; k < p + 5; ++k) {
      if (!is_lower_hex(line[k])) hex_ok = false;
      else code = code * 16 + hex_value(line[k]);
    }
    if (!hex_ok) {
      problem(where + ": the code is not four lower-case hexadecimal digits");
      continue;
    }
    wchar_t state = line[p + 6];
    if (state != L'0' && state != L'1') problem(where + ": the state is not 0 or 1");
    checked_entry entry;
    entry.index = static_cast<unsigned long>(position);
    entry.code = code;
    entry.committed = state == L'1';
    entry.path = line.substr(p + 11);

    const unsigned kind = code >> 8, low = code & 0xFF;
    if (kind > 6) problem(where + ": kind out of range");
    if (kind == 1 ? low > 4 : low != 0xFF) problem(where + ": the low byte does not fit the kind");
    if (!entry.path.empty() && (std::iswspace(entry.path.front()) || std::iswspace(entry.path.back())))
      problem(where + ": white space at an end of the path");
    if (kind == 5 && entry.path != L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavimora 2")
      problem(where + ": the uninstall key's text is wrong");
    if (kind == 6 && entry.path != L"HKEY_CLASSES_ROOT\\...") problem(where + ": the classes-root text is wrong");
    if ((kind == 0 || kind == 1) && entry.path.empty()) problem(where + ": a folder or file without a path");
    if (kind >= 2 && kind <= 4 && entry.committed && entry.path.empty()) problem(where + ": a made shortcut without a path");
    if (kind == 0 || kind == 1) {
      if (!paths.insert(std::to_wstring(kind) + L"|" + fold(entry.path)).second)
        problem(where + ": path listed twice: " + ascii(entry.path));
    } else if (kind <= 6 && !single_kinds.insert(kind).second) {
      problem(where + ": a second entry of kind " + std::to_string(kind));
    }
    log.entries.push_back(entry);
  }
  return log;
}

std::string problems_text(const checked_log& log) {
  std::ostringstream out;
  for (const std::string& p : log.problems) out << p << "\n";
  return out.str();
}

}  // namespace rt
