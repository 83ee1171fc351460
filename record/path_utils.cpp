#include "record/path_utils.hpp"
#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>
#include <cerrno>
#include <cstdlib>
#include <ios>
#include <shlwapi.h>
#include <windows.h>

namespace {
// Element-wise comparison where each pair must have the same length and be
// equal ignoring case.
bool equal_ignoring_case(const fs::path& a, const fs::path& b) {
  auto ia = a.begin(), ib = b.begin();
  for (; ia != a.end() && ib != b.end(); ++ia, ++ib) {
    const std::wstring& ea = ia->native();
    const std::wstring& eb = ib->native();
    if (ea.size() != eb.size()) return false;
    if (ea.empty()) continue;
    if (!::StrIsIntlEqualW(FALSE, ea.c_str(), eb.c_str(), static_cast<int>(ea.size()))) return false;
  }
  return ia == a.end() && ib == b.end();
}
}  // namespace

bool same_path(const fs::path& a, const fs::path& b) {
  try {
    if (a == b) return true;
    boost::system::error_code ec;
    bool same = fs::equivalent(a, b, ec);
    if (!ec) return same;
    return equal_ignoring_case(make_absolute(a), make_absolute(b));
  } catch (...) {
    return false;
  }
}

fs::path make_absolute(const fs::path& p) {
  try {
    if (p.has_root_name() && p.has_root_directory()) return normalize_path(p);
    boost::system::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) return normalize_path(p);
    return normalize_path(fs::absolute(p, cwd));
  } catch (...) {
    return p;
  }
}

fs::path normalize_path(const fs::path& p) {
  try {
    if (p.has_root_directory() && !p.has_root_name()) return p;
    fs::path root = p.root_path();
    fs::path result;
    unsigned climbs = 0;
    for (const fs::path& element : p.relative_path()) {
      const std::wstring& e = element.native();
      if (e == L".") continue;
      if (e == L"..") {
        if (result.empty())
          ++climbs;
        else
          result = result.parent_path();
        continue;
      }
      result /= element;
    }
    fs::path out;
    if (!root.empty()) {
      if (climbs > 0) return p;
      out = root / result;
    } else {
      for (unsigned i = 0; i < climbs; ++i) out /= L"..";
      out /= result;
    }
    std::wstring text = out.native();
    for (wchar_t& c : text)
      if (c == L'/') c = L'\\';
    return fs::path(text);
  } catch (...) {
    return p;
  }
}

bool path_exists(const fs::path& p) {
  try {
    boost::system::error_code ec;
    fs::file_status st = fs::status(p, ec);
    return !ec && st.type() != fs::status_error && st.type() != fs::file_not_found;
  } catch (...) {
    return false;
  }
}

void make_writable(const fs::path& p) {
  try {
    boost::system::error_code ec;
    fs::file_status st = fs::symlink_status(p, ec);
    if (ec) return;
    if (st.type() == fs::regular_file) {
      DWORD attributes = ::GetFileAttributesW(p.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(p.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    } else if (st.type() == fs::symlink_file) {
      fs::path target = fs::read_symlink(p, ec);
      if (!ec) make_writable(target);
    }
  } catch (...) {
  }
}

void clear_stream_error() {
  errno = 0;
  _doserrno = 0;
}

std::error_code last_stream_error() {
  if (_doserrno != 0) return std::error_code(static_cast<int>(_doserrno), std::system_category());
  if (errno != 0) return std::error_code(errno, std::generic_category());
  return {};
}

void rethrow_with_paths(const fs::path& first, const fs::path& second) {
  try {
    throw;
  } catch (const std::ios_base::failure& failure) {
    std::error_code code = last_stream_error();
    if (code) {
      boost::system::error_code boost_code(code.value(), code.category() == std::system_category()
                                                             ? boost::system::system_category()
                                                             : boost::system::generic_category());
      throw fs::filesystem_error(failure.what(), first, second, boost_code);
    }
    throw;
  } catch (const fs::filesystem_error& error) {
    if (error.path1().empty() && !first.empty())
      throw fs::filesystem_error(error.what(), first, second, error.code());
    throw;
  }
}
