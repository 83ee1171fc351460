// An independent check of an uninstall log against the rules written down
// in docs/uninstall-log.md. It shares no code with the record's writer or
// reader: it decodes the bytes and checks each rule on its own.
#pragma once
#include <string>
#include <vector>

namespace rt {

struct checked_entry {
  unsigned long index = 0;
  unsigned code = 0;
  bool committed = false;
  std::wstring path;
};

struct checked_log {
  std::vector<std::wstring> header;  // the six texts after "// "
  std::vector<checked_entry> entries;
  std::vector<std::string> problems;  // one text per broken rule; empty when the log is sound
};

checked_log check_ulog(const std::string& bytes);
std::string problems_text(const checked_log& log);

}  // namespace rt
